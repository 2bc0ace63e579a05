#include "shell/desktop_shell.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/app_state.h"
#include "shell/status_item.h"

namespace halvyn {

// Hears a window closing; once it is really gone (a window may refuse to close), the
// application state is told.
class DesktopShell::CloseWatch final : public QObject {
public:
    CloseWatch(DesktopShell& shell, std::string name) : shell_(shell), name_(std::move(name)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            QPointer<QWidget> w = qobject_cast<QWidget*>(watched);
            // Decided after the window handled the event; never inside it.
            QTimer::singleShot(0, this, [this, w] {
                if (!w || !w->isVisible()) shell_.closedByUser(name_);
            });
        }
        return false;
    }

private:
    DesktopShell& shell_;
    std::string name_;
};

DesktopShell::DesktopShell(AppState& state, StatusItem* status) : state_(state), status_(status) {}

DesktopShell::~DesktopShell() {
    watches_.clear();
    open_.clear();
}

void DesktopShell::registerWindow(const std::string& name, WindowFactory factory) {
    factories_[name] = std::move(factory);
}

QWidget* DesktopShell::window(const std::string& name) const {
    auto it = open_.find(name);
    return it == open_.end() ? nullptr : it->second.get();
}

bool DesktopShell::openWindow(const std::string& name) {
    QWidget* w = window(name);
    if (!w) {
        auto factory = factories_.find(name);
        if (factory == factories_.end() || !factory->second) return false;
        std::unique_ptr<QWidget> made = factory->second();
        if (!made) return false;
        w = made.get();
        auto watch = std::make_unique<CloseWatch>(*this, name);
        w->installEventFilter(watch.get());
        watches_[name] = std::move(watch);
        open_[name] = std::move(made);
    }
    // Opened or re-fronted, whether or not the program is the active one.
    if (w->isMinimized()) w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
    return true;
}

void DesktopShell::closeWindow(const std::string& name) {
    auto it = open_.find(name);
    if (it == open_.end()) return;
    std::unique_ptr<QWidget> w = std::move(it->second);
    open_.erase(it);
    if (auto watch = watches_.find(name); watch != watches_.end()) {
        w->removeEventFilter(watch->second.get());
        // Its own timer may be the caller: it goes on a later turn too.
        watch->second.release()->deleteLater();
        watches_.erase(watch);
    }
    w->hide();
    // Deleted on a later turn: this may run inside one of the window's own handlers.
    w.release()->deleteLater();
}

void DesktopShell::closedByUser(std::string name) {
    if (!open_.count(name)) return;
    closeWindow(name);
    state_.windowDidClose(name);
}

void DesktopShell::setStatusItemVisible(bool visible) {
    if (status_) status_->setVisible(visible);
}

void DesktopShell::activate() {
    for (auto& [name, w] : open_) {
        if (!w->isVisible()) continue;
        w->raise();
        w->activateWindow();
    }
}

void DesktopShell::terminate() {
    // Leaves the event loop; the program then ends without further work.
    QApplication::quit();
}

}  // namespace halvyn
