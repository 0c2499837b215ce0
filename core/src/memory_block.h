#pragma once

#include <cstddef>

#include "huge_pages.h"

namespace tessaly {

// Anonymous memory of its own mapping, starting on a huge page and asking for huge pages
// throughout; unmapped when the block goes.
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

}  // namespace tessaly
