#include "shell/permission_pages.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "platform/platform.h"
#include "platform/url_opener.h"
#include "sources/connectivity_manager.h"
#include "weather/weather_manager.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "notch/notch.h"
#include "shell/desktop_shell.h"
#include "shell/qt_screens.h"
#include "shell/settings_window.h"
#include "shell/symbols.h"

namespace halvyn {

namespace {

// Model texts break lines with " \n "; a label wraps on its own.
QString flowing(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral(" \n "), QStringLiteral(" ")).replace('\n', ' ');
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
    p.setColor(QPalette::WindowText, QColor(0xF2, 0xF2, 0xF2));
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
    p.setColor(QPalette::ButtonText, QColor(0xF2, 0xF2, 0xF2));
    p.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    p.setColor(QPalette::Text, QColor(0xF2, 0xF2, 0xF2));
    return p;
}

}  // namespace

std::string desktopSourceNote(PermissionPage page) {
    switch (page) {
        case PermissionPage::music:
            return "On this desktop nothing needs to be allowed: media players are followed through their MPRIS "
                   "interface on the session bus, read by the companion helper.";
        case PermissionPage::browser:
            return "On this desktop nothing needs to be allowed: a browser that plays audio shows up as an MPRIS "
                   "player like any other, through the companion helper.";
        case PermissionPage::bluetooth:
            return "On this desktop nothing needs to be allowed: accessories and their batteries come from BlueZ "
                   "on the system bus.";
        case PermissionPage::calendar:
            return "On this desktop nothing needs to be allowed: events come from the iCalendar files in "
                   "~/.local/share/halvyn/calendars and from Evolution's local calendars.";
        case PermissionPage::onboarding: return {};
    }
    return {};
}

PermissionPageWindow::PermissionPageWindow(PermissionPage page, const PageContent& content,
                                           std::function<void()> continued)
    : page_(page) {
    setWindowTitle(QString::fromStdString(content.title));
    // The welcome window is always dark, whatever the desktop's theme.
    if (page == PermissionPage::onboarding) {
        setPalette(darkPalette());
        setAutoFillBackground(true);
    }
    setFixedWidth(380);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 24, 28, 20);
    column->setSpacing(12);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(QPixmap::fromImage(symbolImage(content.symbol, QSize(48, 48), palette().color(QPalette::WindowText))));
    symbol->setAlignment(Qt::AlignHCenter);
    title_ = new QLabel(QString::fromStdString(content.title), this);
    QFont big = title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    title_->setFont(big);
    title_->setAlignment(Qt::AlignHCenter);
    const std::string note = desktopSourceNote(page);
    QString text = flowing(note.empty() ? content.reason : note);
    // Not every desktop has a tray: the menu is on the notch itself, everywhere.
    if (page == PermissionPage::onboarding)
        text += QStringLiteral("\n\nRight-click the notch for its menu: settings, the display it shows on, and Quit.");
    text_ = new QLabel(text, this);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignHCenter);
    continue_ = new QPushButton(QString::fromStdString(content.continueTitle), this);
    continue_->setDefault(true);
    QObject::connect(continue_, &QPushButton::clicked, this, [continued = std::move(continued)] {
        if (continued) continued();
    });
    column->addWidget(symbol);
    column->addWidget(title_);
    column->addWidget(text_);
    column->addSpacing(8);
    column->addWidget(continue_);
}

namespace {

// A banner only for a source this desktop has: there is nothing to ask for one it lacks.
bool needsPermission(AppState& app, Context& ctx, PermissionBanner which) {
    Platform& p = ctx.platform();
    switch (which) {
        case PermissionBanner::calendar:
            if (!p.calendarStore()) return false;
            break;
        case PermissionBanner::location:
            if (!p.location()) return false;
            break;
        case PermissionBanner::bluetooth:
            if (!p.bluetooth()) return false;
            break;
    }
    return app.bannerNeeded(which);
}

SettingsBanner settingsBanner(AppState& app, Context& ctx, PermissionBanner which) {
    const BannerContent content = app.banner(which);
    SettingsBanner b{content.symbol, content.text, content.buttonTitle, [&app, which] { app.bannerAction(which); }};
    // A system settings pane that this desktop cannot open (the Mac's privacy panes, on Linux) is
    // not offered: once the user was asked, the banner only explains.
    UrlOpener* opener = ctx.platform().urlOpener();
    if (content.action == BannerAction::openSettings && !(opener && opener->canOpen(content.settingsURL)))
        b.button.clear();
    return b;
}

}  // namespace

void installPermissionBanners(SettingsWindow& window, AppState& app, Context& ctx) {
    auto banners = [&app, &ctx](std::vector<std::pair<PermissionBanner, bool>> wanted) {
        return [&app, &ctx, wanted] {
            std::vector<SettingsBanner> out;
            for (const auto& [which, shown] : wanted)
                if (shown && needsPermission(app, ctx, which)) out.push_back(settingsBanner(app, ctx, which));
            return out;
        };
    };
    Defaults& d = ctx.defaults();
    window.setBanners(
        SettingsTab::calendar,
        [&d, banners] {
            return banners({{PermissionBanner::calendar, true},
                            {PermissionBanner::location, d.get(keys::notifyWhenTimeToLeave)}})();
        },
        {"hasPromptedCalendarPermission", "hasPromptedLocationPermission", "notifyWhenTimeToLeave"});
    window.setBanners(
        SettingsTab::lockScreen,
        [&d, banners] { return banners({{PermissionBanner::location, d.get(keys::allowWeatherWidgetWhenLocked)}})(); },
        {"hasPromptedLocationPermission", "allowWeatherWidgetWhenLocked"});
    window.setBanners(SettingsTab::connectivity, banners({{PermissionBanner::bluetooth, true}}),
                      {"hasPromptedBluetoothPermission"});
    // Answers to a prompt arrive outside the settings, through the sources.
    auto refresh = [&window](const auto&, const Animation*) { window.refreshBanners(); };
    window.keep(ctx.calendar().authorizationStatus.observe(refresh));
    window.keep(ctx.weather().authorizationStatus.observe(refresh));
    window.keep(ctx.connectivity().authorizationStatus.observe(refresh));
}

void centreOnNotchScreen(QWidget& window, Context& ctx) {
    const auto screen = ctx.notch().targetScreen();
    if (!screen) return;
    const QRect area = QtScreens::toToolkit(screen->visibleFrame);
    window.adjustSize();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

void registerSettingsWindows(DesktopShell& shell, Context& ctx) {
    shell.registerWindow(AppState::kSettings, [&ctx]() -> std::unique_ptr<QWidget> {
        auto window = std::make_unique<SettingsWindow>(ctx);
        installPermissionBanners(*window, ctx.appState(), ctx);
        return window;
    });
    for (PermissionPage page : {PermissionPage::music, PermissionPage::browser, PermissionPage::bluetooth,
                                PermissionPage::calendar, PermissionPage::onboarding}) {
        shell.registerWindow(windowName(page), [&ctx, page]() -> std::unique_ptr<QWidget> {
            AppState& app = ctx.appState();
            // Continue closes this window (later, by the shell) as the chain moves on.
            auto window = std::make_unique<PermissionPageWindow>(page, pageContent(page, app.appName()),
                                                                 [&app, page] { app.continuePage(page); });
            centreOnNotchScreen(*window, ctx);
            return window;
        });
    }
}

}  // namespace halvyn
