#pragma once
// File names between Qt's strings and the file system's bytes, which need not be UTF-8.

#include <filesystem>

#include <QByteArray>
#include <QString>

namespace tessaly {

namespace NativePath {

std::filesystem::path fromBytes(const QByteArray& bytes);
QByteArray toBytes(const std::filesystem::path& path);

// Through the locale's file-name encoding, as QFile does.
std::filesystem::path fromQString(const QString& file);
QString toQString(const std::filesystem::path& path);

}  // namespace NativePath

}  // namespace tessaly
