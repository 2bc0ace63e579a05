// halvyn: the desktop program.

#include <QApplication>
#include <QThreadPool>
#include <QSocketNotifier>

#include <QGuiApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/linux/ics_calendar_store.h"
#include "runtime/logger.h"
#include "shell/desktop_app.h"
#include "shell/resources.h"
#include "shell/single_instance.h"
#include "shell/wayland_session.h"

#include <xcb/xcb.h>

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

void printHelp() {
    const auto resources = halvyn::resourceDirectory(halvyn::programDirectory());
    const auto preferences = halvyn::preferencesPath();
    const char* home = std::getenv("HOME");
    const auto calendars = halvyn::IcsCalendarStore::Folders::fromEnvironment(home && *home ? home : "/");
    std::printf(
        "Usage: halvyn [--help] [--version]\n"
        "\n"
        "Turns the top centre of the screen into a live status area: volume, brightness,\n"
        "battery and accessory displays, what plays, the next event, the screen lock, and\n"
        "an open notch with more. It runs in the background with a status icon.\n"
        "Launching it again while it runs opens its settings window (also without a\n"
        "status icon); Quit in the icon's menu ends it.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "\n"
        "Files:\n"
        "  %s\n"
        "      settings\n"
        "  %s/*.ics\n"
        "      calendars (and Evolution's local calendars); their events show once\n"
        "      \"Calendar activities\" is on in the Calendar tab of the settings\n"
        "  %s\n"
        "      sounds and icons\n"
        "\n"
        "See halvyn(1) and halvyn-helper(1).\n",
        preferences ? preferences->c_str() : "(none: no home folder)", calendars.own.c_str(),
        resources ? resources->c_str() : "(not found)");
}

// Whether the toolkit will find a display; asked before it is started, since it aborts without one.
bool displayReachable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool wantsX11 = platform.isEmpty() || platform.startsWith("xcb");
    const bool wantsWayland = platform.isEmpty() || platform.startsWith("wayland");
    if (!wantsX11 && !wantsWayland) return true;  // offscreen, vnc, …: no display server needed
    if (wantsWayland && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
    if (!wantsX11 || qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c) xcb_disconnect(c);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before anything starts: no display, no second instance needed.
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            printHelp();
            return 0;
        }
        if (a == "--version" || a == "-v") {
            std::printf("%s %s\n", halvyn::DesktopApp::kName, halvyn::DesktopApp::kVersion);
            return 0;
        }
    }
    // Asked before the toolkit starts: on a Wayland compositor that cannot place the notch, the
    // program goes through XWayland when there is one.
    const halvyn::SessionPlan session = halvyn::planSession(
        qgetenv("QT_QPA_PLATFORM").toStdString(),
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? std::nullopt : halvyn::waylandOffersLayerShell(3000),
        !qEnvironmentVariableIsEmpty("DISPLAY"));
    if (!session.platform.empty()) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(session.platform));
    if (session.layerShell) qputenv(halvyn::kLayerShellBypassVariable, "1");
    if (!displayReachable()) {
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            std::fprintf(stderr, "halvyn: no display to show the notch on (set DISPLAY or WAYLAND_DISPLAY)\n");
        else
            std::fprintf(stderr, "halvyn: cannot reach the display '%s'\n",
                         qEnvironmentVariableIsEmpty("DISPLAY") ? qgetenv("WAYLAND_DISPLAY").constData()
                                                                 : qgetenv("DISPLAY").constData());
        return 1;
    }
    // The notch's frames upload only their damaged rectangles, a few kilobytes each; through
    // shared memory every upload also costs a completion event from the X server that wakes two
    // threads, more than the copy it saves. Read once, while the toolkit connects, and not passed
    // on to the programs started from here (the helper, the link opener).
    const bool sharedMemoryChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!sharedMemoryChosen) qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    if (!sharedMemoryChosen) qunsetenv("QT_XCB_NO_MITSHM");
    // What the toolkit did not take as its own option is not ours either.
    const QStringList rest = QApplication::arguments().mid(1);
    if (!rest.isEmpty()) {
        std::fprintf(stderr, "halvyn: unknown argument '%s' (see halvyn --help)\n", qPrintable(rest.front()));
        return 2;
    }
    QApplication::setApplicationName(QString::fromLatin1(halvyn::DesktopApp::kName));
    QApplication::setApplicationVersion(QString::fromLatin1(halvyn::DesktopApp::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("app.halvyn.halvyn"));
    // The program lives in its status item and notch; closing windows never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    // The toolkit's raster painting fills large shapes on the shared thread pool; its threads end
    // two seconds after the last fill instead of idling half a minute at rest.
    QThreadPool::globalInstance()->setExpiryTimeout(2000);

    halvyn::SingleInstance instance;
    halvyn::DesktopApp* running = nullptr;
    if (!instance.becomePrimary([&running] {
            if (running) running->reopen();
        })) {
        if (instance.handOver()) {
            std::fprintf(stderr, "halvyn: already running; handed over to it\n");
            return 0;
        }
        std::fprintf(stderr, "halvyn: another instance holds the lock but does not answer\n");
        return 1;
    }

    quitOnSignals(app);
    halvyn::StderrLogSink log;
    std::string note = session.note;
    if (session.layerShell && QGuiApplication::platformName() != QLatin1String("wayland"))
        note = "The toolkit's Wayland platform plugin is missing: the notch is placed through XWayland instead";
    if (!note.empty())
        halvyn::Logger(&log, "com.halvyn.app", "Session")
            .log(session.placeable ? halvyn::LogLevel::info : halvyn::LogLevel::error, note);
    int status;
    {
        halvyn::DesktopApp desktop(&log, halvyn::preferencesPath());
        running = &desktop;
        desktop.start();
        status = QApplication::exec();
        running = nullptr;
    }
    return status;
}
