#pragma once
// What a media player sends on the bus, as a plain value.

#include <systemd/sd-bus.h>

#include "runtime/value.h"

namespace halvyn {

// The bus value at the message's read position as a plain value, consumed: numbers, flags, texts
// (object paths too), lists, structures (as the list of their fields) and string-keyed maps;
// anything else (bytes, descriptors), anything past a few levels deep and the entries of a list
// or map past a bound are null or skipped. False when the message is malformed there.
bool readBusValue(sd_bus_message* m, Value& out);

}  // namespace halvyn
