#pragma once
// Git's glob: `*`, `?`, `[...]` (ranges, `!` or `^` to negate, `[:alpha:]` and the other
// POSIX classes), `\` to take the next character as it is, and `**` between slashes.

#include <string_view>

namespace tessaly {

namespace Ignore {

// True when `pattern` matches the whole of `text`. With `pathname`, `*`, `?` and `[...]`
// never match a "/", and only `**/`, `/**` and `/**/` reach across folders.
bool globMatch(std::string_view pattern, std::string_view text, bool pathname);

}  // namespace Ignore

}  // namespace tessaly
