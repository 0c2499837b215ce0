#pragma once
// Waiting for the model from a test.

#include <chrono>
#include <functional>
#include <ostream>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "packer_model.h"

namespace tessaly {

// Lets test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// Runs the event loop until `done` holds or the deadline passes; returns `done()`.
inline bool processEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < deadline.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Until the model's last packing has been published.
inline bool waitUntilPacked(PackerModel& model) {
    return processEventsUntil(
        [&] { return !model.isPacking() && model.status() != QStringLiteral("Packing…"); });
}

}  // namespace tessaly
