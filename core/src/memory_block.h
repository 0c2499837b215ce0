#pragma once

#include <cstddef>

// Anonymous memory of its own mapping, released when the block goes. Large blocks ask for
// huge pages: on the virtual machines this runs on a page fault costs microseconds, and
// filling tens of megabytes in 4 KiB pages spends more on faults than on the bytes.
class MemoryBlock {
  public:
    explicit MemoryBlock(std::size_t size);  // throws std::bad_alloc
    ~MemoryBlock();
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;

    char* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

namespace HugePages {

inline constexpr std::size_t size = std::size_t{2} << 20;

// Asks for huge pages over the whole 2 MiB pages inside [data, data + length); only advice,
// so a kernel without them changes nothing.
void advise(void* data, std::size_t length) noexcept;

}  // namespace HugePages
