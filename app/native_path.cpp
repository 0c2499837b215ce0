#include "native_path.h"

#include <QFile>

namespace tessaly {

namespace NativePath {

std::filesystem::path fromBytes(const QByteArray& bytes) {
    return std::filesystem::path(std::string(bytes.constData(), size_t(bytes.size())));
}

QByteArray toBytes(const std::filesystem::path& path) {
    return QByteArray(path.native().data(), qsizetype(path.native().size()));
}

std::filesystem::path fromQString(const QString& file) {
    return fromBytes(QFile::encodeName(file));
}

QString toQString(const std::filesystem::path& path) {
    return QFile::decodeName(toBytes(path));
}

}  // namespace NativePath

}  // namespace tessaly
