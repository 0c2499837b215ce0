#include "generate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "child.h"
#include "tessaly/system/io.h"
#include "tessaly/system/system_error.h"

namespace tessaly {

namespace Generate {

namespace {

using namespace std::string_view_literals;

// splitmix64: tiny, fast, and the same sequence on every machine and compiler, which the
// standard distributions do not promise.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    std::int64_t between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(high - low + 1)));
    }
    bool chance(std::uint64_t perMille) { return below(1000) < perMille; }

    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[below(N)];
    }

  private:
    std::uint64_t state_;
};

// Every file draws from its own stream, so its bytes do not depend on the files before it.
Rng streamFor(std::string_view kind, std::uint64_t index) {
    std::uint64_t seed = 1469598103934665603ULL;  // FNV-1a of the kind
    for (const unsigned char c : kind)
        seed = (seed ^ c) * 1099511628211ULL;
    return Rng(seed ^ (index * 0x9e3779b97f4a7c15ULL));
}

constexpr std::array identWords{
    "buffer"sv,  "count"sv,   "index"sv,  "node"sv,   "parse"sv,  "value"sv,   "result"sv,
    "error"sv,   "state"sv,   "config"sv, "stream"sv, "token"sv,  "reader"sv,  "writer"sv,
    "cache"sv,   "entry"sv,   "table"sv,  "limit"sv,  "offset"sv, "length"sv,  "header"sv,
    "frame"sv,   "packet"sv,  "socket"sv, "thread"sv, "queue"sv,  "lock"sv,    "event"sv,
    "handler"sv, "request"sv, "reply"sv,  "client"sv, "server"sv, "session"sv, "context"sv,
    "module"sv,  "symbol"sv,  "scope"sv,  "field"sv,  "record"sv, "vector"sv,  "matrix"sv,
    "point"sv,   "range"sv,   "slice"sv,  "chunk"sv,  "block"sv,  "page"sv,    "file"sv,
    "path"sv,    "name"sv,    "key"sv,    "hash"sv,   "digest"sv, "seed"sv,    "timer"sv,
    "clock"sv,   "signal"sv,  "mode"sv,   "flag"sv,   "option"sv, "layout"sv,  "render"sv,
    "color"sv,   "image"sv,   "pixel"sv,  "glyph"sv,  "text"sv,   "line"sv,    "column"sv,
    "cursor"sv,  "window"sv,  "panel"sv,  "label"sv,  "input"sv,  "output"sv,  "source"sv,
    "target"sv,  "encode"sv,  "decode"sv, "merge"sv,  "split"sv,  "sort"sv,    "filter"sv,
    "visit"sv,   "walk"sv,    "scan"sv,   "match"sv,  "codec"sv,  "store"sv,   "graph"sv,
};

constexpr std::array proseWords{
    "the"sv,   "a"sv,       "of"sv,    "to"sv,      "and"sv,   "is"sv,    "in"sv,     "that"sv,
    "for"sv,   "it"sv,      "with"sv,  "as"sv,      "when"sv,  "this"sv,  "be"sv,     "on"sv,
    "not"sv,   "are"sv,     "by"sv,    "from"sv,    "or"sv,    "which"sv, "we"sv,     "can"sv,
    "each"sv,  "one"sv,     "only"sv,  "before"sv,  "after"sv, "then"sv,  "never"sv,  "always"sv,
    "keeps"sv, "returns"sv, "reads"sv, "writes"sv,  "holds"sv, "moves"sv, "checks"sv, "caller"sv,
    "owner"sv, "memory"sv,  "order"sv, "because"sv, "until"sv, "empty"sv, "full"sv,   "first"sv,
    "last"sv,  "next"sv,    "again"sv, "safe"sv,    "fast"sv,  "slow"sv,  "bytes"sv,  "folder"sv,
};

// Text a real tree has: accents, scripts, emoji with modifiers and joiners, flags and
// combining marks.
constexpr std::array nonAsciiWords{
    "café"sv,   "naïve"sv,    "Größe"sv,   "señal"sv, "日本語"sv,   "数据"sv,
    "한국어"sv, "Ελληνικά"sv, "Русский"sv, "😀"sv,     "👍🏽"sv, "👨‍👩‍👧"sv,
    "🇫🇷"sv,     "e\u0301"sv,  "a\u0308"sv, "Ω"sv,     "→"sv,        "…"sv,
};

constexpr std::array operators{"=="sv, "!="sv, "<"sv, ">="sv, "&&"sv, "||"sv};
constexpr std::array typeNames{"int"sv, "size_t"sv, "auto"sv, "bool"sv, "double"sv, "char*"sv};

enum class Style { Brace, Python, Markdown, Json, Config };

struct Language {
    std::string_view ext;
    Style style;
    int weight;  // out of 100
};

