#include "byte_arena.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>

namespace tessaly {

std::span<char> ByteArena::room(std::size_t size) {
    if (!block_ || block_->size() - used_ < size) {
        block_ = std::make_shared<MemoryBlock>(std::max(size, blockSize));
        used_ = 0;
    }
    roomEnd_ = used_ + size;
    ASAN_UNPOISON_MEMORY_REGION(block_->data() + used_, size);
    return {block_->data() + used_, size};
}

void ByteArena::giveBack(Bytes& bytes) noexcept {
    const std::size_t size = bytes.size();
    if (block_ && size > 0 && used_ >= size && bytes.data() == block_->data() + (used_ - size)) {
        used_ -= size;
        ASAN_POISON_MEMORY_REGION(block_->data() + used_, size);
    }
    bytes.release();
}

Bytes ByteArena::keep(std::size_t used) {
    if (!block_) return Bytes();
    const std::string_view view(block_->data() + used_, used);
    used_ += used;
    if (roomEnd_ > used_) ASAN_POISON_MEMORY_REGION(block_->data() + used_, roomEnd_ - used_);
    return used == 0 ? Bytes() : Bytes(view, block_);
}

}  // namespace tessaly
