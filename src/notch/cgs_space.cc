#include "notch/cgs_space.h"

#include <vector>

namespace halvyn {

CGSSpace::CGSSpace(OverlayPlacement* server, int level) : server_(server) {
    if (!server_) return;
    identifier_ = server_->createSpace();
    server_->setSpaceLevel(identifier_, level);
    server_->showSpaces({identifier_});
}

CGSSpace::~CGSSpace() {
    if (!server_) return;
    server_->hideSpaces({identifier_});
    server_->destroySpace(identifier_);
}

void CGSSpace::setWindows(std::set<WindowId> windows) {
    std::vector<WindowId> left, joined;
    for (auto w : windows_)
        if (!windows.count(w)) left.push_back(w);
    for (auto w : windows)
        if (!windows_.count(w)) joined.push_back(w);
    windows_ = std::move(windows);
    if (!server_) return;
    if (!left.empty()) server_->removeWindowsFromSpaces(left, {identifier_});
    if (!joined.empty()) server_->addWindowsToSpaces(joined, {identifier_});
}

void CGSSpace::add(WindowId window) {
    auto next = windows_;
    next.insert(window);
    setWindows(std::move(next));
}

void CGSSpace::remove(WindowId window) {
    auto next = windows_;
    next.erase(window);
    setWindows(std::move(next));
}

}  // namespace halvyn
