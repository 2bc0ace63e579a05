// Property lists in both text forms (another application's preferences file): any bytes must
// parse or be refused without a fault, and nesting stays bounded.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto v = halvyn::parsePropertyList(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (v) (void)v->toJson();
    return 0;
}
