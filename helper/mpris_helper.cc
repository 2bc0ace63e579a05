#include "helper/mpris_helper.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include "helper/bus_value.h"
#include "nowplaying/artwork_signature.h"
#include "platform/linux/helper_bus.h"

namespace halvyn {

namespace {

constexpr const char* kMpris = "/org/mpris/MediaPlayer2";
constexpr const char* kRoot = "org.mpris.MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kDBus = "org.freedesktop.DBus";
constexpr const char* kDBusPath = "/org/freedesktop/DBus";
// A player answers a local call in milliseconds; one that takes longer is treated as gone for
// that call. A position asked for by the program waits less: it has a guess to fall back on.
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;
constexpr std::uint64_t kPositionTimeoutUs = 500'000;
constexpr std::size_t kMaxArtReaders = 2;
// The bus's answers to RequestName.
constexpr std::uint32_t kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

bool failed(sd_bus_message* reply) { return !reply || sd_bus_message_is_method_error(reply, nullptr); }

std::string errorOf(sd_bus_message* reply) {
    const sd_bus_error* e = reply ? sd_bus_message_get_error(reply) : nullptr;
    if (!e) return "no answer";
    return e->message ? e->message : e->name ? e->name : "no answer";
}

std::string text(sd_bus_message* m) {
    const char* s = nullptr;
    return sd_bus_message_read_basic(m, 's', &s) > 0 && s ? s : "";
}

int appendDictionary(sd_bus_message* m, const HelperDictionary& d) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (const auto& [key, value] : d) {
        if (r < 0) return r;
        if (auto* b = std::get_if<bool>(&value)) r = sd_bus_message_append(m, "{sv}", key.c_str(), "b", int{*b});
        else if (auto* n = std::get_if<double>(&value)) r = sd_bus_message_append(m, "{sv}", key.c_str(), "d", *n);
        else if (auto* s = std::get_if<std::string>(&value))
            r = sd_bus_message_append(m, "{sv}", key.c_str(), "s", s->c_str());
        else if (auto* bytes = std::get_if<Bytes>(&value)) {
            if ((r = sd_bus_message_open_container(m, 'e', "sv")) < 0 || (r = sd_bus_message_append(m, "s", key.c_str())) < 0 ||
                (r = sd_bus_message_open_container(m, 'v', "ay")) < 0 ||
                (r = sd_bus_message_append_array(m, 'y', bytes->data.data(), bytes->data.size())) < 0 ||
                (r = sd_bus_message_close_container(m)) < 0)
                return r;
            r = sd_bus_message_close_container(m);
        }
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

int replyDictionary(sd_bus_message* request, const HelperDictionary& d) {
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(request, &reply);
    if (r < 0) return r;
    Message owned(reply);
    if ((r = appendDictionary(reply, d)) < 0) return r;
    return sd_bus_send(nullptr, reply, nullptr);
}

int replyTrampoline(sd_bus_message* m, void* done, sd_bus_error*) {
    if (auto& fn = *static_cast<MprisHelper::Done*>(done)) fn(m);
    return 0;
}

int signalTrampoline(sd_bus_message* m, void* fn, sd_bus_error*) {
    (*static_cast<std::function<void(sd_bus_message*)>*>(fn))(m);
    return 0;
}

// Whether `path` is `tree` or lies inside it.
bool under(std::string_view path, std::string_view tree) {
    return path == tree || (path.starts_with(tree) && path.size() > tree.size() && path[tree.size()] == '/');
}

// The kernel's own file systems: their "files" are the state of processes and devices (the
// helper's own environment among them), never artwork.
bool kernelFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return true;
    constexpr unsigned long kernel[] = {PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, SECURITYFS_MAGIC, TRACEFS_MAGIC,
                                        CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, EFIVARFS_MAGIC};
    return std::find(std::begin(kernel), std::end(kernel), static_cast<unsigned long>(fs.f_type)) != std::end(kernel);
}

}  // namespace

// A player may name any path: only a regular file outside /proc, /sys and /dev, within the limit
// and starting as an image, is passed on. It is opened by its canonical path without following a
// link swapped in meanwhile, and checked on the opened descriptor: a FIFO would block, a device
// would never end.
std::string readArtFile(const std::string& url, std::size_t maxBytes, std::string& failure) {
    const auto path = localArtworkPath(url);
    char real[PATH_MAX];
    if (!path || !::realpath(path->c_str(), real)) {
        failure = "cannot be opened";
        return {};
    }
    if (under(real, "/proc") || under(real, "/sys") || under(real, "/dev")) {
        failure = "is a system file";
        return {};
    }
    const int fd = ::open(real, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        failure = "cannot be opened";
        return {};
    }
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failure = "is not a regular file";
    } else if (kernelFileSystem(fd)) {
        failure = "is a system file";
    } else if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        failure = "is larger than the artwork limit";
    } else {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) {
            bytes.append(buf, static_cast<std::size_t>(n));
            if (bytes.size() > maxBytes) {  // it grew while being read
                failure = "is larger than the artwork limit";
                bytes.clear();
                break;
            }
        }
        if (n < 0) {
            failure = "cannot be read";
            bytes.clear();
        }
    }
    ::close(fd);
    if (failure.empty() && !looksLikeArtwork(bytes)) {
        failure = "is not an image";
        bytes.clear();
    }
    return bytes;
}

