#pragma once
// The status item: a tray icon whose menu is the application state's status menu, built afresh
// every time it opens so it always shows the current state. Where the desktop has no tray the
// program runs on without it.

#include <memory>
#include <string>

#include <QIcon>
#include <QPoint>
#include <QString>

#include "app/status_menu.h"

class QMenu;
class QObject;
class QPalette;
class QSystemTrayIcon;

namespace halvyn {

class AppState;
class Logger;

// The status icon for the desktop's current palette.
QIcon statusIcon(const QPalette& palette);

// Fills `menu` with the model's items: symbols through the icon table, image assets through the
// desktop's icon theme (their fallback symbol, or none, when it has no match), check marks, key
// equivalents, submenus; choosing an item runs its action.
void renderMenu(QMenu& menu, const Menu& model);

class StatusItem {
public:
    // Created invisible; the application state shows it.
    StatusItem(AppState& state, const Logger& log);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    // False when the desktop has no tray to put the item in.
    bool available() const;
    bool visible() const;
    void setVisible(bool visible);
    QMenu* menu() const { return menu_.get(); }
    // Fills the menu from the application state; runs on every opening (the menu is empty
    // until the first).
    void rebuild();
    // Why settings are not being saved (empty: they are); the tooltip says it under the name.
    void setSaveProblem(const std::string& problem);
    QString toolTip() const;

private:
    AppState& state_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QObject> paletteWatch_;
    QString toolTip_;
};

}  // namespace halvyn
