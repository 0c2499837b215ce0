#pragma once
// Hands the paths of a second launch to the instance that is already running, over a local
// socket in a folder only this user can reach.

#include <filesystem>
#include <vector>

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace tessaly {

namespace InstanceChannel {

// The socket of this user's running instance; empty (no hand-over) when there is no private
// folder to keep it in.
QString defaultName();

// Delivers the paths to the running instance; false when none answered.
bool send(const QString& name, const std::vector<std::filesystem::path>& paths,
          int timeoutMs = 5000);

// Receives what later launches send.
class Listener : public QObject {
    Q_OBJECT

  public:
    explicit Listener(QString name, QObject* parent = nullptr);

    // False when another live instance holds the name.
    bool listen();

  signals:
    // One launch's paths, possibly none (then the window only comes to the front).
    void openRequested(std::vector<std::filesystem::path> paths);

  private:
    void accept();
    void read(QLocalSocket* socket);

    QString name_;
    QLocalServer* server_;
};

}  // namespace InstanceChannel

}  // namespace tessaly
