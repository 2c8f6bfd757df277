#pragma once

// Large buffers of a drawing: the file's bytes and the entity vectors. Where the system offers
// transparent huge pages on request (Linux), they are asked for: a 100 MB drawing otherwise
// touches some 60 000 pages one fault at a time, which costs more than parsing it.

#include <cstddef>
#include <memory>

namespace kw::drawing::detail {

// Uninitialised storage for `size` bytes, released with the returned pointer.
std::shared_ptr<char> AllocateLarge(std::size_t size);

// Gives the whole pages (huge pages where the range was advised so) that lie in a range of memory
// from AllocateLarge back to the system; their bytes read as zero afterwards. Returns how many
// bytes from `data` on are released, 0 where the system offers no such thing.
std::size_t ReleasePages(char* data, std::size_t bytes);

// Asks for huge pages over the 2 MB-aligned part of a range (a no-op elsewhere or when small).
void AdviseHugePages(const void* data, std::size_t bytes);

} // namespace kw::drawing::detail