MprisHelper::MprisHelper(sd_bus* bus, sd_event* loop, Logger log) : bus_(bus), loop_(loop), log_(std::move(log)) {}

MprisHelper::~MprisHelper() {
    alive_.reset();
    // Artwork reads still running are bounded; they end before what they report to goes.
    for (auto& [_, reader] : readers_) reader.join();
    sd_event_source_disable_unref(artSource_);
    if (artWake_ >= 0) ::close(artWake_);
    for (sd_bus_slot* s : matches_) sd_bus_slot_unref(s);
    sd_bus_slot_unref(object_);
}

MprisHelper::Start MprisHelper::start(std::function<void()> nameLost) {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("playPause", "", "", onRequest, 0),
        SD_BUS_METHOD("previousTrack", "", "", onRequest, 0),
        SD_BUS_METHOD("nextTrack", "", "", onRequest, 0),
        SD_BUS_METHOD_WITH_NAMES("setPlayerPosition", "d", SD_BUS_PARAM(seconds), "", , onRequest, 0),
        SD_BUS_METHOD_WITH_NAMES("setPlaybackRate", "d", SD_BUS_PARAM(rate), "", , onRequest, 0),
        SD_BUS_METHOD_WITH_NAMES("setShuffle", "d", SD_BUS_PARAM(on), "", , onRequest, 0),
        SD_BUS_METHOD("getIsPlaying", "", "b", onRequest, 0),
        SD_BUS_METHOD("getNowPlayingInfo", "", "a{sv}", onRequest, 0),
        SD_BUS_METHOD("getNowPlayingBundle", "", "s", onRequest, 0),
        SD_BUS_METHOD("getSeekerPosition", "", "a{sv}", onRequest, 0),
        SD_BUS_METHOD("checkSupportedCommands", "", "a{sv}", onRequest, 0),
        SD_BUS_SIGNAL("nowPlayingDidChange", "", 0),
        SD_BUS_SIGNAL("applicationDidChange", "", 0),
        SD_BUS_SIGNAL_WITH_NAMES("applicationIsPlayingDidChange", "bbs",
                                 SD_BUS_PARAM(isPlaying) SD_BUS_PARAM(playbackState) SD_BUS_PARAM(applicationName), 0),
        SD_BUS_VTABLE_END,
    };
    if (!bus_ || sd_bus_is_open(bus_) <= 0) return Start::failed;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    const int r = sd_bus_call_method(bus_, kDBus, kDBusPath, kDBus, "NameHasOwner", nullptr, &reply, "s", helperbus::kService);
    const Message hold(reply);
    if (r < 0 || sd_bus_message_read(reply, "b", &owned) < 0) return Start::failed;
    if (owned) return Start::nameTaken;
    if (sd_bus_add_object_vtable(bus_, &object_, helperbus::kPath, helperbus::kInterface, vtable, this) < 0)
        return Start::failed;
    artWake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (artWake_ < 0 || sd_event_add_io(loop_, &artSource_, artWake_, EPOLLIN, onArtRead, this) < 0) return Start::failed;
    nameLost_ = std::move(nameLost);
    match(kDBus, kDBusPath, kDBus, "NameOwnerChanged", &MprisHelper::nameOwnerChanged);
    match(nullptr, kMpris, kProperties, "PropertiesChanged", &MprisHelper::propertiesChanged);
    match(nullptr, kMpris, kPlayer, "Seeked", &MprisHelper::seeked);
    // The name is taken once the players already there were read (or did not answer in time), so
    // the program's first questions find them.
    scan(std::shared_ptr<int>(new int(0), [this, alive = std::weak_ptr<int>(alive_)](int* p) {
        delete p;
        if (!alive.expired()) publish();  // not when the bus lets go of the calls after the helper ended
    }));
    return Start::ok;
}

