// halvyn: the desktop program.

#include <QApplication>

#include "runtime/logger.h"
#include "shell/desktop_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(halvyn::DesktopApp::kName));
    QApplication::setApplicationVersion(QString::fromLatin1(halvyn::DesktopApp::kVersion));
    // The program lives in its status item and notch; closing windows never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    halvyn::StderrLogSink log;
    halvyn::DesktopApp desktop(&log, halvyn::preferencesPath());
    desktop.start();
    return QApplication::exec();
}
