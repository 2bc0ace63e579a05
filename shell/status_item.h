#pragma once
// The status item: a tray icon whose menu is built afresh every time it opens, so it always
// shows the current state. Where the desktop has no tray the program runs on without it.

#include <memory>
#include <string>
#include <vector>

#include "runtime/published.h"

#include <QIcon>

class QMenu;
class QObject;
class QPalette;
class QSystemTrayIcon;

namespace halvyn {

class Context;

struct StatusMenuItem {
    std::string title;
    bool enabled = true;
    bool separator = false;
    std::string shortcut;  // key equivalent, e.g. "q"
    enum class Action { none, settings, quit } action = Action::none;
};

// The status menu for the current state, top to bottom.
std::vector<StatusMenuItem> statusMenu(Context& ctx, const std::string& appName, const std::string& version);

// The status icon for the desktop's current palette.
QIcon statusIcon(const QPalette& palette);

class StatusItem {
public:
    StatusItem(Context& ctx, std::string appName, std::string version);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    // False when the desktop has no tray to put the item in.
    bool available() const;
    bool visible() const;
    QMenu* menu() const { return menu_.get(); }
    // Fills the menu as statusMenu says; runs on every opening.
    void rebuild();

private:
    Context& ctx_;
    std::string appName_;
    std::string version_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QObject> paletteWatch_;
    Subscription hideObserver_;
};

}  // namespace halvyn
