#pragma once
// The companion helper: follows the MPRIS players on the session bus without polling, answers
// the program's requests from what it knows, forwards the media commands to the player that owns
// the session and announces changes as signals. Every call to a player is asynchronous with a
// bounded time-out, so a player that hangs never holds up the loop. It speaks to the bus with
// sd-bus on an sd-event loop, so that at rest it costs little more than the players it follows.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <systemd/sd-bus.h>

#include "nowplaying/mpris_sessions.h"
#include "runtime/logger.h"

typedef struct sd_event sd_event;
typedef struct sd_event_source sd_event_source;

namespace halvyn {

// Reads a local artwork file (a file:// URL as a player names it) within `maxBytes`: only a
// regular file outside the kernel's own trees, starting as an image. Empty with `failure` said
// otherwise. Blocking: run off the loop.
std::string readArtFile(const std::string& url, std::size_t maxBytes, std::string& failure);

class MprisHelper {
public:
    // Artwork larger than this is not read.
    static constexpr std::size_t kMaxArtBytes = std::size_t{8} << 20;

    MprisHelper(sd_bus* bus, sd_event* loop, Logger log);
    ~MprisHelper();
    MprisHelper(const MprisHelper&) = delete;
    MprisHelper& operator=(const MprisHelper&) = delete;

    enum class Start { ok, nameTaken, failed };
    // Publishes the helper's object, reads the players already there, then takes the helper's
    // name. `nameLost` runs when another helper took the name meanwhile.
    Start start(std::function<void()> nameLost);

    using Done = std::function<void(sd_bus_message* reply)>;

private:
    static int onRequest(sd_bus_message* m, void* self, sd_bus_error* error);
    static int onArtRead(sd_event_source*, int fd, std::uint32_t, void* self);

    // The calls of the first look hold `token`; when the last of them ends, the name is taken.
    void scan(std::shared_ptr<int> token);
    void publish();
    void nameOwnerChanged(sd_bus_message* m);
    void propertiesChanged(sd_bus_message* m);
    void seeked(sd_bus_message* m);
    void addPlayer(const std::string& name, const std::string& owner, const std::shared_ptr<int>& token);
    void readProperties(const std::string& busName, const char* interface, std::shared_ptr<int> token = {});
    void settle();
    void fetchArt(const MprisPlayer& p);
    void artDone(const std::string& busName, const std::string& url, std::string bytes, const std::string& failure);

    int handle(sd_bus_message* request);
    void replyPosition(sd_bus_message* request);
    // Sends `m` (built by `build`) to the current player's object; refusals are said once.
    void command(const char* method, const std::function<int(sd_bus_message*)>& build = {});
    void seekTo(double seconds);
    void setRate(double rate);
    void setShuffle(bool on);
    // Sets one of the current player's properties, logging once when the player refuses it.
    void setProperty(const MprisPlayer& p, const char* property, char type, double value, const char* what);

    // Calls a player; `done` runs once with the reply or the error (a time-out is one), on the loop.
    void call(sd_bus_message* message, std::uint64_t timeoutUs, Done done);
    void match(const char* sender, const char* path, const char* interface, const char* member,
               void (MprisHelper::*handler)(sd_bus_message*));
    void emitSignal(const char* name, const char* types = nullptr, bool playing = false, bool stopped = false,
                    const std::string& app = {});
    // Says a player's fault once, not on every change.
    void logOnce(const std::string& key, const std::string& message);
    double now() const;

    sd_bus* bus_;
    sd_event* loop_;
    Logger log_;
    MprisSessions sessions_;
    sd_bus_slot* object_ = nullptr;
    std::vector<sd_bus_slot*> matches_;
    std::vector<std::unique_ptr<std::function<void(sd_bus_message*)>>> handlers_;
    std::set<std::pair<std::string, std::string>> artInFlight_;
    std::set<std::string> logged_;
    std::function<void()> nameLost_;
    bool published_ = false;
    // Calls still pending when the helper ends are let go of later, by the bus.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    // Artwork files are read on threads of their own; what they read comes back through a queue
    // and wakes the loop through `artWake_`.
    struct ArtRead {
        std::string busName, url, bytes, failure;
        std::thread::id reader;
    };
    int artWake_ = -1;
    sd_event_source* artSource_ = nullptr;
    std::mutex artMutex_;
    std::deque<ArtRead> artRead_;
    std::map<std::thread::id, std::thread> readers_;
};

}  // namespace halvyn
