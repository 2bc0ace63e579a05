#pragma once
// Real services started by the tests themselves, each in a private folder or on a private bus, so
// that no test depends on (or disturbs) the machine's own daemons.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDBusConnection>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/logger.h"
#include "shell/event_loop.h"

extern char** environ;

namespace halvyn::test {

// Set by scripts/test: a service a test needs that is missing fails the test instead of skipping
// it, so a missing package can never make the suite pass silently.
inline bool servicesRequired() {
    const char* v = std::getenv("HALVYN_REQUIRE_SERVICES");
    return v && std::string(v) == "1";
}

// Ends the test for want of a service or program: skipped, or failed when servicesRequired().
// Takes the reason with <<, like GTEST_SKIP().
#define HALVYN_SKIP_WITHOUT_SERVICE()                                                                   \
    return GTEST_MESSAGE_(::halvyn::test::servicesRequired() ? "missing service (HALVYN_REQUIRE_SERVICES=1)" \
                                                             : "",                                     \
                          ::halvyn::test::servicesRequired() ? ::testing::TestPartResult::kFatalFailure \
                                                             : ::testing::TestPartResult::kSkip)

inline bool onPath(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Sets an environment variable for its own lifetime and puts the previous value (or its absence)
// back, also when a test returns early.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Starts `args` through env(1), `env` settings first; output discarded unless `log` names a file.
inline pid_t spawnWith(std::vector<std::string> args, const std::vector<std::string>& env, const std::string& log = {}) {
    args.insert(args.begin(), env.begin(), env.end());
    args.insert(args.begin(), "env");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = log.empty() ? "/dev/null" : log;
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "env", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs `command` through the shell: its standard output, and its exit status when asked (-1 when
// it did not exit normally).
inline std::string output(const std::string& command, int* status = nullptr) {
    std::string out;
    if (status) *status = -1;
    if (FILE* f = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        const int st = ::pclose(f);
        if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return out;
}

// A whole file (a log, say); empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes `data` to `path`, making the folders above it, with the mode `perms`.
inline void writeFile(const std::filesystem::path& path, const std::string& data,
                      std::filesystem::perms perms = std::filesystem::perms(0644)) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
    std::filesystem::permissions(path, perms);
}

// The leak checker's setting for the program or the simulator started by a test.
inline std::string lsanEnv() {
    const char* lsan = std::getenv("HALVYN_LSAN_SUPPRESSIONS");
    return std::string("LSAN_OPTIONS=suppressions=") + (lsan ? lsan : HALVYN_LSAN_FILE);
}

// How many lines of `logs` are errors.
inline int errorsIn(const CaptureLogSink& logs) {
    int n = 0;
    for (const auto& line : logs.lines) n += line.level == LogLevel::error;
    return n;
}

// How often `what` occurs in `text`.
inline int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

inline void stop(pid_t& pid, int signal = SIGTERM) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    ::kill(pid, SIGCONT);  // a paused process takes its signal only once it runs
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

inline std::filesystem::path privateFolder(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    return dir;
}

// Holds a service still (SIGSTOP): it keeps its socket and its bus name but answers nothing until
// it is let go (SIGCONT), as a daemon that stalls does.
inline void pause(pid_t pid) {
    if (pid > 0) ::kill(pid, SIGSTOP);
}
inline void resume(pid_t pid) {
    if (pid > 0) ::kill(pid, SIGCONT);
}

// Milliseconds that `fn` took on the steady clock.
template <typename Fn>
long long millisecondsOf(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// The pid written in an X server's lock file, or -1.
inline pid_t lockHolder(const std::string& number) {
    std::ifstream lock("/tmp/.X" + number + "-lock");
    long holder = -1;
    if (!(lock >> holder)) return -1;
    return static_cast<pid_t>(holder);
}

// Starts Xvfb on the first free display from `first` on; the display's name, or empty. A display
// another server holds without a lock file makes this one exit: the next number is tried.
// The server never resets: by default it resets whenever its last client leaves, and a client
// connecting in that moment (right after the readiness probe) is refused.
inline std::string startXvfb(int first, pid_t& pid) {
    for (int n = first; n < first + 200; ++n) {
        const std::string number = std::to_string(n);
        if (std::filesystem::exists("/tmp/.X11-unix/X" + number) || std::filesystem::exists("/tmp/.X" + number + "-lock"))
            continue;
        pid = spawnWith({"Xvfb", ":" + number, "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"}, {});
        bool exited = false;
        const bool ready = spinUntil(
            [&] {
                exited = ::waitpid(pid, nullptr, WNOHANG) == pid;
                return exited ||
                       output("xwininfo -display :" + number + " -root 2>&1").find("Width") != std::string::npos;
            },
            20000);
        // Another test process may have started a server on the same number at the same moment:
        // the display is ours only when the lock names our server.
        if (ready && !exited && lockHolder(number) == pid) return ":" + number;
        if (!exited) stop(pid);
        pid = -1;
    }
    return {};
}

// A PulseAudio daemon in a private runtime folder with two null sinks, "one" (the default) and
// "two". As root it runs too (it warns that it is not meant to); it never spawns on its own.
class PulseServer {
public:
    PulseServer() : dir_(privateFolder("halvyn-pulse")) {}
    ~PulseServer() {
        stop(pid_);
        std::filesystem::remove_all(dir_);
    }

    static bool available() { return onPath("pulseaudio") && onPath("pactl"); }

    std::string socket() const { return (dir_ / "native").string(); }
    std::string server() const { return "unix:" + socket(); }
    std::vector<std::string> env() const {
        return {"PULSE_SERVER=" + server(), "XDG_RUNTIME_DIR=" + dir_.string(), "HOME=" + dir_.string()};
    }

    bool start() {
        std::filesystem::remove(socket());
        pid_ = spawnWith({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                          "--use-pid-file=no", "--system=no", "--log-target=stderr",
                          "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket(),
                          "-L", "module-null-sink sink_name=one sink_properties=device.description=One",
                          "-L", "module-null-sink sink_name=two sink_properties=device.description=Two"},
                         env(), (dir_ / "log").string());
        return pid_ > 0 && spinUntil([&] { return pactl("info").find("Default Sink: one") != std::string::npos; }, 20000);
    }
    void kill() { stop(pid_, SIGKILL); }
    void pause() { test::pause(pid_); }
    void resume() { test::resume(pid_); }

    std::string pactl(const std::string& args) const {
        return output("env PULSE_SERVER=" + server() + " pactl " + args + " 2>&1");
    }

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
};

// A private message bus; it stands in for both the system and the session bus of the tests.
class PrivateBus {
public:
    PrivateBus() : dir_(privateFolder("halvyn-bus")) {}
    ~PrivateBus() {
        stop(pid_);
        std::filesystem::remove_all(dir_);
    }
    static bool available() { return onPath("dbus-daemon") && onPath("dbus-send") && python() != nullptr; }
    // The interpreter that has python3-dbusmock (the system's, not a private one on the path).
    static const char* python() {
        for (const char* p : {"/usr/bin/python3", "python3"})
            if (std::system((std::string(p) + " -c 'import dbusmock' >/dev/null 2>&1").c_str()) == 0) return p;
        return nullptr;
    }

    bool start() {
        pid_ = spawnWith({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address()}, {});
        return pid_ > 0 && spinUntil([&] { return hasName("org.freedesktop.DBus"); }, 20000);
    }
    std::string address() const { return "unix:path=" + (dir_ / "bus").string(); }
    std::vector<std::string> env() const {
        return {"DBUS_SYSTEM_BUS_ADDRESS=" + address(), "DBUS_SESSION_BUS_ADDRESS=" + address()};
    }
    // dbus-send with a reply, e.g. send("org.x", "/o", "org.x.Method", "string:a").
    std::string send(const std::string& dest, const std::string& path, const std::string& method,
                      const std::string& args = {}) const {
        return output("dbus-send --bus=" + address() + " --print-reply --dest=" + dest + " " + path + " " + method +
                      " " + args + " 2>&1");
    }
    std::string setProperty(const std::string& dest, const std::string& path, const std::string& interface,
                            const std::string& name, const std::string& variant) const {
        return send(dest, path, "org.freedesktop.DBus.Properties.Set",
                    "string:" + interface + " string:" + name + " variant:" + variant);
    }
    // Has a dbusmock object emit a signal; `args` is a Python list, e.g. "[True]".
    std::string emit(const std::string& dest, const std::string& path, const std::string& interface,
                     const std::string& name, const std::string& signature, const std::string& args) const {
        const std::string code = "import dbus; b = dbus.bus.BusConnection('" + address() + "'); b.get_object('" +
                                 dest + "', '" + path + "').EmitSignal('" + interface + "', '" + name + "', '" +
                                 signature + "', " + args + ", dbus_interface='org.freedesktop.DBus.Mock')";
        return output(std::string(python()) + " -c \"" + code + "\" 2>&1");
    }
    bool hasName(const std::string& name) const {
        return send("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                    "string:" + name)
                   .find("boolean true") != std::string::npos;
    }

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
};

// A python3-dbusmock template serving on the private bus as a system service.
class DBusMock {
public:
    DBusMock(const PrivateBus& bus, std::string templateName, std::string busName, std::string parameters = "{}")
        : bus_(bus), template_(std::move(templateName)), name_(std::move(busName)), parameters_(std::move(parameters)) {}
    ~DBusMock() {
        resume();
        stop(pid_);
    }

    bool start() {
        pid_ = spawnWith({PrivateBus::python(), "-m", "dbusmock", "--system", "--template", template_, "-p", parameters_},
                         bus_.env());
        return pid_ > 0 && spinUntil([&] { return bus_.hasName(name_); }, 20000);
    }
    void kill() {
        stop(pid_, SIGKILL);
        spinUntil([&] { return !bus_.hasName(name_); }, 10000);
    }
    void pause() { test::pause(pid_); }
    void resume() { test::resume(pid_); }

private:
    const PrivateBus& bus_;
    std::string template_, name_, parameters_;
    pid_t pid_ = -1;
};

// A test of an adapter on a private bus: the bus, the connection the adapter is given, and the
// adapter's log. started() starts the test's own services once the bus is up.
class BusTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateBus::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(bus.start());
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("halvyn-test")));
        ASSERT_TRUE(connection->isConnected());
        started();
    }
    // The adapter, a member of the test, is gone by now.
    ~BusTest() override {
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("halvyn-test"));
    }
    virtual void started() {}

    PrivateBus bus;
    std::unique_ptr<QDBusConnection> connection;
    CaptureLogSink logs;
};

}  // namespace halvyn::test
