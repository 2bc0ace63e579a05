// What the preferences tool prints for the login window: any bytes give the four flags or are
// refused without a fault.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "lockscreen/lock_screen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    (void)halvyn::parseLoginWindowPreferences(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    return 0;
}
