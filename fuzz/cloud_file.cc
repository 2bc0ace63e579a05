// The cloud folder's file reader: whatever a key's file holds, reading it gives a well-formed
// entry (a finite time stamp) or nothing, and never blocks or crashes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "runtime/virtual_time.h"
#include "settings/cloud_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvyn;
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "halvyn-fuzz-cloud-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        return std::filesystem::path(tmpl);
    }();
    std::error_code ec;
    for (auto& entry : std::filesystem::directory_iterator(dir, ec)) std::filesystem::remove_all(entry.path(), ec);
    CaptureLogSink logs;
    VirtualTime time;
    FolderCloudStore store(dir, time, Logger(&logs, "com.halvyn.app", "Cloud"));
    {
        std::ofstream out(store.fileOf("hudSpeed"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    store.checkForExternalChanges();
    if (auto entry = store.get("hudSpeed")) {
        if (!std::isfinite(toSeconds(entry->time.time_since_epoch()))) std::abort();
    }
    return 0;
}
