#pragma once
// What a drop on the window hands over.

#include <filesystem>
#include <vector>

#include <QList>
#include <QUrl>

class QMimeData;

namespace tessaly {

namespace Drop {

// Whether a drag offers at least one local file or folder.
bool offersFiles(const QMimeData* data);

// The dropped local files and folders in drop order; items that are not local files are left
// out, nothing else is.
std::vector<std::filesystem::path> localPaths(const QList<QUrl>& urls);

}  // namespace Drop

}  // namespace tessaly
