#include "shell/layer_shell.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPlatformSurfaceEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <algorithm>
#include <cstring>

#include <wayland-client-protocol.h>

#include "shell/wayland_session.h"
// The protocol names an argument "namespace".
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace
#include "xdg-shell-client.h"

namespace halvyn {

namespace {

// How long the compositor is given to answer the program's questions and configure the surface.
constexpr int kAnswerMs = 3000;

void* nativeResource(const char* name, QWindow* window = nullptr, QScreen* screen = nullptr) {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!native) return nullptr;
    if (window) return native->nativeResourceForWindow(name, window);
    if (screen) return native->nativeResourceForScreen(name, screen);
    return native->nativeResourceForIntegration(name);
}

struct Globals {
    zwlr_layer_shell_v1* shell = nullptr;
    xdg_wm_base* wm = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto& g = *static_cast<Globals*>(data);
    if (!interface) return;
    auto bind = [&](const wl_interface& i) {
        return wl_registry_bind(registry, name, &i, std::min<uint32_t>(version, static_cast<uint32_t>(i.version)));
    };
    if (!g.shell && std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0)
        g.shell = static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface));
    else if (!g.wm && std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        g.wm = static_cast<xdg_wm_base*>(bind(xdg_wm_base_interface));
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry{onGlobal, onGlobalRemove};

const zwlr_layer_surface_v1_listener kLayerSurface{&LayerShellPanel::onConfigure, &LayerShellPanel::onClosed};
const xdg_wm_base_listener kWmBase{[](void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }};

}  // namespace

std::unique_ptr<LayerShellPanel> LayerShellPanel::attach(QWidget& panel) {
    if (QGuiApplication::platformName() != QLatin1String("wayland") || !qEnvironmentVariableIsSet(kLayerShellBypassVariable))
        return nullptr;
    auto* display = static_cast<wl_display*>(nativeResource("wl_display"));
    if (!display) return nullptr;
    // The program's own objects live on a queue of their own, so that waiting for the compositor
    // here never runs the toolkit's handlers.
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    Globals globals;
    wl_registry_add_listener(registry, &kRegistry, &globals);
    waylandRoundtrip(display, queue, kAnswerMs);
    wl_registry_destroy(registry);
    if (!globals.shell) {
        // The toolkit gives the panel an ordinary window's role after all.
        if (globals.wm) xdg_wm_base_destroy(globals.wm);
        qunsetenv(kLayerShellBypassVariable);
        wl_event_queue_destroy(queue);
        return nullptr;
    }
    if (globals.wm) {
        // Its pings arrive with the toolkit's events, on the main thread.
        xdg_wm_base_add_listener(globals.wm, &kWmBase, nullptr);
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(globals.wm), nullptr);
    }
    return std::unique_ptr<LayerShellPanel>(new LayerShellPanel(panel, display, queue, globals.shell, globals.wm));
}

LayerShellPanel::LayerShellPanel(QWidget& panel, wl_display* display, wl_event_queue* queue, zwlr_layer_shell_v1* shell,
                                 xdg_wm_base* wm)
    : panel_(panel), display_(display), queue_(queue), shell_(shell), wm_(wm) {
    panel_.winId();  // the toolkit's window, and with it the surface, exist from here on
    panel_.installEventFilter(this);
    if (QWindow* w = panel_.windowHandle()) w->installEventFilter(this);
}

LayerShellPanel::~LayerShellPanel() {
    panel_.removeEventFilter(this);
    if (QWindow* w = panel_.windowHandle()) w->removeEventFilter(this);
    popup_.reset();
    unplace();
    if (wm_) xdg_wm_base_destroy(wm_);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(shell_)) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
        zwlr_layer_shell_v1_destroy(shell_);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell_));
    wl_display_flush(display_);
    wl_event_queue_destroy(queue_);
}

QScreen* LayerShellPanel::chosenScreen() const {
    // The window server moves the panel onto the screen it is to show on.
    if (QScreen* s = QGuiApplication::screenAt(panel_.geometry().center())) return s;
    return QGuiApplication::primaryScreen();
}

