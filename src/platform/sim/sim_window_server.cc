#include "platform/sim/sim_window_server.h"

namespace halvyn {

namespace {
Value rectValue(const Rect& r) {
    Value a = Value::array();
    a.push(r.x);
    a.push(r.y);
    a.push(r.width);
    a.push(r.height);
    return a;
}
}  // namespace

void SimWindowServer::record(const Window& w, const char* action) {
    if (!effects_) return;
    effects_->record("window", {{"owner", Value(w.config.owner)}, {"action", Value(action)}, {"frame", rectValue(w.frame)}});
}

WindowId SimWindowServer::createPanel(const PanelConfig& config) {
    const WindowId id = nextWindow_++;
    Window w;
    w.config = config;
    w.frame = config.contentRect;
    windows_.emplace(id, std::move(w));
    return id;
}

void SimWindowServer::orderFrontRegardless(WindowId id) {
    auto it = windows_.find(id);
    if (it == windows_.end() || it->second.closed || it->second.open) return;
    it->second.open = true;
    record(it->second, "open");
}

void SimWindowServer::setSharingType(WindowId id, int sharingType) {
    auto it = windows_.find(id);
    if (it != windows_.end()) it->second.sharingType = sharingType;
}

void SimWindowServer::setFrame(WindowId id, const Rect& frame) {
    auto it = windows_.find(id);
    if (it == windows_.end() || it->second.closed || it->second.frame == frame) return;
    it->second.frame = frame;
    if (it->second.open) record(it->second, "frame");
}

void SimWindowServer::close(WindowId id) {
    auto it = windows_.find(id);
    if (it == windows_.end() || it->second.closed) return;
    const bool wasOpen = it->second.open;
    it->second.closed = true;
    it->second.open = false;
    for (auto& [sid, s] : spaces_) s.windows.erase(id);
    if (wasOpen) record(it->second, "close");
}

SpaceId SimWindowServer::createSpace() {
    const SpaceId id = nextSpace_++;
    spaces_.emplace(id, Space{});
    return id;
}

void SimWindowServer::setSpaceLevel(SpaceId id, int level) {
    auto it = spaces_.find(id);
    if (it != spaces_.end()) it->second.level = level;
}

void SimWindowServer::showSpaces(const std::vector<SpaceId>& ids) {
    for (auto id : ids) {
        auto it = spaces_.find(id);
        if (it != spaces_.end()) it->second.shown = true;
    }
}

void SimWindowServer::hideSpaces(const std::vector<SpaceId>& ids) {
    for (auto id : ids) {
        auto it = spaces_.find(id);
        if (it != spaces_.end()) it->second.shown = false;
    }
}

void SimWindowServer::destroySpace(SpaceId id) {
    auto it = spaces_.find(id);
    if (it == spaces_.end()) return;
    it->second.destroyed = true;
    it->second.shown = false;
    it->second.windows.clear();
}

void SimWindowServer::addWindowsToSpaces(const std::vector<WindowId>& windows, const std::vector<SpaceId>& ids) {
    for (auto sid : ids) {
        auto it = spaces_.find(sid);
        if (it == spaces_.end() || it->second.destroyed) continue;
        for (auto w : windows) {
            auto wi = windows_.find(w);
            if (wi != windows_.end() && !wi->second.closed) it->second.windows.insert(w);
        }
    }
}

void SimWindowServer::removeWindowsFromSpaces(const std::vector<WindowId>& windows,
                                              const std::vector<SpaceId>& ids) {
    for (auto sid : ids) {
        auto it = spaces_.find(sid);
        if (it == spaces_.end()) continue;
        for (auto w : windows) it->second.windows.erase(w);
    }
}

std::vector<WindowInfo> SimWindowServer::onScreenWindows() const {
    std::vector<WindowInfo> out;
    for (auto& [id, w] : windows_)
        if (w.open) out.push_back({id, w.config.owner});
    out.insert(out.end(), otherWindows.begin(), otherWindows.end());
    return out;
}

const SimWindowServer::Window* SimWindowServer::window(WindowId id) const {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : &it->second;
}

const SimWindowServer::Space* SimWindowServer::space(SpaceId id) const {
    auto it = spaces_.find(id);
    return it == spaces_.end() ? nullptr : &it->second;
}

std::vector<WindowId> SimWindowServer::openWindows(const std::string& owner) const {
    std::vector<WindowId> out;
    for (auto& [id, w] : windows_)
        if (w.open && w.config.owner == owner) out.push_back(id);
    return out;
}

}  // namespace halvyn
