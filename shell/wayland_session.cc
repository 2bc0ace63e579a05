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
    if (!askedWayland && x11) {
        plan.platform = "xcb";
        plan.note = *layerShell ? "The notch is placed through XWayland, at the top of the screen"
                                : "This Wayland compositor offers no layer shell to place the notch with: it is placed "
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

struct Probe {
    bool layerShell = false;
    bool done = false;
};

void onGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    // The name is the compositor's: compared, never kept.
    if (interface && std::strncmp(interface, kLayerShell.data(), kLayerShell.size() + 1) == 0)
        static_cast<Probe*>(data)->layerShell = true;
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry{onGlobal, onGlobalRemove};

void onDone(void* data, wl_callback*, uint32_t) { static_cast<Probe*>(data)->done = true; }
const wl_callback_listener kSync{onDone};

}  // namespace

std::optional<bool> waylandOffersLayerShell(int timeoutMs) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return std::nullopt;
    Probe probe;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &probe);
    // The compositor answers the sync after it has listed every global.
    wl_callback* sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &kSync, &probe);
    // A compositor that never answers costs at most the time given, never a hung start.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool failed = false;
    while (!probe.done && !failed) {
        if (wl_display_flush(display) < 0 && errno != EAGAIN) break;
        if (wl_display_prepare_read(display) != 0) {
            failed = wl_display_dispatch_pending(display) < 0;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{wl_display_get_fd(display), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            break;
        }
        failed = wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0;
    }
    wl_callback_destroy(sync);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!probe.done) return std::nullopt;
    return probe.layerShell;
}

}  // namespace halvyn
