#include "shell/wayland_session.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <wayland-client-core.h>
#include <wayland-client-protocol.h>

namespace halvyn {

namespace {
constexpr std::string_view kLayerShell = "zwlr_layer_shell_v1";
}

SessionPlan planSession(std::string_view requested, std::optional<bool> layerShell, bool x11) {
    SessionPlan plan;
    const bool askedWayland = requested.substr(0, 7) == "wayland";
    // No compositor answered, or another platform was asked for by name: the toolkit decides.
    if (!layerShell || (!requested.empty() && !askedWayland)) return plan;
    if (*layerShell) {
        // The compositor places the notch itself: a surface on its overlay layer. Without the
        // toolkit's Wayland plugin the X server beside it, if any, takes over.
        if (!askedWayland) plan.platform = x11 ? "wayland;xcb" : "wayland";
        plan.layerShell = true;
        plan.note = "The notch is placed on the Wayland compositor's overlay layer, at the top of the screen";
        return plan;
    }
    if (!askedWayland && x11) {
        plan.platform = "xcb";
        plan.note = "This Wayland compositor offers no layer shell to place the notch with: it is placed "
                    "through XWayland instead";
        return plan;
    }
    if (!askedWayland) plan.platform = "wayland";
    plan.placeable = false;
    plan.note = x11 ? "The notch cannot be placed on this Wayland compositor: it shows as an ordinary window "
                      "(unset QT_QPA_PLATFORM to have it placed through XWayland); everything else works"
                    : "The notch cannot be placed on this Wayland compositor (no X server beside it): it shows as an "
                      "ordinary window; everything else works";
    return plan;
}

namespace {

bool layerShellNamed(const char* interface) {
    // The name is the compositor's: compared, never kept.
    return interface && std::strncmp(interface, kLayerShell.data(), kLayerShell.size() + 1) == 0;
}

void onGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    if (layerShellNamed(interface)) *static_cast<bool*>(data) = true;
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry{onGlobal, onGlobalRemove};

void onDone(void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSync{onDone};

}  // namespace

bool waylandRoundtrip(wl_display* display, wl_event_queue* queue, int timeoutMs) {
    bool done = false;
    // The sync is answered after every request before it: its callback goes to the queue waited on.
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    if (!wrapper) return false;
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_callback* sync = wl_display_sync(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    wl_callback_add_listener(sync, &kSync, &done);
    auto dispatch = [&] {
        return (queue ? wl_display_dispatch_queue_pending(display, queue) : wl_display_dispatch_pending(display)) >= 0;
    };
    // A compositor that never answers costs at most the time given, never a hung program.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool failed = false;
    while (!done && !failed) {
        if (wl_display_flush(display) < 0 && errno != EAGAIN) break;
        if ((queue ? wl_display_prepare_read_queue(display, queue) : wl_display_prepare_read(display)) != 0) {
            failed = !dispatch();
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{wl_display_get_fd(display), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            break;
        }
        failed = wl_display_read_events(display) < 0 || !dispatch();
    }
    wl_callback_destroy(sync);
    return done;
}

std::optional<bool> waylandOffersLayerShell(int timeoutMs) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return std::nullopt;
    bool layerShell = false;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &layerShell);
    // The compositor answers the sync after it has listed every global.
    const bool answered = waylandRoundtrip(display, nullptr, timeoutMs);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) return std::nullopt;
    return layerShell;
}

}  // namespace halvyn
