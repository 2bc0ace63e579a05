// A media player's properties as the helper reads them off the bus (any shapes, any types):
// Metadata into a track, the rest into the player's state, then every reply built from it.
//
// Input: a JSON document standing for the bus values. Its "Metadata" (or the whole document)
// goes through the metadata reader; the whole document is applied as the player's properties.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nowplaying/mpris_sessions.h"
#include "settings/json_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvyn;
    const auto doc = parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!doc) return 0;
    const Value* metadata = doc->find("Metadata");
    readMetadata(metadata ? *metadata : *doc);

    MprisSessions sessions;
    sessions.add(":1.1", "org.mpris.MediaPlayer2.fuzz");
    sessions.apply(":1.1", *doc, false, 0);
    sessions.apply(":1.1", *doc, true, 1);
    sessions.setPosition(":1.1", size * 0.5, 2, size % 2);
    sessions.takeChanges();
    sessions.nowPlayingInfo();
    sessions.position(1e9);
    sessions.supportedCommands();
    sessions.bundle();
    sessions.apply(":1.1", *doc, true, 3);
    sessions.takeChanges();
    return 0;
}
