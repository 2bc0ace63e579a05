// The shell's tests run inside one application object on the offscreen platform, so that
// timers, painting and widgets work without a display.
#include <QApplication>

#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // No test reaches the machine's own audio server or message buses: the programs and ports the
    // tests make find none, unless a test starts its own.
    setenv("PULSE_SERVER", "unix:/nonexistent/halvyn-tests/pulse", 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/halvyn-tests/system", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/halvyn-tests/session", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
