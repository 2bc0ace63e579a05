// Named enumerations lose the compiler's check that a switch covers every case, so each table is
// checked here instead: it lists the cases in declaration order up to the enumeration's last, and
// a raw value leads back to its case.
#include <gtest/gtest.h>

#include <cstddef>

#include "app/app_shell.h"
#include "calendar/upcoming_event.h"
#include "notch/notch.h"
#include "platform/bluetooth.h"
#include "settings/options.h"
#include "sources/virtual_device.h"

namespace halvyn {
namespace {

template <class E>
constexpr bool listsEveryCase(E last) {
    const auto cases = allCases<E>();
    for (std::size_t i = 0; i < cases.size(); ++i)
        if (static_cast<std::size_t>(cases[i].value) != i) return false;
    return !cases.empty() && cases.back().value == last;
}

static_assert(listsEveryCase(Notch::Notification::didChangeKeyboardBrightness));
static_assert(listsEveryCase(Notch::LiveActivity::isPlaying));
static_assert(listsEveryCase(Notch::QuickPeek::isPlaying));
static_assert(listsEveryCase(Notch::Axis::vertical));
static_assert(listsEveryCase(VirtualDevice::Kind::speakers));
static_assert(listsEveryCase(AirPodsState::both));
static_assert(listsEveryCase(AirPodsMaxColor::purple));
static_assert(listsEveryCase(MeetingType::webex));
static_assert(listsEveryCase(BluetoothAuthorization::allowedAlways));
static_assert(listsEveryCase(ActivationPolicy::accessory));
static_assert(listsEveryCase(LockScreenWidgetType::weather));
static_assert(listsEveryCase(ControlType::copyLink));

template <class... E>
void expectRoundTrips() {
    auto one = [](auto tag) {
        using T = decltype(tag);
        for (const auto& c : allCases<T>()) {
            EXPECT_EQ(fromRaw<T>(c.raw), c.value) << c.raw;
            EXPECT_STREQ(caseName(c.value), std::string(c.raw).c_str());
        }
        EXPECT_FALSE(fromRaw<T>("").has_value());
    };
    (one(E{}), ...);
}

TEST(CaseNames, RawValuesLeadBackToTheirCasesAndUnknownNamesToNothing) {
    expectRoundTrips<Notch::Notification, Notch::LiveActivity, VirtualDevice::Kind, AirPodsMaxColor, MeetingType>();
    // The settings' options, as stored.
    expectRoundTrips<DisplayType, ConnectivityModel, OutputDevice, HUDProgressStyle, HUDSpeed, SymbolScaling, ColorStyle,
                     ControlType, MusicApp, TransportType, WeatherStyle, LockScreenWidgetType>();
    EXPECT_FALSE(fromRaw<ControlType>("repeat").has_value());
    EXPECT_EQ(fromRaw<Notch::Notification>("IsCharging"), std::nullopt);  // case-sensitive
    EXPECT_EQ(fromRaw<AirPodsMaxColor>("SpaceGray"), std::nullopt);
    EXPECT_STREQ(caseName(static_cast<Notch::Axis>(7)), "");  // outside the table: empty, never null
}

}  // namespace
}  // namespace halvyn
