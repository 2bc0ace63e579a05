#pragma once
// Starting the program when the user logs in (a login item of the system's service management,
// an autostart entry on a Linux desktop).

#include <string>

namespace halvyn {

class LoginItems {
public:
    virtual ~LoginItems() = default;
    // Registers (true) or unregisters (false) the program. False on failure, with the reason in
    // `error` when given; a failure changes nothing.
    virtual bool setRegistered(bool registered, std::string* error) = 0;
    virtual bool isRegistered() const = 0;
};

}  // namespace halvyn
