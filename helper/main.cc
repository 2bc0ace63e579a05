// halvyn-helper: the desktop program's companion that follows the media players of the session.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <sys/epoll.h>
#include <sys/syscall.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include "app/version.h"
#include "helper/mpris_helper.h"
#include "platform/linux/helper_bus.h"
#include "runtime/logger.h"

namespace {

// Ends the helper with the program that started it, without polling: a process descriptor
// becomes readable when its process ends.
bool exitWith(sd_event* loop, long pid) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd < 0) return false;
    sd_event_source* source = nullptr;
    auto ended = [](sd_event_source* s, int, std::uint32_t, void*) { return sd_event_exit(sd_event_source_get_event(s), 0); };
    if (sd_event_add_io(loop, &source, fd, EPOLLIN, ended, nullptr) < 0) {
        ::close(fd);
        return false;
    }
    sd_event_source_set_io_fd_own(source, 1);
    sd_event_source_set_floating(source, 1);
    sd_event_source_unref(source);
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

    sd_event* event = nullptr;
    if (sd_event_new(&event) < 0) return 1;
    const std::unique_ptr<sd_event, sd_event* (*)(sd_event*)> loop(event, sd_event_unref);
    if (parent > 0 && !exitWith(event, parent)) return 0;  // the program is already gone

    sd_bus* connection = nullptr;
    if (sd_bus_open_user(&connection) < 0) {
        std::fprintf(stderr, "halvyn-helper: no session bus to serve on\n");
        return 1;
    }
    // Messages still queued go out before the helper ends.
    const std::unique_ptr<sd_bus, sd_bus* (*)(sd_bus*)> bus(connection, sd_bus_flush_close_unref);
    sd_bus_attach_event(connection, event, SD_EVENT_PRIORITY_NORMAL);
    // Without its bus the helper serves no one: it ends with it.
    sd_bus_set_exit_on_disconnect(connection, 1);
    halvyn::StderrLogSink sink;
    halvyn::MprisHelper helper(connection, event, halvyn::Logger(&sink, "com.halvyn.helper", "MprisHelper"));
    switch (helper.start([event] { sd_event_exit(event, 0); })) {
        case halvyn::MprisHelper::Start::ok: return sd_event_loop(event) < 0 ? 1 : 0;
        case halvyn::MprisHelper::Start::nameTaken:
            std::fprintf(stderr, "halvyn-helper: another helper already runs on this session bus\n");
            return 0;
        case halvyn::MprisHelper::Start::failed: break;
    }
    std::fprintf(stderr, "halvyn-helper: no session bus to serve on\n");
    return 1;
}
