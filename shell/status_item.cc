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

#include "app/app_state.h"
#include "runtime/logger.h"
#include "shell/outline_painter.h"
#include "shell/settings_table.h"
#include "shell/symbols.h"

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

namespace {

// The image assets the menu names, as the desktop's icon theme calls them.
const char* themeIconFor(const std::string& image) {
    static const std::pair<const char*, const char*> table[] = {
        {"MusicAppIcon18x18", "multimedia-audio-player"}, {"SpotifyAppIcon18x18", "spotify-client"},
        {"SystemAppIcon18x18", "applications-multimedia"}, {"SafariAppIcon18x18", "web-browser"},
        {"ChromeAppIcon18x18", "google-chrome"},          {"CalendarAppIcon18x18", "x-office-calendar"},
    };
    for (auto& [asset, icon] : table)
        if (image == asset) return icon;
    return nullptr;
}

QIcon symbolIcon(const std::string& symbol, const QColor& color, double points) {
    const int side = points > 0 ? static_cast<int>(points + 2) : 16;
    return QIcon(QPixmap::fromImage(symbolImage(symbol, QSize(side * 2, side * 2), color)));
}

// A short text drawn as the item's image (the playback speed).
QIcon textIcon(const std::string& text, const QColor& color) {
    QPixmap pm(64, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    QFont f = QApplication::font();
    f.setPixelSize(22);
    f.setBold(true);
    p.setFont(f);
    p.setPen(color);
    p.drawText(pm.rect(), Qt::AlignCenter, QString::fromStdString(text));
    return QIcon(pm);
}

QIcon itemIcon(const MenuItem& item, const QColor& ink) {
    if (!item.symbol.empty())
        return symbolIcon(item.symbol, item.accentBadge ? QColor(0xFF, 0x2D, 0x55) : ink, item.symbolPointSize);
    if (item.image.empty()) return {};
    if (item.imageIsText) return textIcon(item.image, ink);
    if (const char* name = themeIconFor(item.image)) {
        const QIcon themed = QIcon::fromTheme(QString::fromLatin1(name));
        if (!themed.isNull()) return themed;
    }
    // An image that cannot be loaded shows its fallback symbol, or nothing.
    if (!item.fallbackSymbol.empty()) return symbolIcon(item.fallbackSymbol, ink, 0);
    return {};
}

}  // namespace

void renderMenu(QMenu& menu, const Menu& model) {
    const QColor ink = menu.palette().color(QPalette::Active, QPalette::WindowText);
    for (const MenuItem& item : model) {
        if (item.separator) {
            // Two in a row, or one at an end, show as one or none (the menu collapses them).
            menu.addSeparator();
            continue;
        }
        const QString title = QString::fromStdString(item.title);
        QAction* a = nullptr;
        if (!item.submenu.empty()) {
            QMenu* sub = menu.addMenu(title);
            renderMenu(*sub, item.submenu);
            a = sub->menuAction();
        } else {
            a = menu.addAction(title);
            if (item.action) QObject::connect(a, &QAction::triggered, &menu, [action = item.action] { action(); });
        }
        a->setEnabled(item.enabled);
        const QIcon icon = itemIcon(item, ink);
        if (!icon.isNull()) a->setIcon(icon);
        if (item.checked) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        if (item.smallFont) {
            QFont f = a->font();
            f.setPointSizeF(f.pointSizeF() * 0.85);
            a->setFont(f);
        }
        if (!item.key.empty())
            a->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(item.key).toUpper()));
    }
}

StatusItem::StatusItem(AppState& state, const Logger& log)
    : state_(state), menu_(std::make_unique<QMenu>()), toolTip_(QString::fromStdString(state.appName())) {
    menu_->setMinimumWidth(160);
    menu_->setSeparatorsCollapsible(true);
    // Filled when it opens, and once after start-up (DesktopApp): its icons cost more than the
    // notch's first frame may wait for.
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] { rebuild(); });
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        log.info("No system tray on this desktop: the status menu opens with a right click on the notch");
        return;
    }
    icon_ = std::make_unique<QSystemTrayIcon>(statusIcon(QGuiApplication::palette()));
    paletteWatch_ = std::make_unique<PaletteWatch>([this] {
        if (icon_) icon_->setIcon(statusIcon(QGuiApplication::palette()));
    });
    qApp->installEventFilter(paletteWatch_.get());
    icon_->setToolTip(toolTip_);
    icon_->setContextMenu(menu_.get());
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, menu_.get(), [this](QSystemTrayIcon::ActivationReason r) {
        // A left click opens the same menu as a right click.
        if (r == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
    });
}

StatusItem::~StatusItem() {
    if (paletteWatch_ && qApp) qApp->removeEventFilter(paletteWatch_.get());
}

bool StatusItem::available() const { return icon_ != nullptr; }
bool StatusItem::visible() const { return icon_ && icon_->isVisible(); }

void StatusItem::setVisible(bool visible) {
    if (icon_) icon_->setVisible(visible);
}

void StatusItem::setSaveProblem(const std::string& problem) {
    toolTip_ = QString::fromStdString(state_.appName());
    if (!problem.empty()) toolTip_ += QStringLiteral("\n") + QString::fromStdString(saveProblemText(problem));
    if (icon_) icon_->setToolTip(toolTip_);
}

QString StatusItem::toolTip() const { return toolTip_; }


void StatusItem::rebuild() {
    menu_->clear();
    renderMenu(*menu_, state_.statusMenu());
}

}  // namespace halvyn
