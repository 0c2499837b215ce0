#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace tessaly {

// Boundaries of user-perceived characters (extended grapheme clusters) in UTF-8 text, by
// ICU. One per thread: building the iterator loads its rules, which costs more than a line.
class GraphemeBreaks {
  public:
    static GraphemeBreaks& forThisThread();

    // Calls `visit(start, end)` for each character of `utf8`, in order; false when ICU failed.
    template <class Visit>
    bool forEach(std::string_view utf8, Visit&& visit) {
        if (!attach(utf8)) return false;
        for (std::int32_t start = 0, end = next(); end >= 0; start = end, end = next())
            visit(static_cast<std::size_t>(start), static_cast<std::size_t>(end));
        detach();
        return true;
    }

    ~GraphemeBreaks();

  private:
    GraphemeBreaks();
    bool attach(std::string_view utf8);
    std::int32_t next();  // the next boundary, or -1 at the end
    void detach();

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tessaly
