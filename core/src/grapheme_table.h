#pragma once
// The boundary rules of user-perceived characters (extended grapheme clusters) as a table:
// a class for every code point, taken from ICU's character properties, and a state machine
// over the classes that says where ICU's character break iterator puts a boundary.

#include <array>
#include <cstdint>
#include <vector>

namespace tessaly {

namespace Graphemes {

class Table {
  public:
    // Built on first use, once for the process; safe from any thread.
    static const Table& get();

    // The class of code point `cp` (at most U+10FFFF).
    std::uint8_t classOf(char32_t cp) const {
        return blocks_[std::size_t{blockOf_[cp >> blockBits]} << blockBits |
                       (cp & (blockSize - 1))];
    }

    static constexpr std::uint32_t start() { return 0; }

    // The step from `state` over a character of class `cls`: the state after it, and whether
    // a boundary falls before it.
    std::uint32_t step(std::uint32_t state, std::uint8_t cls) const { return steps_[state + cls]; }
    static std::uint32_t stateAfter(std::uint32_t step) { return step & ~boundaryBit; }
    static std::uint32_t boundary(std::uint32_t step) { return step >> 31; }

    // The state after a character of plain class `cls` (below), whatever came before it.
    std::uint32_t restart(std::uint8_t cls) const { return restarts_[cls]; }

    std::uint8_t backtickClass() const { return backtickClass_; }

    // Plain classes (letters, digits, spaces, controls, pictographs, Hangul syllables, most of
    // what text holds): after a plain character, a plain character always starts a new
    // cluster and leaves a state that depends on it alone. The backtick is not one.
    bool plain(std::uint8_t cls) const { return plain_[cls] != 0; }

    // What a byte says of the character it belongs to: 0 for a UTF-8 trailing byte, 1 for
    // the first byte of a character that is plain whatever the bytes after it, and `closer`
    // when the character has to be looked at whole.
    std::uint8_t byteKind(unsigned char b) const { return byteKinds_[b]; }
    static constexpr std::uint8_t closer = 16;  // more than any sum of eight 0s and 1s

    // Whether every ASCII character but CR and the backtick is plain, so that eight such
    // bytes are eight plain characters.
    bool asciiPlain() const { return asciiPlain_; }

  private:
    Table();
    void findPlainClasses();
    void findByteKinds();

    // A 64-code-point block is one UTF-8 trailing byte's worth of code points.
    static constexpr unsigned blockBits = 6;
    static constexpr char32_t blockSize = char32_t{1} << blockBits;
    static constexpr std::uint32_t boundaryBit = std::uint32_t{1} << 31;
    static constexpr std::uint32_t carried = ~std::uint32_t{0};

    std::vector<std::uint16_t> blockOf_;   // per block of code points, its classes in blocks_
    std::vector<std::uint8_t> blocks_;     // distinct blocks of classes
    std::vector<std::uint32_t> steps_;     // per state and class: next state | boundaryBit
    std::vector<std::uint32_t> restarts_;  // per class, `carried` where it depends on more
    std::uint8_t backtickClass_ = 0;
    std::vector<std::uint8_t> plain_;  // per class
    std::array<std::uint8_t, 256> byteKinds_{};
    bool asciiPlain_ = false;
};

}  // namespace Graphemes

}  // namespace tessaly
