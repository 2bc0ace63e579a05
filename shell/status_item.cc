#include "shell/status_item.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "app/context.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/outline.h"

namespace halvyn {

namespace {

// Rebuilds the icon whenever the desktop's palette changes (a switch between light and dark).
class PaletteWatch final : public QObject {
public:
    explicit PaletteWatch(std::function<void()> changed) : changed_(std::move(changed)) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == qApp && e->type() == QEvent::ApplicationPaletteChange) changed_();
        return false;
    }

private:
    std::function<void()> changed_;
};

}  // namespace

QIcon statusIcon(const QPalette& palette) {
    // The notch's silhouette under the screen edge, in the desktop's text colour: dark on a
    // light panel, light on a dark one.
    const QColor ink = palette.color(QPalette::Active, QPalette::WindowText);
    QIcon drawn;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 64.0, side / 64.0);
        p.translate(0, 14);
        p.fillRect(QRectF(2, 0, 60, 5), ink);
        p.fillPath(notchPath(64, 56, 32, 6, 12), ink);
        drawn.addPixmap(pm);
    }
    // Drawn rather than taken from the installed symbolic icon: a tray that shows pixmaps as
    // they are would not recolour it.
    return drawn;
}

std::vector<StatusMenuItem> statusMenu(Context& ctx, const std::string& appName, const std::string& version) {
    std::vector<StatusMenuItem> items;
    const bool firstLaunch = ctx.defaults().get(keys::isFirstLaunch);
    items.push_back({.separator = true});
    items.push_back({.title = "Version " + version, .enabled = false});
    if (!firstLaunch) items.push_back({.title = "Settings...", .shortcut = ",", .action = StatusMenuItem::Action::settings});
    items.push_back({.separator = true});
    items.push_back({.title = "Quit " + appName, .shortcut = "q", .action = StatusMenuItem::Action::quit});
    // A menu never starts with a separator.
    if (!items.empty() && items.front().separator) items.erase(items.begin());
    return items;
}

StatusItem::StatusItem(Context& ctx, std::string appName, std::string version)
    : ctx_(ctx), appName_(std::move(appName)), version_(std::move(version)), menu_(std::make_unique<QMenu>()) {
    menu_->setMinimumWidth(160);
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] { rebuild(); });
    rebuild();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        ctx_.logger("AppState").error("No system tray on this desktop: the status menu is not shown");
        return;
    }
    icon_ = std::make_unique<QSystemTrayIcon>(statusIcon(QGuiApplication::palette()));
    paletteWatch_ = std::make_unique<PaletteWatch>([this] {
        if (icon_) icon_->setIcon(statusIcon(QGuiApplication::palette()));
    });
    qApp->installEventFilter(paletteWatch_.get());
    icon_->setToolTip(QString::fromStdString(appName_));
    icon_->setContextMenu(menu_.get());
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, menu_.get(), [this](QSystemTrayIcon::ActivationReason r) {
        // A left click opens the same menu as a right click.
        if (r == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
    });
    icon_->setVisible(!ctx_.defaults().get(keys::hideMenuBarIcon));
    hideObserver_ = ctx_.defaults().observe(keys::hideMenuBarIcon, [this](const bool&, const bool& hide) {
        if (icon_) icon_->setVisible(!hide);
    });
}

StatusItem::~StatusItem() {
    if (paletteWatch_ && qApp) qApp->removeEventFilter(paletteWatch_.get());
}

bool StatusItem::available() const { return icon_ != nullptr; }
bool StatusItem::visible() const { return icon_ && icon_->isVisible(); }

void StatusItem::rebuild() {
    menu_->clear();
    for (const StatusMenuItem& item : statusMenu(ctx_, appName_, version_)) {
        if (item.separator) {
            menu_->addSeparator();
            continue;
        }
        QAction* a = menu_->addAction(QString::fromStdString(item.title));
        a->setEnabled(item.enabled);
        if (!item.enabled) {
            QFont f = a->font();
            f.setPointSizeF(f.pointSizeF() * 0.85);
            a->setFont(f);
        }
        if (!item.shortcut.empty()) a->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(item.shortcut)));
        switch (item.action) {
            case StatusMenuItem::Action::quit:
                QObject::connect(a, &QAction::triggered, qApp, [] { QApplication::quit(); });
                break;
            case StatusMenuItem::Action::settings:
                QObject::connect(a, &QAction::triggered, menu_.get(), [this] {
                    ctx_.logger("SettingsController").info("The settings window is not part of this build yet");
                });
                break;
            case StatusMenuItem::Action::none: break;
        }
    }
}

}  // namespace halvyn
