#pragma once

// Large buffers of a drawing: the file's bytes and the entity vectors. Where the system offers
// transparent huge pages on request (Linux), they are asked for: a 100 MB drawing otherwise
// touches some 60 000 pages one fault at a time, which costs more than parsing it.

#include <cstddef>
#include <memory>

namespace kw::drawing::detail {

// Uninitialised storage for `size` bytes, released with the returned pointer.
std::shared_ptr<char> AllocateLarge(std::size_t size);

// Asks for huge pages over the 2 MB-aligned part of a range (a no-op elsewhere or when small).
void AdviseHugePages(const void* data, std::size_t bytes);

} // namespace kw::drawing::detail
