#pragma once
// System-wide notification names with a 64-bit state.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace halvyn {

using NotifyToken = int;

class DarwinNotify {
public:
    virtual ~DarwinNotify() = default;
    // Each returns the registration token, or nothing when the system refused.
    virtual std::optional<NotifyToken> registerCheck(const std::string& name) = 0;
    // `handler` runs on a serial queue of the given label with the token that fired.
    virtual std::optional<NotifyToken> registerDispatch(const std::string& name, const std::string& queueLabel,
                                                        std::function<void(NotifyToken)> handler) = 0;
    virtual bool setState(NotifyToken token, std::uint64_t state) = 0;
    virtual bool cancel(NotifyToken token) = 0;
};

}  // namespace halvyn
