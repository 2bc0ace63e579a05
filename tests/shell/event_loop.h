#pragma once
// Runs the event loop until `done` holds or a generous limit passes. The limit only stops a
// broken test from hanging; no test asserts on how fast anything happens.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <functional>

namespace halvyn::test {

inline bool spinUntil(const std::function<bool()>& done, int limitMs = 10000) {
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

}  // namespace halvyn::test
