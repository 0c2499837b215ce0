#pragma once

#include <cstdint>

#include "tessaly/system/sha256.h"

namespace tessaly {

namespace Collect {

// What the document needs to know about a file's bytes, taken while they are fresh in the
// cache. A file made by hand carries none (`known` false) and is measured when packed;
// facts of a size other than the bytes' are stale and measured again.
struct FileFacts {
    bool known = false;
    bool text = false;                     // valid UTF-8
    std::uint64_t size = 0;                // bytes measured; other bytes mean stale facts
    System::Sha256 sha256{};               // of the bytes, to find duplicates
    std::int64_t characters = 0;           // user-perceived characters
    std::uint64_t longestBacktickRun = 0;  // decides the fence
    bool bytesDropped = false;  // repeats an earlier file's bytes, which were not kept twice

    bool operator==(const FileFacts&) const = default;
};

}  // namespace Collect

}  // namespace tessaly