constexpr std::array languages{
    Language{".c", Style::Brace, 24},   Language{".h", Style::Brace, 20},
    Language{".cpp", Style::Brace, 14}, Language{".py", Style::Python, 12},
    Language{".js", Style::Brace, 8},   Language{".ts", Style::Brace, 6},
    Language{".go", Style::Brace, 5},   Language{".rs", Style::Brace, 5},
    Language{".sh", Style::Config, 2},  Language{".yaml", Style::Config, 2},
    Language{".json", Style::Json, 2},
};

const Language& pickLanguage(Rng& rng) {
    int roll = static_cast<int>(rng.below(100));
    for (const Language& language : languages) {
        if (roll < language.weight) return language;
        roll -= language.weight;
    }
    return languages.front();
}

// Mostly 1 to 20 kB, spread evenly per octave as real sources are; integers only, so the
// sizes are the same everywhere.
std::int64_t sourceSize(Rng& rng) {
    struct Octave {
        std::uint64_t weight;
        std::int64_t low, high;
    };
    constexpr std::array octaves{Octave{231, 1000, 2000}, Octave{231, 2000, 4000},
                                 Octave{231, 4000, 8000}, Octave{231, 8000, 16000},
                                 Octave{76, 16000, 20000}};
    std::uint64_t roll = rng.below(1000);
    for (const Octave& octave : octaves) {
        if (roll < octave.weight) return rng.between(octave.low, octave.high);
        roll -= octave.weight;
    }
    return rng.between(1000, 20000);
}

// Builds one file's text, line by line, in the look of its language.
class TextMaker {
  public:
    TextMaker(Rng& rng, Style style, bool unicode, bool crlf)
        : rng_(rng), style_(style), unicode_(unicode), crlf_(crlf) {}

    // At least `size` bytes, ending at the end of a line.
    std::string make(std::int64_t size) {
        text_.reserve(static_cast<std::size_t>(size) + 256);
        while (static_cast<std::int64_t>(text_.size()) < size)
            line();
        return std::move(text_);
    }

  private:
    void line() {
        switch (style_) {
            case Style::Brace:
                braceLine();
                break;
            case Style::Python:
                pythonLine();
                break;
            case Style::Markdown:
                markdownLine();
                break;
            case Style::Json:
                jsonLine();
                break;
            case Style::Config:
                configLine();
                break;
        }
        text_ += crlf_ ? "\r\n" : "\n";
    }

    void braceLine() {
        const std::uint64_t kind = rng_.below(12);
        if (kind == 2) close();
        if (kind != 4) indent();
        switch (kind) {
            case 0:
                add({"// ", prose(4, 12)});
                break;
            case 1:
                add({"if (", ident(), " ", rng_.pick(operators), " ", ident(), ") {"});
                break;
            case 2:
                add({"}"});
                break;
            case 3:
                add({"return ", ident(), ";"});
                break;
            case 4:
                break;
            case 5:
                add({"for (size_t i = 0; i < ", ident(), "; ++i) {"});
                break;
            case 6:
                add({"/* `", ident(), "` ", prose(3, 8), " */"});
                break;
            case 7:
                add({ident(), "->", ident(), " = ", number(), ";"});
                break;
            default:
                add({rng_.pick(typeNames), " ", ident(), " = ", ident(), "(", ident(), ", ",
                     number(), ");"});
        }
        if (kind == 1 || kind == 5) open();
    }

    void pythonLine() {
        const std::uint64_t kind = rng_.below(12);
        if (kind == 1) depth_ = 0;
        if (kind == 4) close();
        if (kind != 4) indent();
        switch (kind) {
            case 0:
                add({"# ", prose(4, 12)});
                break;
            case 1:
                add({"def ", ident(), "(self, ", ident(), "):"});
                break;
            case 2:
                add({"if ", ident(), " ", rng_.pick(operators), " ", ident(), ":"});
                break;
            case 3:
                add({"return ", ident(), "(", ident(), ")"});
                break;
            case 4:
                break;
            case 5:
                add({"for ", ident(), " in ", ident(), ":"});
                break;
            case 6:
                add({"\"\"\"", prose(5, 12), "\"\"\""});
                break;
            case 7:
                add({ident(), ".append(\"", prose(2, 6), "\")"});
                break;
            default:
                add({ident(), " = ", ident(), ".", ident(), "(", number(), ")"});
        }
        if (kind == 1 || kind == 2 || kind == 5) open();
    }

