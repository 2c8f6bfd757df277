#include "drawing/detail/memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kw::drawing::detail {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kWorthIt = std::size_t{8} << 20;

} // namespace

std::shared_ptr<char> AllocateLarge(std::size_t size) {
#if defined(__linux__)
    if (size >= kWorthIt) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        void* data = std::aligned_alloc(kHugePage, rounded);
        if (!data)
            throw std::bad_alloc();
        AdviseHugePages(data, rounded);
        return std::shared_ptr<char>(static_cast<char*>(data), [](char* p) { std::free(p); });
    }
#endif
    return std::shared_ptr<char>(new char[size > 0 ? size : 1], std::default_delete<char[]>());
}

std::size_t ReleasePages(char* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_DONTNEED)
    // Huge-page steps from a huge-page boundary: the buffers AllocateLarge hands out large enough
    // to be worth it start on one, and a partly released huge page would be split.
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    if (begin % kHugePage != 0 || bytes < kHugePage)
        return 0;
    const std::size_t whole = bytes / kHugePage * kHugePage;
    if (madvise(data, whole, MADV_DONTNEED) != 0)
        return 0;
    return whole;
#else
    (void)data;
    (void)bytes;
    return 0;
#endif
}

void AdviseHugePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kWorthIt)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t last = (begin + bytes) / kHugePage * kHugePage;
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace kw::drawing::detail
