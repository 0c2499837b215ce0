#include "huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace tessaly {

namespace HugePages {

void advise(void* data, std::size_t length) noexcept {
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + size - 1) & ~(size - 1);
    const std::uintptr_t last = (start + length) & ~(size - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace HugePages

}  // namespace tessaly
