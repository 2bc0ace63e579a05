// halvyn: the desktop program.

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/logger.h"
#include "shell/desktop_app.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    // Only async-signal-safe work here: the event loop picks the byte up.
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT end the program the way "Quit" does: through the event loop, so it leaves
// cleanly.
void quitOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char c;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &c, 1);
        QApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(halvyn::DesktopApp::kName));
    QApplication::setApplicationVersion(QString::fromLatin1(halvyn::DesktopApp::kVersion));
    // The program lives in its status item and notch; closing windows never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnSignals(app);
    halvyn::StderrLogSink log;
    int status;
    {
        halvyn::DesktopApp desktop(&log, halvyn::preferencesPath());
        desktop.start();
        status = QApplication::exec();
    }
    return status;
}
