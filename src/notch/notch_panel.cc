#include "notch/notch_panel.h"

namespace halvyn {

OverlayPanel::OverlayPanel(WindowServer* server, const PanelConfig& config) : server_(server) {
    if (server_) id_ = server_->createPanel(config);
}

void OverlayPanel::orderFrontRegardless() {
    if (server_) server_->orderFrontRegardless(id_);
}

void OverlayPanel::setFrame(const Rect& frame) {
    if (server_) server_->setFrame(id_, frame);
}

void OverlayPanel::close() {
    if (server_) server_->close(id_);
}

PanelConfig NotchPanel::config() {
    PanelConfig c;
    c.owner = "Notch";
    c.styleMask = 0x8080;
    c.backing = 2;
    c.deferred = true;
    c.hasShadow = false;
    c.clearBackground = true;
    c.opaque = false;
    c.movable = false;
    c.releasedWhenClosed = false;
    c.level = 1000;
    c.collectionBehavior = 0x151;
    c.canBecomeKey = false;
    c.canBecomeMain = false;
    c.contentRect = Rect{};
    return c;
}

Rect NotchPanel::frameFor(const Screen& screen) {
    return {screen.frame.midX() - kWidth / 2, screen.frame.maxY() - kHeight, kWidth, kHeight};
}

void NotchPanel::setSharingType(bool hideFromScreenCapture) {
    if (server_) server_->setSharingType(id_, hideFromScreenCapture ? 0 : 1);
}

}  // namespace halvyn
