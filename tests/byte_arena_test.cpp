// The arena that files are read into: end to end in shared blocks, and, under AddressSanitizer,
// readable only where a file's bytes are, so a read past them is caught.

#include <gtest/gtest.h>
#include <sanitizer/asan_interface.h>

#include <cstring>
#include <string_view>

#include "byte_arena.h"

using namespace tessaly;

namespace {

TEST(ByteArenaTest, KeptBytesLieEndToEndAndAGivenBackLastOneFreesItsRoom) {
    ByteArena arena;
    std::memcpy(arena.room(8).data(), "abcdefgh", 8);
    Bytes first = arena.keep(3);
    const auto second = arena.room(5);
    EXPECT_EQ(second.size(), 5u);
    EXPECT_EQ(second.data(), first.data() + 3);
    std::memcpy(second.data(), "xyz", 3);
    Bytes kept = arena.keep(3);
    EXPECT_EQ(first, "abc");
    EXPECT_EQ(kept, "xyz");
    arena.giveBack(kept);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(arena.room(1).data(), first.data() + 3);
    EXPECT_TRUE(arena.keep(0).empty());
}

#if defined(__SANITIZE_ADDRESS__)
bool readable(const char* at, std::size_t size) {
    return __asan_region_is_poisoned(const_cast<char*>(at), size) == nullptr;
}

TEST(ByteArenaTest, UnderAddressSanitizerOnlyKeptBytesAndTheLastRoomAreReadable) {
    ByteArena arena;
    const auto room = arena.room(16);
    EXPECT_TRUE(readable(room.data(), 16));
    EXPECT_FALSE(readable(room.data() + 16, 1));
    Bytes file = arena.keep(5);
    EXPECT_TRUE(readable(file.data(), 5));
    EXPECT_FALSE(readable(file.data() + 5, 1));  // the room's unkept rest

    std::memcpy(arena.room(7).data(), "repeat!", 7);
    Bytes repeat = arena.keep(7);
    arena.giveBack(repeat);
    EXPECT_FALSE(readable(file.data() + 5, 1));  // given back, as nobody holds it
    EXPECT_TRUE(readable(file.data(), 5));
}
#endif

}  // namespace
