#pragma once
// The player applications' scripting interfaces, addressed by bundle identifier, and their
// distributed change notifications. Every call may block (another process answers it): the logic
// makes them on the background queue only.
//
// Members are named as the applications publish them; a member of the current track is
// "currentTrack.name", the first artwork's image "currentTrack.artworks.0.data". Enumerated values
// (player state, repeat, shuffle mode) are their four-character codes ("kPSP").

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/published.h"
#include "runtime/value.h"

namespace halvyn {

class PlayerScripting {
public:
    virtual ~PlayerScripting() = default;
    virtual bool isRunning() const = 0;
    // Whether the application answers this member; a member it does not answer is never used.
    virtual bool respondsTo(std::string_view member) const = 0;
    // The member's value; nullopt when the application did not answer (it quit, say).
    virtual std::optional<Value> get(std::string_view member) = 0;
    // Encoded image bytes of an image member; nullopt when there is none (yet).
    virtual std::optional<std::string> imageData(std::string_view member) = 0;
    // A property write ("setShuffling" for "shuffling") or a command with its arguments.
    virtual void set(std::string_view member, const Value& value) = 0;
    virtual void command(std::string_view member) = 0;
};

struct PlayerNotification {
    std::string name;                    // "com.apple.Music.playerInfo", …
    std::optional<std::string> object;   // the sender's bundle identifier, when a text
    std::optional<std::string> playerState;  // the user information's "Player State", when a text
};

class PlayerApplications {
public:
    static constexpr const char* kMusic = "com.apple.Music";
    static constexpr const char* kSpotify = "com.spotify.client";
    virtual ~PlayerApplications() = default;
    // The scripting handle of "com.apple.Music" or "com.spotify.client"; nullptr for others.
    virtual PlayerScripting* application(const std::string& bundleId) = 0;
    // Both players' change notifications, delivered on the main queue.
    virtual Subscription observeNotifications(std::function<void(const PlayerNotification&)> cb) = 0;
};

}  // namespace halvyn
