#pragma once

#include <cstddef>
#include <mutex>
#include <unordered_map>

#include "tessaly/system/sha256.h"

namespace tessaly {

// The earliest place in the walk at which each content has been read so far, shared by the
// workers. A file read later than its content's first place repeats it; one read out of
// order may find it only after the later one kept its bytes, which costs memory, never
// correctness.
class FirstPlaces {
  public:
    // True when an earlier place holds the same content; else records `order` as its place.
    bool repeatsEarlier(const System::Sha256& digest, std::size_t order) {
        std::lock_guard lock(mutex_);
        const auto [it, inserted] = first_.try_emplace(digest, order);
        if (inserted) return false;
        if (it->second < order) return true;
        it->second = order;
        return false;
    }

  private:
    std::mutex mutex_;
    std::unordered_map<System::Sha256, std::size_t, System::Sha256Hash> first_;
};

}  // namespace tessaly