void MprisHelper::match(const char* sender, const char* path, const char* interface, const char* member,
                        void (MprisHelper::*handler)(sd_bus_message*)) {
    auto& fn = handlers_.emplace_back(
        std::make_unique<std::function<void(sd_bus_message*)>>([this, handler](sd_bus_message* m) { (this->*handler)(m); }));
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(bus_, &slot, sender, path, interface, member, signalTrampoline, fn.get()) < 0)
        log_.error("Cannot follow %{public}s on the bus", member);
    else
        matches_.push_back(slot);
}

void MprisHelper::publish() {
    if (published_) return;
    published_ = true;
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, kDBus, kDBusPath, kDBus, "RequestName") < 0) return;
    sd_bus_message_append(m, "su", helperbus::kService, kDoNotQueue);
    call(m, kCallTimeoutUs, [this](sd_bus_message* reply) {
        std::uint32_t result = 0;
        if (!failed(reply) && sd_bus_message_read(reply, "u", &result) > 0 &&
            (result == kPrimaryOwner || result == kAlreadyOwner))
            return;
        log_.error("Another helper took the bus name first; this one ends");
        if (nameLost_) nameLost_();
    });
}

double MprisHelper::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void MprisHelper::logOnce(const std::string& key, const std::string& message) {
    if (logged_.insert(key).second) log_.error("%{public}s", message);
}

void MprisHelper::call(sd_bus_message* message, std::uint64_t timeoutUs, Done done) {
    const Message owned(message);
    sd_bus_message_set_auto_start(message, 0);
    auto pending = std::make_unique<Done>(std::move(done));
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_async(bus_, &slot, message, replyTrampoline, pending.get(), timeoutUs) < 0) return;
    // The slot belongs to the bus from now on, and takes the reply's function with it when it goes.
    sd_bus_slot_set_destroy_callback(slot, [](void* p) { delete static_cast<Done*>(p); });
    pending.release();
    sd_bus_slot_set_floating(slot, 1);
    sd_bus_slot_unref(slot);
}

void MprisHelper::emitSignal(const char* name, const char* types, bool playing, bool stopped, const std::string& app) {
    if (types) sd_bus_emit_signal(bus_, helperbus::kPath, helperbus::kInterface, name, types, int{playing}, int{stopped}, app.c_str());
    else sd_bus_emit_signal(bus_, helperbus::kPath, helperbus::kInterface, name, "");
}

// MARK: - Following the players

void MprisHelper::scan(std::shared_ptr<int> token) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, kDBus, kDBusPath, kDBus, "ListNames") < 0) return;
    call(m, kCallTimeoutUs, [this, token](sd_bus_message* reply) {
        if (failed(reply) || sd_bus_message_enter_container(reply, 'a', "s") <= 0) {
            log_.error("The bus does not list its names: %{public}s", errorOf(reply));
            return;
        }
        const char* name = nullptr;
        while (sd_bus_message_read_basic(reply, 's', &name) > 0) {
            if (!name || !MprisSessions::isPlayerName(name)) continue;
            sd_bus_message* owner = nullptr;
            if (sd_bus_message_new_method_call(bus_, &owner, kDBus, kDBusPath, kDBus, "GetNameOwner") < 0) continue;
            sd_bus_message_append(owner, "s", name);
            call(owner, kCallTimeoutUs, [this, player = std::string(name), token](sd_bus_message* r) {
                if (!failed(r)) addPlayer(player, text(r), token);
            });
        }
    });
}

