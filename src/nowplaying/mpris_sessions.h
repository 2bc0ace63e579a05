#pragma once
// What the companion helper knows of the media players of the desktop (MPRIS players on the
// session bus) and which of them owns the now-playing session: the player that most recently
// started playing, else the one that played last, else the one that appeared last. Answers the
// helper's requests in their reply shapes and tells which callbacks a change calls for. No bus
// here: the helper feeds property values in as plain values.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/helper_connection.h"
#include "runtime/value.h"

namespace halvyn {

// The track a player describes in its Metadata.
struct MprisTrack {
    std::string id;  // mpris:trackid, needed to seek
    std::string title, artist, album, artUrl;
    std::optional<double> duration;  // seconds
    friend bool operator==(const MprisTrack&, const MprisTrack&) = default;
};

// Reads Metadata (an object of entries). An entry of another type than the one it should have
// counts as absent; artists may come as a list or as one text.
MprisTrack readMetadata(const Value& metadata);

enum class PlaybackStatus { stopped, paused, playing };

struct MprisPlayer {
    std::string busName;  // the player's unique name, which its signals carry
    std::string name;     // its org.mpris.MediaPlayer2.* name
    std::string desktopEntry, identity;
    // The name of the player's process: what the desktop calls the application whose window is
    // in front, so the program can tell when the player itself is.
    std::string processName;
    bool ready = false;  // its properties were read at least once
    PlaybackStatus status = PlaybackStatus::stopped;
    MprisTrack track;
    double rate = 1.0;
    std::optional<double> minimumRate, maximumRate;
    bool canGoNext = false, canGoPrevious = false, canSeek = false, canControl = false;
    std::optional<bool> shuffle;  // none: the player has no shuffle
    // Position in seconds at `positionAt` (seconds of a steady clock); it runs on while playing.
    double position = 0, positionAt = 0;
    // The artwork read for `artUrl`; `artRead` is the URL it was read for (read or refused).
    std::string art;
    std::optional<std::string> artRead;
    std::uint64_t startedPlaying = 0, stoppedPlaying = 0, appeared = 0;

    double positionNow(double now) const;
    // The desktop-entry name, else the bus name's last part without its instance suffix.
    std::string bundle() const;
    // How the callbacks name the application: its process, else its Identity, else its bundle.
    std::string applicationName() const;
};

// Which callbacks a change of the session calls for.
struct SessionChanges {
    bool application = false;  // another player (or none) owns the session
    bool isPlaying = false;    // the session's playing state changed
    bool nowPlaying = false;   // what it plays (track, artwork, rate, position jump) changed
    bool any() const { return application || isPlaying || nowPlaying; }
};

class MprisSessions {
public:
    static constexpr const char* kPrefix = "org.mpris.MediaPlayer2.";
    // Whether a bus name is a player of its own (a proxy that mirrors other players is not).
    static bool isPlayerName(const std::string& name);

    MprisPlayer& add(const std::string& busName, const std::string& name);
    void remove(const std::string& busName);
    MprisPlayer* find(const std::string& busName);

    // Properties of org.mpris.MediaPlayer2.Player (`player`) or of org.mpris.MediaPlayer2,
    // changed or read in full; values of the wrong type are ignored. True when a property the
    // player had was replaced by one of the wrong type (worth a log line).
    bool apply(const std::string& busName, const Value& properties, bool player, double now);
    // The player's position read at `now`; `jumped` when it announced a jump (Seeked), which
    // the program is told of.
    void setPosition(const std::string& busName, double seconds, double now, bool jumped);
    void setArt(const std::string& busName, const std::string& url, std::string bytes);

    const MprisPlayer* current() const;

    // The replies.
    bool isPlaying() const;
    std::optional<std::string> bundle() const;
    HelperDictionary nowPlayingInfo() const;
    HelperDictionary position(double now) const;
    HelperDictionary supportedCommands() const;

    // Compares the session now with the last time this was asked.
    SessionChanges takeChanges();

private:
    struct Snapshot {
        std::string busName;
        bool playing = false;
        HelperDictionary info;
        std::uint64_t jumps = 0;
    };
    Snapshot snapshot() const;

    std::map<std::string, MprisPlayer> players_;
    std::uint64_t clock_ = 0;
    std::uint64_t jumps_ = 0;
    Snapshot last_;
};

}  // namespace halvyn
