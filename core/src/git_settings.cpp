#include "git_settings.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "ascii.h"
#include "glob_match.h"
#include "small_file.h"

namespace tessaly {

namespace Ignore {
namespace {

constexpr int maxIncludeDepth = 10;             // as git: deeper includes are a loop
constexpr std::size_t settingsLimit = 1 << 20;  // settings files are small; read no further

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool isKeyChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return Ascii::isAlpha(u) || Ascii::isDigit(u) || c == '-';
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Ascii::toLower(c);
    return out;
}

std::string environment(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? value : "";
}

// GIT_CONFIG_NOSYSTEM and the like: set to anything but a false value.
bool environmentFlag(const char* variable) {
    const std::string value = lowered(environment(variable));
    return !value.empty() && value != "0" && value != "false" && value != "no" && value != "off";
}

std::string_view folderOf(std::string_view file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : file.substr(0, slash + 1);
}

// "~/x" in the home folder; otherwise as it is.
std::string expandedHome(std::string path) {
    if (path.starts_with("~/")) return environment("HOME") + path.substr(1);
    return path;
}

// One settings file's statements, in git's syntax: "[section]" or
// "[section \"subsection\"]" headers, "key = value" lines with quotes, escapes and line
// continuations, "#" and ";" comments.
class SettingsFile {
  public:
    explicit SettingsFile(std::string_view text) : text_(text) {
        if (text_.starts_with("\xEF\xBB\xBF")) text_.remove_prefix(3);
    }

    struct Statement {
        std::string section;               // lower case
        std::string subsection;            // as written
        std::string key;                   // lower case
        std::optional<std::string> value;  // none: a key without "=", which means true
    };

    // The next key, or nothing at the end or at a line git would refuse.
    std::optional<Statement> next() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '#' || c == ';') {
                skipLine();
            } else if (c == '[') {
                if (!readHeader()) return std::nullopt;
            } else if (Ascii::isAlpha(static_cast<unsigned char>(c))) {
                return readKey(c);
            } else if (!isSpace(c)) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

  private:
    char get() { return pos_ < text_.size() ? text_[pos_++] : '\n'; }

    void skipLine() {
        while (pos_ < text_.size() && text_[pos_] != '\n')
            ++pos_;
    }

    bool readHeader() {
        section_.clear();
        subsection_.clear();
        for (char c = get();; c = get()) {
            if (c == ']') return !section_.empty();
            if (isSpace(c) && c != '\n') return readSubsection();
            if (!isKeyChar(c) && c != '.') return false;
            section_ += Ascii::toLower(c);
        }
    }

    bool readSubsection() {
        char c = get();
        while (c == ' ' || c == '\t')
            c = get();
        if (c != '"') return false;
        for (c = get(); c != '"'; c = get()) {
            if (c == '\\') c = get();
            if (c == '\n') return false;
            subsection_ += c;
        }
        return get() == ']';
    }

    std::optional<Statement> readKey(char first) {
        Statement statement{section_, subsection_, std::string(1, Ascii::toLower(first)),
                            std::nullopt};
        char c = get();
        for (; isKeyChar(c); c = get())
            statement.key += Ascii::toLower(c);
        while (c == ' ' || c == '\t')
            c = get();
        if (c == '\n') return statement;
        if (c != '=') return std::nullopt;
        statement.value = readValue();
        if (!statement.value) return std::nullopt;
        return statement;
    }

