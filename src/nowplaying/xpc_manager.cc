#include "nowplaying/xpc_manager.h"

#include <algorithm>

#include "nowplaying/helper_source.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

namespace {
constexpr double kFirstRetry = 0.25;
constexpr double kLongestRetry = 1.0;
}  // namespace

XPCManager::XPCManager(Services& ctx, Defaults& defaults, Seam<HelperSource> helperSource)
    : ctx_(ctx), helperSource_(std::move(helperSource)), defaults_(defaults),
      helper_(ctx.platform().helper()),
      log_(ctx.logger("XPCManager")),
      reconnectDebounce_(ctx.main(), "reconnectDebounce") {
    connect();
}

XPCManager::~XPCManager() {
    lifetime_.end();
    if (helper_ && connected_) helper_->invalidate();
}

bool XPCManager::connect() {
    connected_ = helper_ && helper_->connect(*this);
    return connected_;
}

bool XPCManager::callbacksSilenced() const { return defaults_.get(keys::isFirstLaunch); }

void XPCManager::send(const char* request, std::vector<double> args, std::function<void(const HelperReply&)> reply) {
    // Without a connection the request is dropped; callers keep their state.
    if (!connected_) return;
    std::function<void(const HelperReply&)> guarded;
    if (reply) {
        const Lifetime::Token weak = lifetime_.token();
        guarded = [weak, reply = std::move(reply)](const HelperReply& r) {
            if (weak) reply(r);
        };
    }
    helper_->send(request, args, std::move(guarded));
}

void XPCManager::playPause() { send("playPause"); }
void XPCManager::previousTrack() { send("previousTrack"); }
void XPCManager::nextTrack() { send("nextTrack"); }
void XPCManager::setPlayerPosition(double seconds) { send("setPlayerPosition", {seconds}); }
void XPCManager::setPlaybackRate(double rate) { send("setPlaybackRate", {rate}); }
void XPCManager::setShuffle(bool on) { send("setShuffle", {on ? 1.0 : 0.0}); }

void XPCManager::getIsPlaying(std::function<void(bool)> completion) {
    send("getIsPlaying", {}, [this, completion = std::move(completion)](const HelperReply& reply) {
        if (reply.index() != 1) return;  // a reply that is not a flag answers nothing
        const bool isPlaying = std::get<1>(reply);
        if (isPlaying && defaults_.get(keys::automaticMusicApp)) {
            // Whether a player plays is a blocking question: asked in the background.
            const Lifetime::Token weak = lifetime_.token();
            ctx_.background().post([this, weak] {
                if (!weak) return;
                const HelperSource* source = helperSource_.get();
                const bool playerPlays = source && source->aPlayerPlays();
                ctx_.main().post([this, weak, playerPlays] {
                    if (!weak || playerPlays) return;
                    if (const HelperSource* source = helperSource_.get(); source && source->recentlyPaused()) return;
                    Defaults& d = defaults_;
                    if (d.get(keys::musicApp) != MusicApp::system) d.set(keys::musicApp, MusicApp::system);
                });
            });
        }
        if (completion) completion(isPlaying);
    });
}

void XPCManager::getNowPlayingInfo(std::function<void(const HelperDictionary&)> completion) {
    send("getNowPlayingInfo", {}, [this, completion = std::move(completion)](const HelperReply& reply) {
        const HelperDictionary* info = std::get_if<HelperDictionary>(&reply);
        static const HelperDictionary empty;
        // A reply that is not a dictionary carries no information.
        if (auto* source = helperSource_.get()) source->infoArrived(info ? *info : empty);
        if (completion) completion(info ? *info : empty);
    });
}

void XPCManager::getNowPlayingBundle(std::function<void(const std::optional<std::string>&)> completion) {
    send("getNowPlayingBundle", {}, [this, completion = std::move(completion)](const HelperReply& reply) {
        std::optional<std::string> bundle;
        if (auto* s = std::get_if<std::string>(&reply); s && !s->empty()) bundle = *s;
        if (auto* source = helperSource_.get()) source->bundleArrived(bundle);
        if (completion) completion(bundle);
    });
}

void XPCManager::getSeekerPosition(std::function<void(const HelperDictionary&)> completion) {
    send("getSeekerPosition", {}, [completion = std::move(completion)](const HelperReply& reply) {
        const HelperDictionary* d = std::get_if<HelperDictionary>(&reply);
        if (d && completion) completion(*d);
    });
}

void XPCManager::checkSupportedCommands(std::function<void(const std::map<std::string, bool>&)> completion) {
    send("checkSupportedCommands", {}, [this, completion = std::move(completion)](const HelperReply& reply) {
        std::map<std::string, bool> commands;
        if (auto* d = std::get_if<HelperDictionary>(&reply))
            for (auto& [key, v] : *d)
                if (auto* b = std::get_if<bool>(&v)) commands[key] = *b;  // another type counts as missing
        if (auto* source = helperSource_.get()) source->commandsArrived(commands);
        if (completion) completion(commands);
    });
}

void XPCManager::refreshNowPlayingInfo() {
    getNowPlayingInfo([this](const HelperDictionary&) {
        if (auto* source = helperSource_.get()) source->updateStoreLink();
        if (defaults_.get(keys::musicApp) != MusicApp::system) return;
        getSeekerPosition();
        checkSupportedCommands();
        const Lifetime::Token weak = lifetime_.token();
        ctx_.main().post([this, weak] {
            if (!weak) return;
            if (auto* source = helperSource_.get()) source->applyInfo();
        });
    });
}

// MARK: - Callbacks

void XPCManager::nowPlayingDidChange() {
    if (callbacksSilenced()) return;
    getIsPlaying();
    refreshNowPlayingInfo();
}

void XPCManager::applicationDidChange() {
    if (callbacksSilenced()) return;
    getIsPlaying();
    getNowPlayingBundle();
}

void XPCManager::applicationIsPlayingDidChange(bool isPlaying, bool playbackState, const std::string& applicationName) {
    if (callbacksSilenced()) return;
    getIsPlaying();
    if (defaults_.get(keys::musicApp) != MusicApp::system) return;
    std::optional<RunningApplication> front;
    if (auto* processes = ctx_.platform().processes()) front = processes->frontmostApplication();
    if (auto* source = helperSource_.get())
        source->playingChanged(isPlaying, playbackState, front && front->name == applicationName);
}

// MARK: - Reconnecting

void XPCManager::connectionInvalidated() {
    if (!connected_) return;
    connected_ = false;
    retryDelay_ = kFirstRetry;
    log_.error("Helper connection lost; reconnecting in %{public}.2f s", retryDelay_);
    reconnectDebounce_.schedule(retryDelay_, [this] { reconnect(); });
}

void XPCManager::reconnect() {
    if (connect()) {
        log_.info("Helper connection restored");
        retryDelay_ = kFirstRetry;
        if (auto* source = helperSource_.get()) source->reconnected();
        return;
    }
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
    reconnectDebounce_.schedule(retryDelay_, [this] { reconnect(); });
}

}  // namespace halvyn
