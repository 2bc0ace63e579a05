#pragma once
// Starting the program at login on a freedesktop desktop: an autostart entry
// ($XDG_CONFIG_HOME/autostart/<application id>.desktop) that the session starts at login.
// Registering writes it, unregistering removes it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/login_items.h"

namespace halvyn {

// $XDG_CONFIG_HOME when it is absolute, else ~/.config; nothing without either.
std::optional<std::filesystem::path> xdgConfigHome();

// One argument of a desktop entry's Exec key: quoted when it holds a reserved character, with
// '"', '`', '$' and '\' escaped inside the quotes and '%' doubled (it would start a field code).
// Returned as the key's value is written in the file, where a backslash is escaped once more.
std::string desktopExecArgument(std::string_view argument);

class XdgAutostart final : public LoginItems {
public:
    // `folder`: the autostart folder (nothing: no home, every registration fails); `appId` names
    // the entry; `program` is the installed program's absolute path.
    XdgAutostart(std::optional<std::filesystem::path> folder, std::string appId, std::string name,
                 std::string program);

    bool setRegistered(bool registered, std::string* error) override;
    // An entry of ours that the session would start (not hidden, not switched off).
    bool isRegistered() const override;

    std::filesystem::path entryPath() const;
    // The entry as it is written.
    std::string entryText() const;

private:
    std::optional<std::filesystem::path> folder_;
    std::string appId_;
    std::string name_;
    std::string program_;
};

}  // namespace halvyn
