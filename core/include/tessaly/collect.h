#pragma once
// Collection: turns the files and folders a user handed over into the text files to pack,
// plus one line for each file that was considered and rejected.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tessaly/bytes.h"
#include "tessaly/file_facts.h"

namespace tessaly {

namespace Collect {

// One kept text file: where it was found and its whole contents (valid UTF-8, no NUL
// in the first sniffLength bytes, at most sizeLimit bytes), as read: never copied.
struct CollectedFile {
    // The input itself, or the folder's path extended by the entry's names below it. A plain
    // string: a path object splits itself into parts, which for a file hundreds of folders
    // deep costs more than its bytes.
    std::string path;
    Bytes data;
    FileFacts facts{};  // measured while collecting; unknown in a file made by hand
};

// An input that could not be walked or read at all, and the system's reason (an errno).
struct InputProblem {
    std::string path;
    int error = 0;
};

// The kept files in collection order, and the rejected ones as "name — reason" lines.
struct Collected {
    std::vector<CollectedFile> files;
    std::vector<std::string> skipped;
    // Kept files of inputs met again, counted rather than listed (Options::foldRepeatedInputs).
    std::int64_t repeated = 0;
    std::int64_t ignored = 0;  // files and folders left out by Options::gitignore or excludes
    std::vector<InputProblem> problems;  // in the order of the inputs
};

// A file's identity on disk, so a caller can keep its own output out of the document.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct Options {
    std::vector<FileId> excluded;  // dropped silently wherever they are met
    // Threads reading and measuring files while the calling thread walks the folders:
    // 0 for one per core, 1 for none (everything on the calling thread). Either way the
    // result is the same.
    unsigned threads = 0;
    std::stop_token stop;  // once stop is requested, collection ends early with part of the files
    // A file whose bytes repeat an earlier file's (in collection order) comes back with its
    // facts but without its bytes, marked bytesDropped, since a document needs them once.
    // Pack::build leaves such a file out when the earlier copy is not among its files.
    bool dropRepeatedBytes = false;
    // An input met before (the same folder or file, or a folder that an earlier input's walk
    // entered, or one that holds an earlier input) is not walked again: its kept files are
    // counted in `repeated` instead of listed again, and its skipped lines come again. A
    // document needs each content once, and the same folder given a thousand times then costs
    // one walk.
    bool foldRepeatedInputs = false;
    // Inside a git work tree, what git ignores is left out as it walks (.gitignore files from
    // the tree's top down, info/exclude, core.excludesFile): an ignored folder is not entered.
    // Outside one this changes nothing.
    bool gitignore = false;
    // Lines as in a .gitignore in excludesBase (empty: each input folder), with or without a
    // work tree; they decide before git's rules.
    std::vector<std::string> excludes;
    std::string excludesBase;
};

inline constexpr std::int64_t sizeLimit = 1'000'000;  // larger files are "too large"
inline constexpr std::size_t sniffLength = 8'000;     // leading bytes searched for NUL
inline constexpr std::string_view tooLargeSuffix = " — too large";
inline constexpr std::string_view notTextSuffix = " — not text";
inline constexpr std::string_view notReadableSuffix = " — not readable";  // a folder input

// Walks the inputs in order. A problem with one input or file is a skipped line, a silent
// drop or an entry of `problems`, never a failure of the whole; running out of memory or
// descriptors is: it throws std::bad_alloc, or std::system_error naming the operation, and
// nothing is returned. Uses a few descriptors whatever the tree's depth and width, and heap,
// not stack, for depth.
[[nodiscard]] Collected files(const std::vector<std::filesystem::path>& inputs,
                              const Options& options = {});

// Text: empty, or no NUL in the first sniffLength bytes and valid UTF-8 throughout.
bool isText(std::string_view bytes);

// Folder names that are never entered (exact, case-sensitive).
const std::unordered_set<std::string>& skipDirs();

// Lower-case extensions of files that are dropped without being read.
const std::unordered_set<std::string>& binaryExts();

}  // namespace Collect

}  // namespace tessaly
