#include "file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

#include "native_path.h"

namespace tessaly {

namespace FileManager {
namespace {

QUrl fileUrl(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(NativePath::toQString(path));
}

}  // namespace

void reveal(const std::filesystem::path& file) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{fileUrl(file).toString(QUrl::FullyEncoded)} << QString();
        // A short wait: the reply only says whether a file manager took the request.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QDesktopServices::openUrl(fileUrl(file.parent_path()));
}

}  // namespace FileManager

}  // namespace tessaly
