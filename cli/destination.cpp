#include "destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "tessaly/atomic_file.h"
#include "tessaly/system/io.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"

namespace tessaly::Cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view documentStart = "# Context: ";

std::optional<Collect::FileId> idOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return Collect::FileId{st.st_dev, st.st_ino};
}

// An earlier document of ours, which packing again may replace.
bool isDocument(const fs::path& file) {
    const System::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    std::string head(documentStart.size(), '\0');
    return fd && System::readFull(fd.get(), head) == static_cast<ssize_t>(head.size()) &&
           head == documentStart;
}

}  // namespace

std::vector<Collect::FileId> destinationFiles(const std::optional<std::string>& output) {
    struct stat st {};
    const bool found =
        output ? ::stat(output->c_str(), &st) == 0 : ::fstat(STDOUT_FILENO, &st) == 0;
    if (!found || !S_ISREG(st.st_mode)) return {};
    return {Collect::FileId{st.st_dev, st.st_ino}};
}

std::optional<std::string> destinationConflict(const fs::path& output,
                                               const std::vector<fs::path>& inputs) {
    struct stat st {};
    if (::stat(output.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::vector<Collect::FileId> packed;
    for (const fs::path& input : inputs)
        if (auto id = idOf(input)) packed.push_back(*id);
    const auto isPacked = [&](const Collect::FileId& id) {
        return std::find(packed.begin(), packed.end(), id) != packed.end();
    };
    if (isPacked({st.st_dev, st.st_ino})) return "is one of the inputs";
    if (isDocument(output)) return std::nullopt;
    std::error_code ec;
    for (fs::path folder = fs::weakly_canonical(output, ec).parent_path();;
         folder = folder.parent_path()) {
        if (const auto id = idOf(folder); id && isPacked(*id))
            return "lies in a packed folder and is not a document of tessaly-pack";
        if (folder == folder.parent_path()) return std::nullopt;
    }
}

void writeDocument(const std::optional<std::string>& output, std::string_view markdown) {
    if (output) return AtomicFile::write(*output, markdown);
    if (!System::writeAll(STDOUT_FILENO, markdown)) System::throwSystem("write", "standard output");
}

}  // namespace tessaly::Cli
