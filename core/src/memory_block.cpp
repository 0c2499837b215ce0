#include "memory_block.h"

#include <sanitizer/asan_interface.h>
#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace tessaly {

// Mapped one huge page larger than asked, then trimmed, so the block starts on a huge page.
MemoryBlock::MemoryBlock(std::size_t size) {
    const std::size_t rounded = (size + HugePages::size - 1) & ~(HugePages::size - 1);
    const std::size_t mapped = rounded + HugePages::size;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + HugePages::size - 1) & ~(HugePages::size - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const std::uintptr_t end = start + mapped;
    if (end > aligned + rounded)
        ::munmap(reinterpret_cast<void*>(aligned + rounded), end - (aligned + rounded));
    data_ = reinterpret_cast<char*>(aligned);
    size_ = rounded;
    HugePages::advise(data_, size_);
    ASAN_POISON_MEMORY_REGION(data_, size_);  // its owner unpoisons what it hands out
}

MemoryBlock::~MemoryBlock() {
    if (!data_) return;
    ASAN_UNPOISON_MEMORY_REGION(data_, size_);  // a later mapping may reuse the addresses
    ::munmap(data_, size_);
}

}  // namespace tessaly
