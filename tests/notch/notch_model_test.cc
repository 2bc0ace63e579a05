#include "notch/notch_fixture.h"

namespace halvyn::testing {
namespace {

TEST_F(NotchTest, Smoke) {
    startEnabled();
    EXPECT_TRUE(notch().isEnabled.get());
}

}  // namespace
}  // namespace halvyn::testing
