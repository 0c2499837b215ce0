#pragma once

#include <cstddef>

namespace tessaly {

// On the virtual machines this runs on a page fault costs microseconds, and filling tens of
// megabytes of fresh 4 KiB pages spends more on faults than on the bytes: large buffers ask
// for 2 MiB pages.
namespace HugePages {

inline constexpr std::size_t size = std::size_t{2} << 20;

// Asks for huge pages over the whole 2 MiB pages inside [data, data + length); only advice,
// so a kernel without them changes nothing.
void advise(void* data, std::size_t length) noexcept;

}  // namespace HugePages

}  // namespace tessaly
