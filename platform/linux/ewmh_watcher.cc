#include "platform/linux/ewmh_watcher.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

namespace halvyn {

namespace {
enum Atom { activeWindow, wmState, fullscreen, wmPid, clientList, gtkAppId, utf8, atomCount };
const char* const kAtomNames[atomCount] = {"_NET_ACTIVE_WINDOW",       "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN",
                                           "_NET_WM_PID",              "_NET_CLIENT_LIST", "_GTK_APPLICATION_ID",
                                           "UTF8_STRING"};

std::string processName(std::int32_t pid) {
    if (pid <= 0) return {};
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}
}  // namespace

struct EwmhWatcher::X {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t atoms[atomCount] = {};
    std::unique_ptr<QSocketNotifier> notifier;
    bool saidLost = false;
    // Waiting for a reply reads the events that came before it into the connection's queue, where
    // the socket notifier cannot see them: every wait asks for one more pass over that queue.
    std::function<void()> afterReply;

    ~X() {
        notifier.reset();
        if (c) xcb_disconnect(c);
    }

    // A property's raw bytes with its type; empty when missing or the server fails.
    std::vector<std::uint8_t> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type, std::uint8_t format,
                                       xcb_atom_t* gotType = nullptr) const {
        auto cookie = xcb_get_property(c, 0, window, name, type, 0, 4096);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
        if (afterReply) afterReply();
        std::vector<std::uint8_t> out;
        if (reply) {
            // A property of another format than asked for is malformed, and read as missing.
            if (reply->format == format) {
                const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply));
                out.assign(data, data + xcb_get_property_value_length(reply));  // in bytes
            }
            if (gotType) *gotType = reply->type;
            std::free(reply);
        }
        return out;
    }
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) const {
        const auto bytes = property(window, name, type, 32);
        std::vector<std::uint32_t> out(bytes.size() / 4);
        if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * 4);
        return out;
    }
};

EwmhWatcher::EwmhWatcher(const std::optional<std::string>& display, Logger logger) : logger_(std::move(logger)) {
    const char* name = display ? display->c_str() : std::getenv("DISPLAY");
    if (!name || !*name) {
        logger_.error("No X display; fullscreen and the frontmost application are not followed");
        return;
    }
    auto x = std::make_unique<X>();
    int screenNumber = 0;
    x->c = xcb_connect(name, &screenNumber);
    if (xcb_connection_has_error(x->c)) {
        logger_.error("Cannot reach the X display %{public}s; fullscreen and the frontmost application are not followed",
                      std::string(name));
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x->c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    x->root = it.data->root;
    xcb_intern_atom_cookie_t cookies[atomCount];
    for (int i = 0; i < atomCount; ++i)
        cookies[i] = xcb_intern_atom(x->c, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])), kAtomNames[i]);
    for (int i = 0; i < atomCount; ++i) {
        if (auto* r = xcb_intern_atom_reply(x->c, cookies[i], nullptr)) {
            x->atoms[i] = r->atom;
            std::free(r);
        }
    }
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x->c, x->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x->c);
    x->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x->c), QSocketNotifier::Read);
    QObject::connect(x->notifier.get(), &QSocketNotifier::activated, x->notifier.get(), [this] { events(); });
    x_ = std::move(x);
    x_->afterReply = [this] { drainLater(); };
    refreshActive();
}

EwmhWatcher::~EwmhWatcher() = default;

bool EwmhWatcher::connected() const { return x_ && !xcb_connection_has_error(x_->c); }

void EwmhWatcher::lost() {
    if (!x_->saidLost) logger_.error("The X display went away; fullscreen and the frontmost application are not followed");
    x_->saidLost = true;
    x_->notifier->setEnabled(false);
    const bool wasFullscreen = fullscreen_;
    const bool hadActive = active_.has_value();
    fullscreen_ = false;
    active_.reset();
    if (wasFullscreen) fullscreenChanged_.emit();
    if (hadActive) activeChanged_.emit();
}

void EwmhWatcher::events() {
    if (!x_) return;
    bool active = false, state = false, clients = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(x_->c)) {
        if ((e->response_type & ~0x80) == XCB_PROPERTY_NOTIFY) {
            const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
            if (p->window == x_->root && p->atom == x_->atoms[activeWindow]) active = true;
            if (p->window == x_->root && p->atom == x_->atoms[clientList]) clients = true;
            if (active_ && p->window == active_->window && p->atom == x_->atoms[wmState]) state = true;
        }
        std::free(e);
    }
    if (xcb_connection_has_error(x_->c)) {
        lost();
        return;
    }
    if (active)
        refreshActive();
    else if (state)
        refreshFullscreen();
    if (clients) clientsChanged_.emit();
}

XWindowInfo EwmhWatcher::describe(std::uint32_t window) const {
    XWindowInfo info;
    info.window = window;
    const auto pid = x_->cardinals(window, x_->atoms[wmPid], XCB_ATOM_CARDINAL);
    if (!pid.empty()) info.pid = static_cast<std::int32_t>(pid[0]);
    const auto appId = x_->property(window, x_->atoms[gtkAppId], x_->atoms[utf8], 8);
    // WM_CLASS is "instance\0Class\0"; the class names the application.
    const auto wmClass = x_->property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8);
    std::string className;
    if (const auto zero = std::find(wmClass.begin(), wmClass.end(), 0); zero != wmClass.end()) {
        className.assign(zero + 1, std::find(zero + 1, wmClass.end(), 0));
    }
    info.applicationId = appId.empty() ? className : std::string(appId.begin(), std::find(appId.begin(), appId.end(), 0));
    info.name = processName(info.pid);
    if (info.name.empty()) info.name = className;
    return info;
}

void EwmhWatcher::refreshActive() {
    const auto ids = x_->cardinals(x_->root, x_->atoms[activeWindow], XCB_ATOM_WINDOW);
    std::optional<XWindowInfo> now;
    if (!ids.empty() && ids[0] != 0) {
        now = describe(ids[0]);
        // Its state changes (fullscreen) come as property events of that window.
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(x_->c, ids[0], XCB_CW_EVENT_MASK, &mask);
        xcb_flush(x_->c);
    }
    const bool changed = now != active_;
    active_ = std::move(now);
    refreshFullscreen();
    if (changed) activeChanged_.emit();
}

// One pass at a time is asked for, however many replies were waited for before it runs.
void EwmhWatcher::drainLater() {
    if (drainAsked_) return;
    drainAsked_ = true;
    QMetaObject::invokeMethod(
        x_->notifier.get(),
        [this] {
            drainAsked_ = false;
            events();
        },
        Qt::QueuedConnection);
}

void EwmhWatcher::refreshFullscreen() {
    bool now = false;
    if (active_)
        for (std::uint32_t atom : x_->cardinals(active_->window, x_->atoms[wmState], XCB_ATOM_ATOM))
            now = now || atom == x_->atoms[fullscreen];
    if (now == fullscreen_) return;
    fullscreen_ = now;
    fullscreenChanged_.emit();
}

std::vector<XWindowInfo> EwmhWatcher::clients() const {
    std::vector<XWindowInfo> out;
    if (!connected()) return out;
    for (std::uint32_t w : x_->cardinals(x_->root, x_->atoms[clientList], XCB_ATOM_WINDOW)) out.push_back(describe(w));
    return out;
}

}  // namespace halvyn
