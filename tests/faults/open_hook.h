#pragma once
// Stages a change to the file system at an exact point of the engine's walk: the executable
// is linked with --wrap=openat, so every openat of the engine passes through here first.

#include <functional>
#include <string>

namespace tessaly {

namespace OpenHook {

// Runs `action` once, just before the first openat of an entry named `name`.
void before(std::string name, std::function<void()> action);
// Whether the action has run.
bool ran();
void clear();

}  // namespace OpenHook

}  // namespace tessaly