void MprisHelper::nameOwnerChanged(sd_bus_message* m) {
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0 || !MprisSessions::isPlayerName(name)) return;
    if (*before) {
        MprisPlayer* p = sessions_.find(before);
        if (p && p->name == name) sessions_.remove(before);
    }
    if (*after) addPlayer(name, after, {});
    settle();
}

void MprisHelper::addPlayer(const std::string& name, const std::string& owner, const std::shared_ptr<int>& token) {
    if (owner.empty() || sessions_.find(owner)) return;
    sessions_.add(owner, name);
    sd_bus_message* pid = nullptr;
    if (sd_bus_message_new_method_call(bus_, &pid, kDBus, kDBusPath, kDBus, "GetConnectionUnixProcessID") >= 0) {
        sd_bus_message_append(pid, "s", owner.c_str());
        call(pid, kCallTimeoutUs, [this, owner, token](sd_bus_message* r) {
            MprisPlayer* p = sessions_.find(owner);
            std::uint32_t id = 0;
            if (!p || failed(r) || sd_bus_message_read(r, "u", &id) <= 0) return;
            std::ifstream comm("/proc/" + std::to_string(id) + "/comm");
            std::getline(comm, p->processName);
        });
    }
    readProperties(owner, kRoot, token);
    readProperties(owner, kPlayer, token);
}

void MprisHelper::readProperties(const std::string& busName, const char* interface, std::shared_ptr<int> token) {
    sd_bus_message* get = nullptr;
    if (sd_bus_message_new_method_call(bus_, &get, busName.c_str(), kMpris, kProperties, "GetAll") < 0) return;
    sd_bus_message_append(get, "s", interface);
    const bool player = std::strcmp(interface, kPlayer) == 0;
    call(get, kCallTimeoutUs, [this, busName, player, token = std::move(token)](sd_bus_message* reply) {
        MprisPlayer* p = sessions_.find(busName);
        if (!p) return;  // it left meanwhile
        Value properties;
        if (failed(reply) || !readBusValue(reply, properties)) {
            // Keeps what it knew; a player that never answered is never chosen.
            logOnce(busName + " answer", "Player " + p->name + " does not answer: " + errorOf(reply));
            return;
        }
        if (sessions_.apply(busName, properties, player, now()))
            logOnce(busName + " types", "Player " + p->name + " publishes properties of the wrong type; they are ignored");
        settle();
    });
}

void MprisHelper::propertiesChanged(sd_bus_message* m) {
    const std::string sender = sd_bus_message_get_sender(m) ? sd_bus_message_get_sender(m) : "";
    MprisPlayer* p = sessions_.find(sender);
    if (!p) return;
    const std::string interface = text(m);
    Value changed;
    if ((interface != kPlayer && interface != kRoot) || !readBusValue(m, changed)) return;
    if (sessions_.apply(sender, changed, interface == kPlayer, now()))
        logOnce(sender + " types", "Player " + p->name + " publishes properties of the wrong type; they are ignored");
    // Properties announced without their value are read again.
    Value invalidated;
    if (readBusValue(m, invalidated) && invalidated.isArray() && !invalidated.asArray().empty())
        readProperties(sender, interface == kPlayer ? kPlayer : kRoot);
    settle();
}

void MprisHelper::seeked(sd_bus_message* m) {
    const char* sender = sd_bus_message_get_sender(m);
    Value us;
    if (!sender || !sessions_.find(sender) || !readBusValue(m, us) || !us.isNumber()) return;
    sessions_.setPosition(sender, us.asNumber() / 1e6, now(), true);
    settle();
}

