#pragma once
// The one git setting the ignore rules need, read from git's settings files as git reads them.

#include <optional>
#include <string>

namespace tessaly {

namespace Ignore {

// core.excludesFile, "~/" expanded, from the system's, the user's and the repository's
// settings (the last one set wins), following [include] and [includeIf "gitdir:…"]; nothing
// when it is set nowhere. `gitDir` is the repository folder of the work tree, `commonDir`
// the one it shares with other work trees (the same folder for most repositories).
std::optional<std::string> excludesFileSetting(const std::string& gitDir,
                                               const std::string& commonDir);

}  // namespace Ignore

}  // namespace tessaly