    // Quotes keep spaces and comment characters; whitespace outside them is one space each,
    // none at either end.
    std::optional<std::string> readValue() {
        std::string value;
        bool quoted = false;
        std::size_t spaces = 0;
        for (;;) {
            char c = get();
            if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') c = get();
            if (c == '\n') {
                if (quoted) return std::nullopt;
                return value;
            }
            if (isSpace(c) && !quoted) {
                if (!value.empty()) ++spaces;
                continue;
            }
            if (!quoted && (c == ';' || c == '#')) {
                skipLine();
                continue;
            }
            value.append(spaces, ' ');
            spaces = 0;
            if (c == '"') {
                quoted = !quoted;
            } else if (c == '\\') {
                c = get();
                if (c == '\n') continue;
                if (c == 't')
                    c = '\t';
                else if (c == 'b')
                    c = '\b';
                else if (c == 'n')
                    c = '\n';
                else if (c != '\\' && c != '"')
                    return std::nullopt;
                value += c;
            } else {
                value += c;
            }
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string section_;
    std::string subsection_;
};

class Reader {
  public:
    explicit Reader(const std::string& gitDir) : gitDir_(gitDir) {
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(gitDir.c_str(), nullptr),
                                                         &std::free);
        realGitDir_ = real ? real.get() : gitDir;
    }

    void read(const std::string& path, int depth = 0) {
        if (depth > maxIncludeDepth) return;
        const std::optional<std::string> text =
            SmallFile::read(AT_FDCWD, path.c_str(), settingsLimit);
        if (!text) return;
        SettingsFile file(*text);
        while (std::optional<SettingsFile::Statement> s = file.next()) {
            if (s->section == "core" && s->subsection.empty() && s->key == "excludesfile") {
                if (s->value) excludesFile_ = expandedHome(*s->value);
            } else if (s->key == "path" && s->value && includes(*s, path)) {
                std::string included = expandedHome(*s->value);
                if (!included.starts_with('/')) included = std::string(folderOf(path)) + included;
                read(included, depth + 1);
            }
        }
    }

    const std::optional<std::string>& excludesFile() const { return excludesFile_; }

  private:
    bool includes(const SettingsFile::Statement& s, std::string_view path) const {
        if (s.section == "include") return s.subsection.empty();
        if (s.section != "includeif") return false;
        if (s.subsection.starts_with("gitdir:"))
            return gitDirMatches(s.subsection.substr(7), path, false);
        if (s.subsection.starts_with("gitdir/i:"))
            return gitDirMatches(s.subsection.substr(9), path, true);
        return false;  // onbranch: and hasconfig: are not looked into
    }

    // git's rules: "./" from the settings file's folder, a relative pattern anywhere, a
    // trailing "/" for everything below.
    bool gitDirMatches(std::string pattern, std::string_view path, bool anyCase) const {
        pattern = expandedHome(std::move(pattern));
        if (pattern.starts_with("./"))
            pattern = std::string(folderOf(path)) + pattern.substr(2);
        else if (!pattern.starts_with('/'))
            pattern = "**/" + pattern;
        if (pattern.ends_with('/')) pattern += "**";
        if (anyCase) pattern = lowered(pattern);
        for (const std::string& dir : {realGitDir_, gitDir_})
            if (globMatch(pattern, anyCase ? lowered(dir) : dir, true)) return true;
        return false;
    }

    std::string gitDir_;
    std::string realGitDir_;
    std::optional<std::string> excludesFile_;
};

}  // namespace

std::optional<std::string> excludesFileSetting(const std::string& gitDir,
                                               const std::string& commonDir) {
    Reader reader(gitDir);
    if (!environmentFlag("GIT_CONFIG_NOSYSTEM")) {
        const std::string system = environment("GIT_CONFIG_SYSTEM");
        reader.read(system.empty() ? "/etc/gitconfig" : system);
    }
    if (const std::string global = environment("GIT_CONFIG_GLOBAL"); !global.empty()) {
        reader.read(global);
    } else {
        const std::string xdg = environment("XDG_CONFIG_HOME");
        reader.read(xdg.empty() ? environment("HOME") + "/.config/git/config"
                                : xdg + "/git/config");
        reader.read(environment("HOME") + "/.gitconfig");
    }
    reader.read(commonDir + "/config");
    return reader.excludesFile();
}

}  // namespace Ignore

}  // namespace tessaly
