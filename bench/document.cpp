#include "document.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <stdexcept>

#include "child.h"
#include "tessaly/system/system_error.h"

namespace tessaly {

namespace Document {

namespace {

constexpr std::string_view listHeading = "## Files (";
constexpr std::string_view listEnd = "---";

// Calls `line` with each line of `fd` (without its newline) until it returns false.
template <typename LineFn>
void forEachLine(int fd, LineFn line) {
    std::string pending;
    char block[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, block, sizeof block, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::runtime_error(System::errorText("read", "captured document"));
        if (got == 0) break;
        offset += got;
        pending.append(block, static_cast<std::size_t>(got));
        std::size_t begin = 0;
        for (std::size_t end; (end = pending.find('\n', begin)) != std::string::npos;) {
            if (!line(std::string_view(pending).substr(begin, end - begin))) return;
            begin = end + 1;
        }
        pending.erase(0, begin);
    }
    if (!pending.empty()) line(std::string_view(pending));
}

}  // namespace

std::optional<std::string> listItem(std::string_view line) {
    // The path goes between single backticks as it is, even when it holds backticks itself.
    constexpr std::string_view head = "- `";
    if (!line.starts_with(head) || !line.ends_with('`') || line.size() < head.size() + 1) {
        return std::nullopt;
    }
    return std::string(line.substr(head.size(), line.size() - head.size() - 1));
}

std::vector<std::string> listedFiles(int fd) {
    std::vector<std::string> files;
    bool inList = false;
    forEachLine(fd, [&](std::string_view line) {
        if (!inList) {
            inList = line.starts_with(listHeading);
            return true;
        }
        if (line == listEnd) return false;
        if (auto path = listItem(line)) files.push_back(std::move(*path));
        return true;
    });
    return files;
}

}  // namespace Document

namespace Json {

std::optional<Figures> parseFigures(std::string_view text) {
    // Anything the packer printed before its object is not ours to judge.
    const std::size_t begin = text.find('{');
    if (begin == std::string_view::npos) return std::nullopt;
    const nlohmann::json json = nlohmann::json::parse(text.substr(begin), nullptr, false);
    if (!json.is_object()) return std::nullopt;
    try {
        Figures figures;
        figures.fileCount = json.value("fileCount", std::int64_t{0});
        figures.tokenEstimate = json.value("tokenEstimate", std::int64_t{0});
        figures.byteCount = json.value("byteCount", std::int64_t{0});
        figures.duplicates = json.value("duplicates", std::int64_t{0});
        figures.overLimit = json.value("overLimit", false);
        const auto skipped = json.find("skipped");
        if (skipped != json.end() && skipped->is_array())
            figures.skipped = static_cast<std::int64_t>(skipped->size());
        return figures;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;  // a figure of the wrong type
    }
}

}  // namespace Json

}  // namespace tessaly
