#include "document.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <stdexcept>

#include "child.h"

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
        if (got < 0) throw std::runtime_error(Child::sysError("read", "captured document"));
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

namespace {

// Just enough JSON for one flat object: keys are matched as written, escapes untouched.
class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool consume(char c) {
        skipSpace();
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    std::optional<std::string_view> string() {
        if (!consume('"')) return std::nullopt;
        const std::size_t begin = pos_;
        for (; pos_ < text_.size(); ++pos_) {
            if (text_[pos_] == '\\') {
                ++pos_;
            } else if (text_[pos_] == '"') {
                return text_.substr(begin, pos_++ - begin);
            }
        }
        return std::nullopt;
    }

    std::optional<std::int64_t> integer() {
        skipSpace();
        const char* first = text_.data() + pos_;
        const char* last = text_.data() + text_.size();
        std::int64_t value = 0;
        auto parsed = std::from_chars(first, last, value);
        if (parsed.ec != std::errc() ||
            (parsed.ptr < last &&
             std::string_view(".eE").find(*parsed.ptr) != std::string_view::npos)) {
            double real = 0;
            parsed = std::from_chars(first, last, real);
            if (parsed.ec != std::errc()) return std::nullopt;
            value = static_cast<std::int64_t>(real);
        }
        pos_ += static_cast<std::size_t>(parsed.ptr - first);
        return value;
    }

    std::optional<bool> boolean() {
        skipSpace();
        for (const bool value : {true, false}) {
            const std::string_view word = value ? "true" : "false";
            if (text_.substr(pos_).starts_with(word)) {
                pos_ += word.size();
                return value;
            }
        }
        return std::nullopt;
    }

    // Skips any value; the number of elements when it is an array.
    std::optional<std::int64_t> skipValue() {
        skipSpace();
        if (pos_ >= text_.size()) return std::nullopt;
        const char c = text_[pos_];
        if (c == '"') return string() ? std::optional<std::int64_t>(0) : std::nullopt;
        if (c == '[' || c == '{') return skipContainer(c == '[' ? ']' : '}');
        if (c == 't' || c == 'f') return boolean() ? std::optional<std::int64_t>(0) : std::nullopt;
        if (text_.substr(pos_).starts_with("null")) {
            pos_ += 4;
            return 0;
        }
        return integer() ? std::optional<std::int64_t>(0) : std::nullopt;
    }

  private:
    std::optional<std::int64_t> skipContainer(char close) {
        ++pos_;
        if (consume(close)) return 0;
        std::int64_t count = 0;
        do {
            if (close == '}' && !(string() && consume(':'))) return std::nullopt;
            if (!skipValue()) return std::nullopt;
            ++count;
        } while (consume(','));
        if (!consume(close)) return std::nullopt;
        return count;
    }

    void skipSpace() {
        while (pos_ < text_.size() &&
               std::string_view(" \t\r\n").find(text_[pos_]) != std::string_view::npos) {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool readField(Scanner& scanner, std::string_view key, Figures& figures) {
    std::int64_t* integerField = key == "fileCount"       ? &figures.fileCount
                                 : key == "tokenEstimate" ? &figures.tokenEstimate
                                 : key == "byteCount"     ? &figures.byteCount
                                 : key == "duplicates"    ? &figures.duplicates
                                                          : nullptr;
    if (integerField) {
        auto value = scanner.integer();
        if (value) *integerField = *value;
        return value.has_value();
    }
    if (key == "overLimit") {
        auto value = scanner.boolean();
        if (value) figures.overLimit = *value;
        return value.has_value();
    }
    auto length = scanner.skipValue();
    if (length && key == "skipped") figures.skipped = *length;
    return length.has_value();
}

}  // namespace

std::optional<Figures> parseFigures(std::string_view text) {
    // Anything the packer printed before its object is not ours to judge.
    const std::size_t begin = text.find('{');
    if (begin == std::string_view::npos) return std::nullopt;
    Scanner scanner(text.substr(begin));
    Figures figures;
    if (!scanner.consume('{')) return std::nullopt;
    if (!scanner.consume('}')) {
        do {
            auto key = scanner.string();
            if (!key || !scanner.consume(':') || !readField(scanner, *key, figures))
                return std::nullopt;
        } while (scanner.consume(','));
        if (!scanner.consume('}')) return std::nullopt;
    }
    return figures;
}

}  // namespace Json

}  // namespace tessaly
