// The settings file reader: whatever the file holds, the settings open, and the file is either
// taken (each stored entry is the file's) or kept aside untouched with the defaults in use.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "runtime/virtual_time.h"
#include "settings/json_value.h"
#include "settings/key.h"
#include "settings/preferences_file.h"

namespace {

std::filesystem::path folder() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "halvyn-fuzz-settings-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        return std::filesystem::path(tmpl);
    }();
    return dir;
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvyn;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto dir = folder();
    std::error_code ec;
    for (auto& entry : std::filesystem::directory_iterator(dir, ec)) std::filesystem::remove(entry.path(), ec);
    const auto file = dir / "com.halvyn.app.json";
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }
    CaptureLogSink logs;
    VirtualTime time;
    PreferencesFile prefs(file, time, Logger(&logs, "com.halvyn.app", "Defaults"));
    auto doc = parseJsonObject(text);
    if (doc) {
        for (const auto& [name, value] : doc->asObject()) {
            // The domain stores no nulls; a null entry is no entry.
            if (value.isNull()) continue;
            auto stored = prefs.stored(name);
            if (!stored || !(*stored == value)) std::abort();
        }
        if (slurp(file) != text) std::abort();
    } else {
        if (std::filesystem::exists(file)) std::abort();
        if (slurp(std::string(file.string()) + PreferencesFile::kUnreadableSuffix) != text) std::abort();
    }
    return 0;
}
