#pragma once
// How many files the process may hold open, and opening below a folder without following
// links.

#include <cstddef>
#include <string_view>

#include "tessaly/system/unique_fd.h"

namespace tessaly::System {

// Raises the soft limit on open descriptors to the hard one, as a program that walks large
// trees should do at start; changes nothing when it cannot.
void raiseDescriptorLimit() noexcept;

// Descriptors the process may still open: the soft limit less those open now.
std::size_t freeDescriptors() noexcept;

// True for the errors that mean the process, not the file, ran out of something: descriptors
// (its own or the system's) or kernel memory.
bool isExhaustion(int error) noexcept;

// Opens `rel` ("a/b/c", no "." or "..") below the folder `anchor`, following no symbolic link
// on the way nor at the end, whatever the path's length. -1 with errno set on failure (ELOOP
// for a link).
UniqueFd openBeneath(int anchor, std::string_view rel, int flags) noexcept;

}  // namespace tessaly::System
