#pragma once
// The desktop program's side of the application state: it shows the windows the state asks for
// by name, from a registry of window factories that the windows' owners fill in ("settings",
// "about", the permission pages; "update" goes through the update controller), the status item,
// and ends the program.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/app_shell.h"

class QWidget;

namespace halvyn {

class AppState;
class StatusItem;

class DesktopShell final : public AppShell {
public:
    // Makes the window for a name; called when it is opened while not open.
    using WindowFactory = std::function<std::unique_ptr<QWidget>()>;

    DesktopShell(AppState& state, StatusItem* status);
    ~DesktopShell() override;
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    // The window shown for `name` ("settings", "musicPermission", …). A later registration for
    // the same name replaces the earlier one (an open window stays until it closes).
    void registerWindow(const std::string& name, WindowFactory factory);
    bool hasWindow(const std::string& name) const { return factories_.count(name) != 0; }
    // The open window of that name, or nullptr.
    QWidget* window(const std::string& name) const;

    bool openWindow(const std::string& name) override;
    void closeWindow(const std::string& name) override;
    void setStatusItemVisible(bool visible) override;
    void setStatusItem(StatusItem* status) { status_ = status; }
    // There is no Dock on this desktop: accessory and regular look the same; the windows of
    // onboarding show in the task bar as any window does.
    void setActivationPolicy(ActivationPolicy) override {}
    void activate() override;
    void terminate() override;

private:
    class CloseWatch;
    void closedByUser(std::string name);

    AppState& state_;
    StatusItem* status_;
    std::map<std::string, WindowFactory> factories_;
    std::map<std::string, std::unique_ptr<QWidget>> open_;
    std::map<std::string, std::unique_ptr<CloseWatch>> watches_;
};

}  // namespace halvyn