    void markdownLine() {
        if (fence_ > 0) {
            if (!rng_.chance(120)) return braceLine();
            add({std::string(fence_, '`')});
            fence_ = 0;
            return;
        }
        switch (rng_.below(10)) {
            case 0:
                add({"## ", prose(2, 6)});
                break;
            case 1:
                add({"- ", prose(4, 10)});
                break;
            case 2:
                break;
            case 3:
                // Now and then a four-backtick fence, as around a block that shows a fence.
                fence_ = rng_.chance(100) ? 4 : 3;
                add({std::string(fence_, '`'), rng_.chance(500) ? "c" : ""});
                break;
            default:
                add({prose(8, 16), " `", ident(), "`."});
        }
    }

    void jsonLine() {
        if (rng_.chance(500)) return add({"  \"", ident(), "\": \"", prose(1, 5), "\","});
        add({"  \"", ident(), "\": ", number(), ","});
    }

    void configLine() {
        if (rng_.chance(200)) return add({"# ", prose(4, 10)});
        add({ident(), ": ", ident()});
    }

    std::string prose(int low, int high) {
        std::string words;
        for (std::int64_t i = rng_.between(low, high); i > 0; --i) {
            const bool foreign = unicode_ && rng_.chance(100);
            words += foreign ? rng_.pick(nonAsciiWords) : rng_.pick(proseWords);
            if (i > 1) words += ' ';
        }
        return words;
    }

    std::string ident() {
        std::string name(rng_.pick(identWords));
        if (rng_.chance(500)) name.append("_").append(rng_.pick(identWords));
        return name;
    }

    std::string number() { return std::to_string(rng_.below(100000)); }
    void indent() { text_.append(static_cast<std::size_t>(4 * depth_), ' '); }
    void open() { depth_ = std::min(depth_ + 1, 5); }
    void close() { depth_ = std::max(depth_ - 1, 0); }
    void add(std::initializer_list<std::string_view> pieces) {
        for (const std::string_view piece : pieces)
            text_ += piece;
    }

    Rng& rng_;
    Style style_;
    bool unicode_;
    bool crlf_;
    int depth_ = 0;
    std::size_t fence_ = 0;
    std::string text_;
};

std::string makeText(Rng& rng, Style style, std::int64_t size) {
    const bool unicode = rng.chance(100);
    const bool crlf = rng.chance(30);
    return TextMaker(rng, style, unicode, crlf).make(size);
}

// ASCII text of exactly `size` bytes, for files that sit on a size boundary.
std::string exactText(Rng& rng, std::int64_t size) {
    std::string text = TextMaker(rng, Style::Brace, false, false).make(size);
    text.resize(static_cast<std::size_t>(size - 1));
    return text + '\n';
}

std::string randomBytes(Rng& rng, std::int64_t size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(rng.next() >> 56);
    }
    return bytes;
}

std::string number5(std::int64_t n) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%05lld", static_cast<long long>(n));
    return digits;
}

enum class Fate { Kept, Duplicate, Pruned, Rejected };

// Writes files below one folder and keeps the tally.
class Writer {
  public:
    explicit Writer(std::filesystem::path root) : root_(std::move(root)) {}

    // Writes `rel` unless it was already written; false then.
    bool write(const std::string& rel, std::string_view bytes, Fate fate) {
        if (!written_.insert(rel).second) return false;
        makeParents(rel);
        const std::string path = (root_ / rel).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) throw std::runtime_error(System::errorText("open", path));
        const System::UniqueFd owner(fd);
        if (!System::writeAll(fd, bytes))
            throw std::runtime_error(System::errorText("write", path));
        count(bytes.size(), fate);
        return true;
    }

    const Tally& tally() const { return tally_; }

  private:
    void makeParents(std::string_view rel) {
        const std::size_t slash = rel.rfind('/');
        if (slash == std::string_view::npos) return;
        std::string parent(rel.substr(0, slash));
        if (madeDirs_.contains(parent)) return;
        std::error_code error;
        std::filesystem::create_directories(root_ / parent, error);
        if (error) {
            throw std::runtime_error("mkdir(" + (root_ / parent).string() +
                                     "): " + error.message());
        }
        madeDirs_.insert(std::move(parent));
    }

    void count(std::size_t size, Fate fate) {
        const auto bytes = static_cast<std::int64_t>(size);
        tally_.totalBytes += bytes;
        switch (fate) {
            case Fate::Kept:
                ++tally_.keptFiles, tally_.keptBytes += bytes;
                break;
            case Fate::Duplicate:
                ++tally_.duplicateFiles;
                break;
            case Fate::Pruned:
                ++tally_.prunedFiles;
                break;
            case Fate::Rejected:
                ++tally_.rejectedFiles;
                break;
        }
    }

    std::filesystem::path root_;
    std::unordered_set<std::string> madeDirs_;
    std::unordered_set<std::string> written_;
    Tally tally_;
};

// A bare word can be a folder name the walk skips ("target"): folders that must be packed
// get something added to theirs.
std::string word(Rng& rng) {
    return std::string(rng.pick(identWords));
}

