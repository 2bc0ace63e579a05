#pragma once
// The program's side of the companion helper connection: sends the now-playing requests, turns
// replies and callbacks into changes of the now-playing source, and reconnects after the helper
// dies (0.25 s, 0.5 s, then once a second), resolving the player again once it is back.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/helper_connection.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/seam.h"

namespace halvyn {

class Services;
class Defaults;
class HelperSource;

class XPCManager final : public HelperClient {
public:
    XPCManager(Services& ctx, Defaults& defaults, Seam<HelperSource> helperSource);
    ~XPCManager() override;
    XPCManager(const XPCManager&) = delete;
    XPCManager& operator=(const XPCManager&) = delete;

    bool isConnected() const { return connected_; }

    void playPause();
    void previousTrack();
    void nextTrack();
    void setPlayerPosition(double seconds);
    void setPlaybackRate(double rate);
    void setShuffle(bool on);

    // Each reply's own effect happens first, then the completion (if any).
    void getIsPlaying(std::function<void(bool)> completion = {});
    void getNowPlayingInfo(std::function<void(const HelperDictionary&)> completion = {});
    void getNowPlayingBundle(std::function<void(const std::optional<std::string>&)> completion = {});
    void getSeekerPosition(std::function<void(const HelperDictionary&)> completion = {});
    void checkSupportedCommands(std::function<void(const std::map<std::string, bool>&)> completion = {});
    // getNowPlayingInfo followed by the share link and, for the system source, the rest of the
    // refresh (position, supported commands, applyNowPlayingInfo).
    void refreshNowPlayingInfo();

    // HelperClient
    void nowPlayingDidChange() override;
    void applicationDidChange() override;
    void applicationIsPlayingDidChange(bool isPlaying, bool playbackState, const std::string& applicationName) override;
    void connectionInvalidated() override;

private:
    bool connect();
    void send(const char* request, std::vector<double> args = {}, std::function<void(const HelperReply&)> reply = {});
    bool callbacksSilenced() const;
    void reconnect();

    Services& ctx_;
    // The now-playing manager's helper source, which the replies go to (built after this).
    Seam<HelperSource> helperSource_;
    Defaults& defaults_;
    HelperConnection* helper_;
    Logger log_;
    bool connected_ = false;
    double retryDelay_ = 0.25;
    Debounce reconnectDebounce_;
    Lifetime lifetime_;
};

}  // namespace halvyn