void MprisHelper::settle() {
    if (const MprisPlayer* p = sessions_.current(); p && !p->track.artUrl.empty() && p->artRead != p->track.artUrl)
        fetchArt(*p);
    const SessionChanges c = sessions_.takeChanges();
    if (c.application) emitSignal("applicationDidChange");
    if (c.isPlaying) {
        const MprisPlayer* p = sessions_.current();
        const bool playing = p && p->status == PlaybackStatus::playing;
        // Stopped, or no player at all: nothing to resume, the program may let go at once.
        const bool stopped = !p || p->status == PlaybackStatus::stopped;
        emitSignal("applicationIsPlayingDidChange", "bbs", playing, !playing && stopped, p ? p->applicationName() : "");
    }
    if (c.nowPlaying) emitSignal("nowPlayingDidChange");
}

// MARK: - Artwork

void MprisHelper::fetchArt(const MprisPlayer& p) {
    const std::string busName = p.busName, url = p.track.artUrl;
    // Artwork on the web is the program's to fetch: the helper names it and keeps no network.
    if (isWebArtwork(url)) return sessions_.setArt(busName, url, {});
    if (!isFileArtwork(url)) return artDone(busName, url, {}, "is not a file or web address");
    // A player that changes its artwork faster than files are read waits for a reader: the
    // current player's artwork is looked at again whenever a read ends.
    if (readers_.size() >= kMaxArtReaders || !artInFlight_.insert({busName, url}).second) return;
    std::thread reader([this, busName, url] {
        ArtRead r{busName, url, {}, {}, std::this_thread::get_id()};
        r.bytes = readArtFile(url, kMaxArtBytes, r.failure);
        {
            std::lock_guard lock(artMutex_);
            artRead_.push_back(std::move(r));
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(artWake_, &one, sizeof one);
    });
    readers_.emplace(reader.get_id(), std::move(reader));
}

int MprisHelper::onArtRead(sd_event_source*, int fd, std::uint32_t, void* self) {
    auto& h = *static_cast<MprisHelper*>(self);
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
    std::deque<ArtRead> done;
    {
        std::lock_guard lock(h.artMutex_);
        done.swap(h.artRead_);
    }
    for (ArtRead& r : done) {
        if (auto it = h.readers_.find(r.reader); it != h.readers_.end()) {
            it->second.join();
            h.readers_.erase(it);
        }
        h.artInFlight_.erase({r.busName, r.url});
        h.artDone(r.busName, r.url, std::move(r.bytes), r.failure);
    }
    return 0;
}

void MprisHelper::artDone(const std::string& busName, const std::string& url, std::string bytes,
                          const std::string& failure) {
    MprisPlayer* p = sessions_.find(busName);
    if (!p) return;
    if (!failure.empty()) logOnce(busName + " art", "Artwork of " + p->name + " not read: " + url + " " + failure);
    sessions_.setArt(busName, url, std::move(bytes));
    settle();
}

// MARK: - Requests

int MprisHelper::onRequest(sd_bus_message* m, void* self, sd_bus_error*) { return static_cast<MprisHelper*>(self)->handle(m); }

int MprisHelper::handle(sd_bus_message* request) {
    const std::string_view member = sd_bus_message_get_member(request);
    if (member == "getIsPlaying") return sd_bus_reply_method_return(request, "b", int{sessions_.isPlaying()});
    if (member == "getNowPlayingInfo") return replyDictionary(request, sessions_.nowPlayingInfo());
    if (member == "getNowPlayingBundle")
        return sd_bus_reply_method_return(request, "s", sessions_.bundle().value_or("").c_str());
    if (member == "checkSupportedCommands") return replyDictionary(request, sessions_.supportedCommands());
    if (member == "getSeekerPosition") {
        replyPosition(request);
        return 1;
    }
    if (member == "playPause") command("PlayPause");
    else if (member == "previousTrack") command("Previous");
    else if (member == "nextTrack") command("Next");
    else {
        double value = 0;
        if (sd_bus_message_read(request, "d", &value) <= 0 || !std::isfinite(value))
            return sd_bus_reply_method_errorf(request, SD_BUS_ERROR_INVALID_ARGS, "one finite number expected");
        if (member == "setPlayerPosition") seekTo(value);
        else if (member == "setShuffle") setShuffle(value != 0);
        else setRate(value);
    }
    return sd_bus_reply_method_return(request, "");
}

void MprisHelper::replyPosition(sd_bus_message* request) {
    const MprisPlayer* p = sessions_.current();
    sd_bus_message* get = nullptr;
    if (!p || sd_bus_message_new_method_call(bus_, &get, p->busName.c_str(), kMpris, kProperties, "Get") < 0) {
        replyDictionary(request, {});
        return;
    }
    // The position is not announced while it runs: asked fresh, with the running guess as fallback.
    sd_bus_message_append(get, "ss", kPlayer, "Position");
    auto held = std::shared_ptr<sd_bus_message>(sd_bus_message_ref(request), MessageUnref());
    call(get, kPositionTimeoutUs, [this, held, busName = p->busName](sd_bus_message* reply) {
        Value us;
        if (!failed(reply) && readBusValue(reply, us) && us.isNumber())
            sessions_.setPosition(busName, us.asNumber() / 1e6, now(), false);
        replyDictionary(held.get(), sessions_.position(now()));
    });
}

void MprisHelper::command(const char* method, const std::function<int(sd_bus_message*)>& build) {
    const MprisPlayer* p = sessions_.current();
    sd_bus_message* m = nullptr;
    if (!p || sd_bus_message_new_method_call(bus_, &m, p->busName.c_str(), kMpris, kPlayer, method) < 0) return;
    if (build && build(m) < 0) {
        sd_bus_message_unref(m);
        return;
    }
    call(m, kCallTimeoutUs, [this, key = p->busName + " " + method, name = p->name, method = std::string(method)](sd_bus_message* reply) {
        if (failed(reply)) logOnce(key, "Player " + name + " refused " + method + ": " + errorOf(reply));
    });
}

void MprisHelper::seekTo(double seconds) {
    const MprisPlayer* p = sessions_.current();
    if (!p || !p->canSeek) return;
    double target = std::max(seconds, 0.0);
    if (p->track.duration) target = std::min(target, *p->track.duration);
    const auto us = static_cast<std::int64_t>(std::llround(target * 1e6));
    // Without a track id (one that is a valid object path) only a relative jump is possible.
    if (!p->track.id.empty() && p->track.id.front() == '/' && sd_bus_object_path_is_valid(p->track.id.c_str()))
        return command("SetPosition", [&](sd_bus_message* m) { return sd_bus_message_append(m, "ox", p->track.id.c_str(), us); });
    const auto offset = static_cast<std::int64_t>(std::llround((target - p->positionNow(now())) * 1e6));
    command("Seek", [&](sd_bus_message* m) { return sd_bus_message_append(m, "x", offset); });
}

void MprisHelper::setRate(double rate) {
    const MprisPlayer* p = sessions_.current();
    if (!p || !p->canControl || rate <= 0) return;
    if ((p->minimumRate && rate < *p->minimumRate) || (p->maximumRate && rate > *p->maximumRate)) return;
    setProperty(*p, "Rate", 'd', rate, "the rate");
}

void MprisHelper::setShuffle(bool on) {
    const MprisPlayer* p = sessions_.current();
    if (!p || !p->canControl || !p->shuffle) return;
    setProperty(*p, "Shuffle", 'b', on ? 1 : 0, "shuffle");
}

void MprisHelper::setProperty(const MprisPlayer& p, const char* property, char type, double value, const char* what) {
    sd_bus_message* set = nullptr;
    if (sd_bus_message_new_method_call(bus_, &set, p.busName.c_str(), kMpris, kProperties, "Set") < 0) return;
    const int r = type == 'b' ? sd_bus_message_append(set, "ssv", kPlayer, property, "b", int{value != 0})
                              : sd_bus_message_append(set, "ssv", kPlayer, property, "d", value);
    if (r < 0) {
        sd_bus_message_unref(set);
        return;
    }
    call(set, kCallTimeoutUs, [this, key = p.busName + " " + property, name = p.name, what](sd_bus_message* reply) {
        if (failed(reply)) logOnce(key, "Player " + name + " refused " + what + ": " + errorOf(reply));
    });
}

}  // namespace halvyn