// Concatenates in the order written: the pieces of a braced list are evaluated left to
// right, unlike the operands of `+`, so names drawn from one stream come out the same
// with every compiler.
std::string join(std::initializer_list<std::string_view> pieces) {
    std::string joined;
    for (const std::string_view piece : pieces)
        joined += piece;
    return joined;
}

// Source folders as a random tree: each new folder hangs below an earlier one, at most
// seven deep.
std::vector<std::string> makeFolders(int count) {
    constexpr std::array roots{"src"sv, "lib"sv, "include"sv, "tests"sv, "tools"sv, "examples"sv};
    std::vector<std::string> paths(roots.begin(), roots.end());
    std::vector<int> depths(roots.size(), 1);
    for (int i = static_cast<int>(roots.size()); i < count; ++i) {
        Rng rng = streamFor("folder", static_cast<std::uint64_t>(i));
        std::size_t parent = rng.below(static_cast<std::uint64_t>(i));
        if (depths[parent] >= 7) parent = static_cast<std::size_t>(i) % roots.size();
        paths.push_back(paths[parent] + "/" + word(rng) + std::to_string(i));
        depths.push_back(depths[parent] + 1);
    }
    return paths;
}

// Sources of mixed sizes; about one in fifty is also vendored as a byte-for-byte copy.
void writeSources(Writer& writer, const std::vector<std::string>& folders, int scale) {
    for (int i = 0; i < 7800 * scale; ++i) {
        Rng rng = streamFor("source", static_cast<std::uint64_t>(i));
        const Language& language = pickLanguage(rng);
        const std::string name = word(rng) + "_" + std::to_string(i) + std::string(language.ext);
        const std::string& folder = folders[rng.below(folders.size())];
        const std::string text = makeText(rng, language.style, sourceSize(rng));
        writer.write(folder + "/" + name, text, Fate::Kept);
        if (rng.chance(20)) {
            writer.write("third_party/lib" + word(rng) + "/" + name, text, Fate::Duplicate);
        }
    }
}

// Generated tables and amalgamations: some around 100 kB, a few just under the size limit,
// and one on each side of it.
void writeLargeSources(Writer& writer, const std::vector<std::string>& folders, int scale) {
    for (int i = 0; i < 80 * scale; ++i) {
        Rng rng = streamFor("large", static_cast<std::uint64_t>(i));
        const std::string& folder = folders[rng.below(folders.size())];
        writer.write(folder + "/table_" + std::to_string(i) + ".c",
                     makeText(rng, Style::Brace, rng.between(90'000, 110'000)), Fate::Kept);
    }
    for (int i = 0; i < 8 * scale; ++i) {
        Rng rng = streamFor("huge", static_cast<std::uint64_t>(i));
        writer.write("src/generated/amalgamation_" + std::to_string(i) + ".h",
                     makeText(rng, Style::Brace, rng.between(870'000, 990'000)), Fate::Kept);
    }
    Rng rng = streamFor("limit", 0);
    writer.write("src/generated/at_limit.c", exactText(rng, 1'000'000), Fate::Kept);
    writer.write("src/generated/over_limit.c", exactText(rng, 1'000'001), Fate::Rejected);
}

