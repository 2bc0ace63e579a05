#include "shell/qt_screens.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

#include "runtime/main_queue.h"

namespace halvyn {

namespace {

// The height of the coordinate space the system's y axis is measured in: the primary screen's
// bottom edge in toolkit coordinates.
int referenceBottom() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return 0;
    const QRect g = primary->geometry();
    return g.y() + g.height();
}

}  // namespace

QtScreens::QtScreens(MainQueue& main) : main_(main), receiver_(std::make_unique<QObject>()) {
    auto* app = qGuiApp;
    if (!app) return;
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    QObject::connect(app, &QGuiApplication::screenAdded, receiver_.get(), [this](QScreen* s) {
        watch(s);
        changed();
    });
    QObject::connect(app, &QGuiApplication::screenRemoved, receiver_.get(), [this](QScreen*) { changed(); });
    QObject::connect(app, &QGuiApplication::primaryScreenChanged, receiver_.get(), [this](QScreen*) { changed(); });
}

QtScreens::~QtScreens() = default;

void QtScreens::watch(QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, receiver_.get(), [this] { changed(); });
    QObject::connect(screen, &QScreen::availableGeometryChanged, receiver_.get(), [this] { changed(); });
}

void QtScreens::changed() {
    // Several signals arrive for one rearrangement; observers hear of it once, on the main queue.
    if (changePending_) return;
    changePending_ = true;
    main_.post([this, guard = lifetime_.token()] {
        if (!guard) return;
        changePending_ = false;
        parameters_.emit();
    });
}

Subscription QtScreens::observeParameters(std::function<void()> cb) { return parameters_.connect(std::move(cb)); }

std::uint32_t QtScreens::numberFor(const std::string& name) const {
    auto it = numbers_.find(name);
    if (it != numbers_.end()) return it->second;
    const auto n = static_cast<std::uint32_t>(numbers_.size() + 1);
    numbers_.emplace(name, n);
    return n;
}

bool QtScreens::isBuiltInName(const std::string& c) {
    return c.rfind("eDP", 0) == 0 || c.rfind("LVDS", 0) == 0 || c.rfind("DSI", 0) == 0;
}

Rect QtScreens::fromToolkit(const QRect& r) const {
    return Rect{static_cast<double>(r.x()), static_cast<double>(referenceBottom() - (r.y() + r.height())),
                static_cast<double>(r.width()), static_cast<double>(r.height())};
}

QRect QtScreens::toToolkit(const Rect& r) {
    const int w = static_cast<int>(std::lround(r.width)), h = static_cast<int>(std::lround(r.height));
    const int x = static_cast<int>(std::lround(r.x));
    const int y = static_cast<int>(std::lround(referenceBottom() - r.y - r.height));
    return QRect(x, y, w, h);
}

std::vector<Screen> QtScreens::screens() const {
    std::vector<Screen> out;
    if (!qGuiApp) return out;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        if (g.width() <= 0 || g.height() <= 0) continue;  // a placeholder for "no screen"
        Screen screen;
        const std::string name = s->name().toStdString();
        screen.displayNumber = numberFor(name);
        screen.builtIn = isBuiltInName(name);
        screen.mainDisplay = s == primary;
        screen.frame = fromToolkit(g);
        screen.visibleFrame = fromToolkit(s->availableGeometry());
        screen.safeAreaTop = 0;
        out.push_back(screen);
    }
    return out;
}

}  // namespace halvyn
