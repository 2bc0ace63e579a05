// The helper's dictionaries (now-playing information, position, supported commands) with any
// keys, types and values, through the now-playing source's readers.
//
// Input: a byte stream read as records: [kind][key length][key][type][value…]; kinds pick the
// dictionary, types the value's kind (flag, number, text, bytes, nothing).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/context.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace {

using namespace halvyn;

const char* kKeys[] = {"kMRMediaRemoteNowPlayingInfoTitle", "kMRMediaRemoteNowPlayingInfoArtist",
                       "kMRMediaRemoteNowPlayingInfoAlbum", "kMRMediaRemoteNowPlayingInfoArtworkIdentifier",
                       "kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate", "kMRMediaRemoteNowPlayingInfoPlaybackRate",
                       "kMRMediaRemoteNowPlayingInfoDuration", "kMRMediaRemoteNowPlayingInfoArtworkData",
                       "kMRMediaRemoteNowPlayingInfoMediaType", "kMRMediaRemoteNowPlayingInfoAlbumiTunesStoreAdamIdentifier",
                       "kMRMediaRemoteNowPlayingInfoiTunesStoreIdentifier", "playbackRate", "duration", "elapsedTime",
                       "hasPreviousSkip", "hasNextSkip", "hasPlaybackRate"};

struct Reader {
    const uint8_t* p;
    size_t n;
    bool take(uint8_t& b) {
        if (!n) return false;
        b = *p++;
        --n;
        return true;
    }
    std::string bytes(size_t len) {
        len = len < n ? len : n;
        std::string s(reinterpret_cast<const char*>(p), len);
        p += len;
        n -= len;
        return s;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CaptureLogSink logs;
    auto rt = std::make_unique<VirtualTime>();
    VirtualTime* time = rt.get();
    auto pf = std::make_unique<SimPlatform>(*time);
    SimPlatform* sim = pf.get();
    Context ctx(std::move(rt), std::move(pf), &logs);
    ctx.defaults().set(keys::isFirstLaunch, false);
    ctx.music();
    time->runCurrent();

    HelperDictionary dicts[3];
    Reader r{data, size};
    uint8_t kind, keyByte, type;
    while (r.take(kind) && r.take(keyByte) && r.take(type)) {
        std::string key = keyByte < sizeof(kKeys) / sizeof(*kKeys) ? kKeys[keyByte] : r.bytes(keyByte % 16);
        HelperScalar v;
        switch (type % 5) {
            case 0: {
                uint8_t b = 0;
                r.take(b);
                v = (b & 1) != 0;
                break;
            }
            case 1: {
                double d = 0;
                std::string raw = r.bytes(sizeof d);
                std::memcpy(&d, raw.data(), raw.size());
                v = d;  // any bits: NaN, infinities, negative zero, huge values
                break;
            }
            case 2: v = r.bytes(type / 5); break;
            case 3: v = Bytes{r.bytes(static_cast<size_t>(type) * 4)}; break;
            default: break;
        }
        dicts[kind % 3][key] = v;
    }
    auto& h = sim->simHelper();
    h.isPlaying = size % 2;
    h.info = dicts[0];
    h.position = dicts[1];
    h.commands = dicts[2];
    h.bundle = size % 3 ? std::optional<std::string>("com.apple.Safari") : std::nullopt;
    h.callback("applicationDidChange", false, false, "");
    h.callback("nowPlayingDidChange", false, false, "");
    ctx.music().timerStartSignal.emit();
    time->advance(seconds(2.5));
    h.callback("applicationIsPlayingDidChange", false, size % 5 == 0, "Safari");
    time->advance(seconds(1));
    return 0;
}