bool LayerShellPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_.windowHandle()) {
        // The first frame after showing follows the exposure: the surface is a layer surface,
        // configured, before the toolkit attaches anything to it.
        if (event->type() == QEvent::Expose && !surface_ && panel_.isVisible()) place();
        if (event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            unplace();
        return false;
    }
    if (watched != &panel_) return false;
    // Hidden, the toolkit's surface is gone; it makes a new one when the panel shows again.
    if (event->type() == QEvent::Hide) unplace();
    // A layer surface stays on the output it was made for: moved to another screen, the panel is
    // shown again there. Posted: the move may come from inside the window server.
    if (event->type() == QEvent::Move && panel_.isVisible() && chosenScreen() != placedOn_ && !moving_) {
        moving_ = true;
        QTimer::singleShot(0, this, [this] {
            moving_ = false;
            if (!panel_.isVisible() || chosenScreen() == placedOn_) return;
            panel_.hide();
            panel_.show();
        });
    }
    return false;
}

void LayerShellPanel::place() {
    auto* surface = static_cast<wl_surface*>(nativeResource("surface", panel_.windowHandle()));
    if (!surface) return;
    QScreen* screen = chosenScreen();
    auto* output = screen ? static_cast<wl_output*>(nativeResource("output", nullptr, screen)) : nullptr;
    surface_ = zwlr_layer_shell_v1_get_layer_surface(shell_, surface, output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                     "halvyn-notch");
    zwlr_layer_surface_v1_add_listener(surface_, &kLayerSurface, this);
    zwlr_layer_surface_v1_set_size(surface_, static_cast<uint32_t>(std::max(1, panel_.width())),
                                   static_cast<uint32_t>(std::max(1, panel_.height())));
    // Anchored to the top edge alone: the compositor centres it along that edge.
    zwlr_layer_surface_v1_set_anchor(surface_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP);
    zwlr_layer_surface_v1_set_exclusive_zone(surface_, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(surface_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    placedOn_ = screen;
    applyInputRegion();
    // Committed bare, the surface is configured; only then may a frame be attached.
    wl_surface_commit(surface);
    waylandRoundtrip(display_, queue_, kAnswerMs);
    // Later configurations (and the compositor closing the surface) arrive with the toolkit's
    // events, on the main thread.
    if (surface_) wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(surface_), nullptr);
}

void LayerShellPanel::unplace() {
    popup_.reset();  // a popup goes with its parent
    if (!surface_) return;
    zwlr_layer_surface_v1_destroy(surface_);
    surface_ = nullptr;
    placedOn_ = nullptr;
}

void LayerShellPanel::setInputRegion(const QRegion& region) {
    input_ = region;
    hasInput_ = true;
    applyInputRegion();
}

void LayerShellPanel::applyInputRegion() {
    if (!surface_ || !hasInput_) return;
    auto* surface = static_cast<wl_surface*>(nativeResource("surface", panel_.windowHandle()));
    auto* compositor = static_cast<wl_compositor*>(nativeResource("compositor"));
    if (!surface || !compositor) return;
    // Surface coordinates are the panel's own, whatever the scale of its buffers.
    wl_region* region = wl_compositor_create_region(compositor);
    for (const QRect& r : input_) wl_region_add(region, r.x(), r.y(), r.width(), r.height());
    wl_surface_set_input_region(surface, region);
    wl_region_destroy(region);
}

void LayerShellPanel::onConfigure(void*, zwlr_layer_surface_v1* surface, uint32_t serial, uint32_t, uint32_t) {
    // The size asked for is the panel's own, so any size the compositor suggests is taken as it is.
    zwlr_layer_surface_v1_ack_configure(surface, serial);
}

void LayerShellPanel::onClosed(void* data, zwlr_layer_surface_v1*) {
    // The compositor took the surface away (its output went): it is made again when the panel is
    // next shown or moved.
    auto* self = static_cast<LayerShellPanel*>(data);
    self->unplace();
}

// The menu's window as a popup of the layer surface: the toolkit gives it no role of its own (the
// bypass hint, while it shows), and it gets the popup role here before its first frame.
class LayerShellPanel::Popup final : public QObject {
public:
    Popup(LayerShellPanel& panel, QMenu& menu, QPoint at) : panel_(panel), menu_(&menu), at_(at) {
        menu.setWindowFlag(Qt::BypassWindowManagerHint, true);
        menu.winId();
        menu.installEventFilter(this);
        if (QWindow* w = menu.windowHandle()) w->installEventFilter(this);
    }
    ~Popup() override {
        end();
        if (!menu_) return;
        menu_->removeEventFilter(this);
        if (QWindow* w = menu_->windowHandle()) w->removeEventFilter(this);
        if (menu_->isVisible()) menu_->hide();
        // Shown any other way later (the tray's own click), it is an ordinary popup again.
        menu_->setWindowFlag(Qt::BypassWindowManagerHint, false);
    }
    // Where the toolkit thinks it goes does not matter: the compositor places it.
    void show() { menu_->popup(panel_.panel_.mapToGlobal(at_)); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (menu_ && watched == menu_->windowHandle()) {
            if (event->type() == QEvent::Expose && !popup_ && menu_->isVisible()) make();
            // The roles go before the toolkit takes the surface away on hiding.
            if (event->type() == QEvent::Hide) end();
            if (event->type() == QEvent::PlatformSurface &&
                static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                    QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
                end();
        } else if (watched == menu_ && event->type() == QEvent::Hide) {
            end();
            // Closed (an item chosen, or a click elsewhere): this popup is done.
            QTimer::singleShot(0, &panel_, [p = &panel_, self = this] {
                if (p->popup_.get() == self) p->popup_.reset();
            });
        }
        return false;
    }

private:
    static void onConfigure(void*, xdg_surface* surface, uint32_t serial) { xdg_surface_ack_configure(surface, serial); }
    static void onPopupConfigure(void*, xdg_popup*, int32_t, int32_t, int32_t, int32_t) {}
    static void onDone(void* data, xdg_popup*) {
        auto* self = static_cast<Popup*>(data);
        if (self->menu_) self->menu_->hide();
    }
    static void onRepositioned(void*, xdg_popup*, uint32_t) {}

    void make() {
        auto* surface = static_cast<wl_surface*>(nativeResource("surface", menu_->windowHandle()));
        if (!surface || !panel_.surface_) return;
        static const xdg_surface_listener surfaceListener{&Popup::onConfigure};
        static const xdg_popup_listener popupListener{&Popup::onPopupConfigure, &Popup::onDone, &Popup::onRepositioned};
        auto* wrapper = static_cast<xdg_wm_base*>(wl_proxy_create_wrapper(panel_.wm_));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), panel_.queue_);
        surface_ = xdg_wm_base_get_xdg_surface(wrapper, surface);
        xdg_positioner* positioner = xdg_wm_base_create_positioner(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        xdg_surface_add_listener(surface_, &surfaceListener, this);
        // Below and right of the pointer, moved or flipped by the compositor to stay on the output.
        xdg_positioner_set_size(positioner, std::max(1, menu_->width()), std::max(1, menu_->height()));
        xdg_positioner_set_anchor_rect(positioner, at_.x(), at_.y(), 1, 1);
        xdg_positioner_set_anchor(positioner, XDG_POSITIONER_ANCHOR_TOP_LEFT);
        xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
        xdg_positioner_set_constraint_adjustment(positioner, XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_X |
                                                                 XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y |
                                                                 XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_Y);
        popup_ = xdg_surface_get_popup(surface_, nullptr, positioner);
        xdg_positioner_destroy(positioner);
        xdg_popup_add_listener(popup_, &popupListener, this);
        zwlr_layer_surface_v1_get_popup(panel_.surface_, popup_);
        // The click that opened it: a click anywhere else then closes it.
        auto* seat = static_cast<wl_seat*>(nativeResource("wl_seat"));
        const auto serial = static_cast<uint32_t>(reinterpret_cast<quintptr>(nativeResource("serial")));
        if (seat && serial) xdg_popup_grab(popup_, seat, serial);
        wl_surface_commit(surface);
        waylandRoundtrip(panel_.display_, panel_.queue_, kAnswerMs);
        // Closing and later configurations arrive with the toolkit's events, on the main thread.
        if (popup_) wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(popup_), nullptr);
        if (surface_) wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(surface_), nullptr);
    }
    void end() {
        if (popup_) xdg_popup_destroy(popup_);
        if (surface_) xdg_surface_destroy(surface_);
        popup_ = nullptr;
        surface_ = nullptr;
    }

    LayerShellPanel& panel_;
    QPointer<QMenu> menu_;
    QPoint at_;
    xdg_surface* surface_ = nullptr;
    xdg_popup* popup_ = nullptr;
};

bool LayerShellPanel::popup(QMenu& menu, QPoint at) {
    if (!wm_ || !surface_) return false;
    popup_.reset();
    popup_ = std::make_unique<Popup>(*this, menu, at);
    popup_->show();
    return true;
}

}  // namespace halvyn
