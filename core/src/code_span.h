#pragma once
// Names written into the document so that no name can change its structure.

#include <string>
#include <string_view>

namespace tessaly::Pack {

// The text with each C0 control character and DEL written as U+FFFD, as invalid bytes are:
// a line feed in a name would otherwise start a line of its own.
std::string withoutControls(std::string_view utf8);

// `text` as a code span: between runs of backticks one longer than the longest run inside
// it, with a space inside each when it starts or ends with a backtick, or starts and ends
// with a space without being all spaces. "a.txt" gives "`a.txt`".
std::string codeSpan(std::string_view text);

}  // namespace tessaly::Pack
