#include "drop.h"

#include <algorithm>

#include "native_path.h"

#include <QMimeData>

namespace tessaly {

namespace Drop {

bool offersFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

std::vector<std::filesystem::path> localPaths(const QList<QUrl>& urls) {
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        const QString file = url.toLocalFile();
        if (file.isEmpty()) continue;
        paths.push_back(NativePath::fromQString(file));
    }
    return paths;
}

}  // namespace Drop

}  // namespace tessaly
