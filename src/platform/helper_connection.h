#pragma once
// The inter-process connection to the companion helper that reads the system-wide now-playing
// information. Requests go out by name; replies and callbacks come back on the main queue.

#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace halvyn {

// Encoded bytes (artwork) inside a helper dictionary.
struct Bytes {
    std::string data;
    friend bool operator==(const Bytes&, const Bytes&) = default;
};

// One value of a helper dictionary: whatever the helper sent, of any type; the reader checks it.
using HelperScalar = std::variant<std::monostate, bool, double, std::string, Bytes>;
using HelperDictionary = std::map<std::string, HelperScalar>;
// A reply: a flag, an optional text (monostate when absent) or a dictionary.
using HelperReply = std::variant<std::monostate, bool, std::string, HelperDictionary>;

// The callbacks the program exports to the helper.
class HelperClient {
public:
    virtual ~HelperClient() = default;
    virtual void nowPlayingDidChange() = 0;
    virtual void applicationDidChange() = 0;
    virtual void applicationIsPlayingDidChange(bool isPlaying, bool playbackState, const std::string& applicationName) = 0;
    // The connection broke: the helper died or was replaced. Requests sent afterwards are lost.
    virtual void connectionInvalidated() = 0;
};

class HelperConnection {
public:
    virtual ~HelperConnection() = default;

    // Opens a connection exporting `client`; false when it cannot be created. Opening again
    // replaces the previous connection.
    virtual bool connect(HelperClient& client) = 0;
    virtual void invalidate() = 0;
    // Sends `request` (a HelperProtocol name without the trailing ":"). `reply`, for the
    // requests that take one, runs at most once, on the main queue; it may never run.
    virtual void send(const std::string& request, const std::vector<double>& args,
                      std::function<void(const HelperReply&)> reply) = 0;
};

}  // namespace halvyn
