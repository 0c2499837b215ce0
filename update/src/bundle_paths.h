#pragma once
// Which paths inside a bundle, and which link targets, keep to the bundle.

#include <string_view>

namespace tessaly {

namespace Update::BundlePaths {

// "a/b/c": not empty, not absolute, no NUL byte, and no empty, "." or ".." name.
bool isPlainRelative(std::string_view path);

// True when a link at `linkPath` (plain relative, below real folders only) whose text is
// `target` cannot lead out of the bundle. The target must be relative and climb with ".."
// only before it descends: a ".." after a name would climb out of wherever a link on the way
// points, which the text alone cannot tell. "." and empty names change nothing and are let be.
bool linkStaysInside(std::string_view linkPath, std::string_view target);

}  // namespace Update::BundlePaths

}  // namespace tessaly
