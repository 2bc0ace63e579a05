#pragma once
// The first launch's permission pages as small windows: the page's symbol, title and text, and its
// Continue button, which runs the application state's continue action for the page. On this
// desktop none of the permissions is asked for: each page says what the program uses instead,
// and Continue moves on.

#include <QWidget>

#include <functional>
#include <string>

#include "onboarding/permissions.h"

class QLabel;
class QPushButton;

namespace halvyn {

class AppState;
class Context;
class DesktopShell;
class SettingsWindow;

// The settings tabs' permission banners: Calendar (calendar access, and location for the time to
// leave), Lock Screen (location for the weather widget), Connectivity (Bluetooth). A banner shows
// while its source is present and not allowed; its button is the application state's.
void installPermissionBanners(SettingsWindow& window, AppState& app, Context& ctx);

// What the program uses on this desktop in place of the page's permission; empty when the page
// asks for nothing (the welcome page).
std::string desktopSourceNote(PermissionPage page);

class PermissionPageWindow final : public QWidget {
public:
    // `continued` runs on Continue.
    PermissionPageWindow(PermissionPage page, const PageContent& content, std::function<void()> continued);

    PermissionPage page() const { return page_; }
    QPushButton* continueButton() const { return continue_; }
    QLabel* textLabel() const { return text_; }
    QLabel* titleLabel() const { return title_; }

private:
    PermissionPage page_;
    QLabel* title_ = nullptr;
    QLabel* text_ = nullptr;
    QPushButton* continue_ = nullptr;
};

// Places `window` in the middle of the screen that hosts the notch, where the user is looking,
// rather than wherever the window manager puts new windows.
void centreOnNotchScreen(QWidget& window, Context& ctx);

// Registers the settings window ("settings", with its permission banners) and the permission
// pages with the desktop's named windows.
void registerSettingsWindows(DesktopShell& shell, Context& ctx);

}  // namespace halvyn
