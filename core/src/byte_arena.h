#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include "memory_block.h"
#include "tessaly/bytes.h"

namespace tessaly {

// Hands out room for files end to end in large blocks, so reading thousands of files touches
// a few huge pages rather than thousands of fresh small allocations. One per thread: nothing
// in it is shared or locked. A block lives while any Bytes made from it does.
class ByteArena {
  public:
    // Small enough that a block is unmapped soon after its files are copied into the
    // document, large enough to hold a file of the size limit twice over.
    static constexpr std::size_t blockSize = std::size_t{4} << 20;

    // Room for `size` bytes, valid until the next call.
    std::span<char> room(std::size_t size);

    // Keeps the first `used` bytes of the last room and returns them as Bytes.
    Bytes keep(std::size_t used);

    // Lets go of `bytes`, and gives their room back when they were the last kept; the
    // caller holds no other copy of them.
    void giveBack(Bytes& bytes) noexcept;

  private:
    // Under AddressSanitizer only the bytes kept and the last room are readable, so a read
    // past the end of a file's bytes is caught.
    std::shared_ptr<MemoryBlock> block_;
    std::size_t used_ = 0;     // bytes of block_ already kept
    std::size_t roomEnd_ = 0;  // end of the last room handed out
};

}  // namespace tessaly
