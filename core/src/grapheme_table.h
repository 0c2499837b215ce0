#pragma once
// The boundary rules of user-perceived characters (extended grapheme clusters) as a table:
// a class for every code point, taken from ICU's character properties, and a state machine
// over the classes that says where ICU's character break iterator puts a boundary.

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

    // The state after a character of class `cls` when it is the same whatever came before,
    // as for most classes; known from the class alone, it lets the processor go on to the next
    // character before the step's load has come back. `special` for the classes whose state
    // carries what came before (marks, joiners, regional indicators) and for the backtick.
    std::uint32_t restart(std::uint8_t cls) const { return restarts_[cls]; }
    static constexpr std::uint32_t special = ~std::uint32_t{0};

    std::uint8_t backtickClass() const { return backtickClass_; }

  private:
    Table();

    // A 64-code-point block is one UTF-8 trailing byte's worth of code points.
    static constexpr unsigned blockBits = 6;
    static constexpr char32_t blockSize = char32_t{1} << blockBits;
    static constexpr std::uint32_t boundaryBit = std::uint32_t{1} << 31;

    std::vector<std::uint16_t> blockOf_;   // per block of code points, its classes in blocks_
    std::vector<std::uint8_t> blocks_;     // distinct blocks of classes
    std::vector<std::uint32_t> steps_;     // per state and class: next state | boundaryBit
    std::vector<std::uint32_t> restarts_;  // per class
    std::uint8_t backtickClass_ = 0;
};

}  // namespace Graphemes

}  // namespace tessaly
