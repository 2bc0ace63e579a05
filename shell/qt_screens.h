#pragma once
// The screens port over the toolkit's screen list. Coordinates are turned into the system's
// points: origin at the bottom left of the primary screen, y growing upwards. No screen here has
// a camera housing, so every screen gets the simulated notch.

#include <QRect>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/screens.h"
#include "runtime/lifetime.h"
#include "runtime/published.h"

class QObject;
class QScreen;

namespace halvyn {

class MainQueue;

class QtScreens final : public Screens {
public:
    explicit QtScreens(MainQueue& main);
    ~QtScreens() override;
    QtScreens(const QtScreens&) = delete;
    QtScreens& operator=(const QtScreens&) = delete;

    std::vector<Screen> screens() const override;
    Subscription observeParameters(std::function<void()> cb) override;

    // Conversions between the toolkit's top-left coordinates and the system's points.
    Rect fromToolkit(const QRect& r) const;
    static QRect toToolkit(const Rect& r);

    // Laptop panels are named after their connector: embedded DisplayPort, LVDS or DSI.
    static bool isBuiltInName(const std::string& connector);

private:
    void watch(QScreen* screen);
    void changed();
    std::uint32_t numberFor(const std::string& name) const;

    MainQueue& main_;
    Signal<> parameters_;
    // Display numbers handed out by connector name, kept for the whole run.
    mutable std::map<std::string, std::uint32_t> numbers_;
    bool changePending_ = false;
    // Receiver of the toolkit's signals: destroying it ends every connection.
    std::unique_ptr<QObject> receiver_;
    Lifetime lifetime_;
};

}  // namespace halvyn