void writeTopLevel(Writer& writer) {
    Rng rng = streamFor("top", 0);
    writer.write("README.md", makeText(rng, Style::Markdown, 6'000), Fate::Kept);
    writer.write("CHANGELOG.md", makeText(rng, Style::Markdown, 40'000), Fate::Kept);
    writer.write("LICENSE", makeText(rng, Style::Config, 11'000), Fate::Kept);
    writer.write("Makefile", makeText(rng, Style::Config, 3'000), Fate::Kept);
    writer.write("CMakeLists.txt", makeText(rng, Style::Config, 4'000), Fate::Kept);
    writer.write("package.json", makeText(rng, Style::Json, 1'500), Fate::Kept);
}

void writeDocs(Writer& writer, int scale) {
    for (int i = 0; i < 100 * scale; ++i) {
        Rng rng = streamFor("doc", static_cast<std::uint64_t>(i));
        const std::string name =
            join({"docs/", word(rng), "-notes/", word(rng), "_", std::to_string(i), ".md"});
        writer.write(name, makeText(rng, Style::Markdown, rng.between(2'000, 20'000)), Fate::Kept);
    }
}

// Empty package markers: all byte-equal, so one is kept and the rest are duplicates.
void writeEmptyFiles(Writer& writer, const std::vector<std::string>& folders, int scale) {
    bool first = true;
    for (int i = 0; i < 20 * scale; ++i) {
        Rng rng = streamFor("empty", static_cast<std::uint64_t>(i));
        const std::string& folder = folders[rng.below(folders.size())];
        if (writer.write(folder + "/__init__.py", "", first ? Fate::Kept : Fate::Duplicate)) {
            first = false;
        }
    }
}

void writePackage(Writer& writer, Rng& rng, const std::string& dir, bool nested) {
    writer.write(dir + "/package.json", makeText(rng, Style::Json, rng.between(400, 900)),
                 Fate::Pruned);
    writer.write(dir + "/index.js", makeText(rng, Style::Brace, rng.between(1'000, 3'000)),
                 Fate::Pruned);
    if (nested) return;
    writer.write(dir + "/README.md", makeText(rng, Style::Markdown, rng.between(1'000, 2'500)),
                 Fate::Pruned);
    writer.write(dir + "/lib/index.d.ts", makeText(rng, Style::Brace, rng.between(500, 2'500)),
                 Fate::Pruned);
    for (int k = 0; k < 8; ++k) {
        const std::string name = dir + "/lib/" + word(rng) + std::to_string(k) + ".js";
        writer.write(name, makeText(rng, Style::Brace, rng.between(500, 4'000)), Fate::Pruned);
    }
}

// A few thousand small files the walk must never enter.
void writeNodeModules(Writer& writer, int scale) {
    for (int p = 0; p < 260 * scale; ++p) {
        Rng rng = streamFor("package", static_cast<std::uint64_t>(p));
        const std::string dir =
            join({"node_modules/", word(rng), "-", word(rng), "-", std::to_string(p)});
        writePackage(writer, rng, dir, false);
        if (rng.chance(200)) writePackage(writer, rng, dir + "/node_modules/" + word(rng), true);
    }
}

std::string hexName(Rng& rng, int digits) {
    constexpr std::string_view hex = "0123456789abcdef";
    std::string name;
    for (int i = 0; i < digits; ++i)
        name += hex[rng.below(16)];
    return name;
}

void writeGitFolder(Writer& writer, int scale) {
    Rng rng = streamFor("git", 0);
    writer.write(".git/HEAD", "ref: refs/heads/main\n", Fate::Pruned);
    writer.write(".git/config", makeText(rng, Style::Config, 300), Fate::Pruned);
    writer.write(".git/index", randomBytes(rng, 200'000), Fate::Pruned);
    writer.write(".git/refs/heads/main", hexName(rng, 40) + "\n", Fate::Pruned);
    const std::string pack = ".git/objects/pack/pack-" + hexName(rng, 40) + ".pack";
    writer.write(pack, randomBytes(rng, 3'000'000), Fate::Pruned);
    for (int i = 0; i < 400 * scale; ++i) {
        const std::string name = join({".git/objects/", hexName(rng, 2), "/", hexName(rng, 38)});
        writer.write(name, randomBytes(rng, rng.between(100, 6'000)), Fate::Pruned);
    }
}

// Build output, bundles and vendored trees, and hidden files: all left out by name.
void writePrunedFolders(Writer& writer, int scale) {
    Rng rng = streamFor("pruned", 0);
    for (int i = 0; i < 80 * scale; ++i) {
        const std::string name = "build/obj/" + word(rng) + std::to_string(i);
        writer.write(name + ".o",
                     "\x7f"
                     "ELF" +
                         randomBytes(rng, rng.between(5'000, 60'000)),
                     Fate::Pruned);
        writer.write(name + ".d", makeText(rng, Style::Config, 800), Fate::Pruned);
    }
    for (int i = 0; i < 10 * scale; ++i) {
        writer.write("dist/bundle_" + std::to_string(i) + ".js",
                     makeText(rng, Style::Brace, rng.between(100'000, 300'000)), Fate::Pruned);
    }
    for (int i = 0; i < 30 * scale; ++i) {
        const std::string name =
            join({"vendor/", word(rng), "/", word(rng), std::to_string(i), ".go"});
        writer.write(name, makeText(rng, Style::Brace, sourceSize(rng)), Fate::Pruned);
    }
    for (int i = 0; i < 20 * scale; ++i) {
        const std::string name =
            "examples/web/node_modules/" + word(rng) + "/index" + std::to_string(i) + ".js";
        writer.write(name, makeText(rng, Style::Brace, 1'500), Fate::Pruned);
    }
    for (const auto name : {".gitignore"sv, ".env"sv, ".editorconfig"sv, ".clang-format"sv,
                            ".github/workflows/ci.yml"sv, "src/.cache/state.json"sv}) {
        writer.write(std::string(name), makeText(rng, Style::Config, 600), Fate::Pruned);
    }
}

// Images, fonts, archives and programs: dropped by extension or found not to be text.
void writeBinaries(Writer& writer, int scale) {
    Rng rng = streamFor("binary", 0);
    for (int i = 0; i < 60 * scale; ++i) {
        const std::string name = "assets/img/" + word(rng) + std::to_string(i) + ".png";
        writer.write(name, "\x89PNG\r\n\x1a\n" + randomBytes(rng, rng.between(2'000, 150'000)),
                     Fate::Rejected);
    }
    for (int i = 0; i < 10 * scale; ++i) {
        writer.write("assets/photo_" + std::to_string(i) + ".jpg",
                     randomBytes(rng, rng.between(20'000, 400'000)), Fate::Rejected);
        writer.write("assets/fonts/face_" + std::to_string(i) + ".woff2",
                     randomBytes(rng, rng.between(10'000, 80'000)), Fate::Rejected);
    }
    writer.write("assets/Logo.PNG", randomBytes(rng, 30'000), Fate::Rejected);
    for (int i = 0; i < 5 * scale; ++i) {
        writer.write("tools/bin/helper_" + std::to_string(i),
                     "\x7f"
                     "ELF" +
                         randomBytes(rng, rng.between(20'000, 200'000)),
                     Fate::Rejected);
    }
}

// Text-looking files that are not text, and files past the size limit.
void writeRejectedText(Writer& writer, int scale) {
    for (int i = 0; i < 10 * scale; ++i) {
        Rng rng = streamFor("nul", static_cast<std::uint64_t>(i));
        std::string text = makeText(rng, Style::Config, rng.between(2'000, 30'000));
        text[rng.below(std::min<std::size_t>(text.size(), 8'000))] = '\0';
        writer.write("testdata/corrupt_" + std::to_string(i) + ".txt", text, Fate::Rejected);
    }
    for (int i = 0; i < 8 * scale; ++i) {
        Rng rng = streamFor("latin1", static_cast<std::uint64_t>(i));
        std::string text = makeText(rng, Style::Config, rng.between(1'000, 10'000));
        text.insert(rng.below(text.size()), "caf\xe9 na\xefve");
        writer.write("testdata/latin1_" + std::to_string(i) + ".csv", text, Fate::Rejected);
    }
    for (int i = 0; i < 2 * scale; ++i) {
        // A NUL past the sniffed head is still valid UTF-8: this one is kept.
        Rng rng = streamFor("late-nul", static_cast<std::uint64_t>(i));
        std::string text = TextMaker(rng, Style::Config, false, false).make(30'000);
        text[20'000] = '\0';
        writer.write("testdata/late_nul_" + std::to_string(i) + ".txt", text, Fate::Kept);
    }
    for (int i = 0; i < 5 * scale; ++i) {
        Rng rng = streamFor("dump", static_cast<std::uint64_t>(i));
        writer.write("data/dump_" + std::to_string(i) + ".sql",
                     makeText(rng, Style::Config, rng.between(1'100'000, 3'000'000)),
                     Fate::Rejected);
    }
}

void writeCheckout(Writer& writer, int scale) {
    const std::vector<std::string> folders = makeFolders(400 * scale);
    writeTopLevel(writer);
    writeSources(writer, folders, scale);
    writeLargeSources(writer, folders, scale);
    writeDocs(writer, scale);
    writeEmptyFiles(writer, folders, scale);
    writeNodeModules(writer, scale);
    writeGitFolder(writer, scale);
    writePrunedFolders(writer, scale);
    writeBinaries(writer, scale);
    writeRejectedText(writer, scale);
}

void writeFlat(Writer& writer, int files) {
    for (int i = 0; i < files; ++i) {
        Rng rng = streamFor("flat", static_cast<std::uint64_t>(i));
        const Language& language = pickLanguage(rng);
        writer.write("file_" + number5(i) + std::string(language.ext),
                     makeText(rng, language.style, rng.between(1'000, 4'000)), Fate::Kept);
    }
}

void writeDeep(Writer& writer, int depth) {
    constexpr int filesPerLevel = 10;
    std::string dir;
    for (int level = 0; level < depth; ++level) {
        dir += level == 0 ? "sub" : "/sub";
        for (int k = 0; k < filesPerLevel; ++k) {
            Rng rng = streamFor("deep", static_cast<std::uint64_t>(level * filesPerLevel + k));
            const Language& language = pickLanguage(rng);
            writer.write(dir + "/f" + std::to_string(k) + std::string(language.ext),
                         makeText(rng, language.style, sourceSize(rng)), Fate::Kept);
        }
    }
}

// ---- text in other scripts ----------------------------------------------------------------

constexpr std::array russian{
    "файл"sv,       "папка"sv,     "текст"sv,    "строка"sv,    "ошибка"sv,       "открыть"sv,
    "сохранить"sv,  "найти"sv,     "документ"sv, "настройки"sv, "пользователь"sv, "версия"sv,
    "обновление"sv, "загрузка"sv,  "символ"sv,   "размер"sv,    "новый"sv,        "список"sv,
    "нельзя"sv,     "прочитать"sv, "записать"sv, "каталог"sv,   "программа"sv,    "окно"sv,
};
constexpr std::array greek{
    "αρχείο"sv,     "φάκελος"sv,   "κείμενο"sv,    "γραμμή"sv,    "σφάλμα"sv,    "άνοιγμα"sv,
    "αποθήκευση"sv, "αναζήτηση"sv, "έγγραφο"sv,    "χρήστης"sv,   "ρυθμίσεις"sv, "έκδοση"sv,
    "ενημέρωση"sv,  "λήψη"sv,      "χαρακτήρας"sv, "μέγεθος"sv,   "νέο"sv,       "λίστα"sv,
    "δεν"sv,        "μπορεί"sv,    "παράθυρο"sv,   "πρόγραμμα"sv, "ΑΡΧΕΙΟ"sv,    "ΣΦΑΛΜΑ"sv,
};
constexpr std::array chinese{
    "文件"sv, "文件夹"sv, "文本"sv, "错误"sv, "打开"sv, "保存"sv, "查找"sv, "文档"sv,
    "用户"sv, "设置"sv,   "版本"sv, "更新"sv, "下载"sv, "字符"sv, "大小"sv, "新建"sv,
    "列表"sv, "无法"sv,   "读取"sv, "写入"sv, "目录"sv, "程序"sv, "窗口"sv, "，"sv,
};
constexpr std::array japanese{
    "ファイル"sv, "フォルダー"sv, "テキスト"sv, "エラー"sv, "開く"sv,       "保存"sv,
    "検索"sv,     "文書"sv,       "ユーザー"sv, "設定"sv,   "バージョン"sv, "更新"sv,
    "文字"sv,     "サイズ"sv,     "新しい"sv,   "一覧"sv,   "できません"sv, "読み込み"sv,
    "が"sv,       "を"sv,         "に"sv,       "は"sv,     "、"sv,         "ガ"sv,
};
constexpr std::array korean{
    "파일"sv,     "폴더"sv, "텍스트"sv,   "오류"sv, "열기"sv,     "저장"sv,
    "찾기"sv,     "문서"sv, "사용자"sv,   "설정"sv, "버전"sv,     "업데이트"sv,
    "다운로드"sv, "문자"sv, "크기"sv,     "새"sv,   "목록"sv,     "읽기"sv,
    "없습니다"sv, "쓰기"sv, "디렉터리"sv, "창"sv,   "프로그램"sv, "을"sv,
};
// With conjuncts (क्ष, त्र, ज्ञ, स्त), vowel signs and nasal marks.
constexpr std::array hindi{
    "फ़ाइल"sv,      "फ़ोल्डर"sv, "पाठ"sv,      "त्रुटि"sv,  "खोलें"sv,  "सहेजें"sv,  "खोजें"sv, "दस्तावेज़"sv,
    "उपयोगकर्ता"sv, "सेटिंग्स"sv, "संस्करण"sv,    "अद्यतन"sv, "अक्षर"sv, "आकार"sv, "नया"sv, "सूची"sv,
    "नहीं"sv,       "पढ़ें"sv,    "निर्देशिका"sv, "क्षमा"sv,  "ज्ञान"sv, "विंडो"sv, "का"sv,  "है"sv,
};
// Now and then with its vowel marks written.
constexpr std::array arabic{
    "ملف"sv,      "مجلد"sv,      "نص"sv,      "خطأ"sv,   "فتح"sv,   "حفظ"sv,  "بحث"sv,   "مستند"sv,
    "المستخدم"sv, "الإعدادات"sv, "الإصدار"sv, "تحديث"sv, "تنزيل"sv, "حرف"sv,  "الحجم"sv, "جديد"sv,
    "قائمة"sv,    "لا"sv,        "يمكن"sv,    "قراءة"sv, "كتابة"sv, "مُحَمَّد"sv, "كِتَابٌ"sv,  "،"sv,
};
// Skin tones, joined families and professions, flags, keycaps and presentation selectors.
constexpr std::array emoji{
    "😀"sv,
    "😂"sv,
    "👍"sv,
    "👍🏽"sv,
    "👋🏿"sv,
    "🎉"sv,
    "🚀"sv,
    "❤️"sv,
    "🔥"sv,
    "✅"sv,
    "👨‍👩‍👧‍👦"sv,
    "👩🏾‍💻"sv,
    "🏳️‍🌈"sv,
    "🇯🇵"sv,
    "🇧🇷"sv,
    "1️⃣"sv,
    "🙏🏻"sv,
    "ship"sv,
    "it"sv,
    "thanks"sv,
    "merged"sv,
    "release"sv,
    "fixed"sv,
    "lgtm"sv,
};

struct Script {
    std::string_view code;  // its folder
    const std::string_view* words;
    std::size_t wordCount;
    std::string_view space;  // between words: none in Chinese and Japanese
    std::string_view stop;   // ends a sentence
};

template <std::size_t N>
constexpr Script script(std::string_view code, const std::array<std::string_view, N>& words,
                        std::string_view space, std::string_view stop) {
    return {code, words.data(), N, space, stop};
}

constexpr std::array scripts{
    script("ru", russian, " ", ". "), script("el", greek, " ", ". "),
    script("zh", chinese, "", "。"),  script("ja", japanese, "", "。"),
    script("ko", korean, " ", ". "),  script("hi", hindi, " ", "। "),
    script("ar", arabic, " ", "؟ "),  script("emoji", emoji, " ", "! "),
};

std::string sentence(Rng& rng, const Script& script) {
    std::string text;
    for (std::int64_t i = rng.between(4, 14); i > 0; --i) {
        text += script.words[rng.below(script.wordCount)];
        if (i > 1) text += script.space;
    }
    return text += script.stop;
}

std::string englishSentence(Rng& rng) {
    std::string text(rng.pick(proseWords));
    for (std::int64_t i = rng.between(3, 12); i > 0; --i)
        text.append(" ").append(rng.pick(proseWords));
    return text;
}

// A translation catalogue, as in a po/ folder: English messages and their translations.
std::string catalogue(Rng& rng, const Script& script, std::int64_t size) {
    std::string text =
        "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    while (static_cast<std::int64_t>(text.size()) < size) {
        text += join({"#: src/", word(rng), ".c:", std::to_string(rng.below(3000)), "\n"});
        text += join({"msgid \"", englishSentence(rng), "\"\n"});
        text += join({"msgstr \"", sentence(rng, script), "\"\n\n"});
    }
    return text;
}

// Documentation: headings, paragraphs and lists, now and then a name in backticks.
std::string documentation(Rng& rng, const Script& script, std::int64_t size) {
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < size) {
        switch (rng.below(6)) {
            case 0:
                text += join({"## ", sentence(rng, script), "\n\n"});
                break;
            case 1:
                text += join({"- ", sentence(rng, script), " `", word(rng), "`\n"});
                break;
            default:
                for (std::int64_t i = rng.between(2, 6); i > 0; --i)
                    text += sentence(rng, script);
                text += "\n\n";
        }
    }
    return text;
}

// Source code commented in the script.
std::string commentedSource(Rng& rng, const Script& script, std::int64_t size) {
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < size) {
        text += join({"# ", sentence(rng, script), "\n"});
        text += join({"def ", word(rng), "(", word(rng), "):\n"});
        text += join({"    return ", word(rng), "(", std::to_string(rng.below(1000)), ")\n\n"});
    }
    return text;
}

// `files` files, a script each in turn: catalogues, documentation and commented sources of
// 2 to 40 kB.
void writeScripts(Writer& writer, int files) {
    for (int i = 0; i < files; ++i) {
        Rng rng = streamFor("scripts", static_cast<std::uint64_t>(i));
        const Script& script = scripts[static_cast<std::size_t>(i) % scripts.size()];
        const std::int64_t size = rng.between(2'000, 40'000);
        const std::string folder = join({std::string(script.code), "/", number5(i)});
        switch (rng.below(3)) {
            case 0:
                writer.write(folder + ".po", catalogue(rng, script, size), Fate::Kept);
                break;
            case 1:
                writer.write(folder + ".md", documentation(rng, script, size), Fate::Kept);
                break;
            default:
                writer.write(folder + ".py", commentedSource(rng, script, size), Fate::Kept);
        }
    }
}

void prepareFolder(const std::filesystem::path& dir) {
    std::error_code error;
    if (std::filesystem::exists(dir, error) && !std::filesystem::is_empty(dir, error)) {
        throw std::runtime_error("generate(" + dir.string() + "): folder is not empty");
    }
    std::filesystem::create_directories(dir, error);
    if (error) throw std::runtime_error("mkdir(" + dir.string() + "): " + error.message());
}

}  // namespace

Tally tree(const Request& request) {
    prepareFolder(request.dir);
    Writer writer(request.dir);
    switch (request.shape) {
        case Shape::Checkout:
            writeCheckout(writer, request.count);
            break;
        case Shape::Flat:
            writeFlat(writer, request.count);
            break;
        case Shape::Deep:
            writeDeep(writer, request.count);
            break;
        case Shape::Scripts:
            writeScripts(writer, request.count);
            break;
    }
    return writer.tally();
}

}  // namespace Generate

}  // namespace tessaly
