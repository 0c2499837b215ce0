#include "byte_arena.h"

#include <algorithm>

std::span<char> ByteArena::room(std::size_t size) {
    if (!block_ || block_->size() - used_ < size) {
        block_ = std::make_shared<MemoryBlock>(std::max(size, blockSize));
        used_ = 0;
    }
    return {block_->data() + used_, block_->size() - used_};
}

void ByteArena::giveBack(Bytes& bytes) noexcept {
    const std::size_t size = bytes.size();
    if (block_ && size > 0 && used_ >= size && bytes.data() == block_->data() + (used_ - size))
        used_ -= size;
    bytes.release();
}

Bytes ByteArena::keep(std::size_t used) {
    if (!block_ || used == 0) return Bytes();
    const std::string_view view(block_->data() + used_, used);
    used_ += used;
    return Bytes(view, block_);
}
