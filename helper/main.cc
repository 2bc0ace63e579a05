// halvyn-helper: the desktop program's companion that follows the media players of the session.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <sys/syscall.h>
#include <unistd.h>

#include "app/version.h"
#include "helper/mpris_helper.h"
#include "platform/linux/dbus_object.h"
#include "platform/linux/helper_bus.h"
#include "runtime/logger.h"

namespace {

// Ends the helper with the program that started it, without polling: a process descriptor
// becomes readable when its process ends.
bool exitWith(QCoreApplication& app, long pid) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd < 0) return false;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long parent = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "-h" || a == "--help") {
            std::printf(
                "Usage: halvyn-helper [--exit-with PID] [--help] [--version]\n"
                "\n"
                "Follows the media players of the session (MPRIS) for halvyn and forwards its\n"
                "media commands, on the session bus as %s. halvyn starts it when needed.\n"
                "\n"
                "  --exit-with PID  end when process PID ends\n"
                "  -h, --help       show this help and exit\n"
                "  -v, --version    show the version and exit\n",
                halvyn::helperbus::kService);
            return 0;
        }
        if (a == "-v" || a == "--version") {
            std::printf("halvyn-helper %s\n", halvyn::kProgramVersion);
            return 0;
        }
        if (a == "--exit-with" && i + 1 < argc) {
            char* end = nullptr;
            parent = std::strtol(argv[++i], &end, 10);
            if (!end || *end || parent <= 0) parent = -1;
            continue;
        }
        std::fprintf(stderr, "halvyn-helper: unknown option %s (see --help)\n", argv[i]);
        return 2;
    }
    if (parent < 0) {
        std::fprintf(stderr, "halvyn-helper: --exit-with needs a process id\n");
        return 2;
    }

    QCoreApplication app(argc, argv);
    if (parent > 0 && !exitWith(app, parent)) return 0;  // the program is already gone

    halvyn::StderrLogSink sink;
    QDBusConnection bus = QDBusConnection::sessionBus();
    halvyn::MprisHelper helper(bus, halvyn::Logger(&sink, "com.halvyn.helper", "MprisHelper"));
    auto lost = [] { QCoreApplication::exit(0); };
    switch (helper.start(lost)) {
        case halvyn::MprisHelper::Start::ok: break;
        case halvyn::MprisHelper::Start::nameTaken:
            std::fprintf(stderr, "halvyn-helper: another helper already runs on this session bus\n");
            return 0;
        case halvyn::MprisHelper::Start::failed:
            std::fprintf(stderr, "halvyn-helper: no session bus to serve on\n");
            return 1;
    }
    // Without its bus the helper serves no one: it ends with it.
    halvyn::DBusRelay gone([](const QDBusMessage&) { QCoreApplication::quit(); });
    gone.listen(bus, QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                QStringLiteral("Disconnected"));
    return app.exec();
}
