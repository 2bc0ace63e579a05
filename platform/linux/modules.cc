#include "platform/linux/modules.h"

#include <dlfcn.h>

#include <map>
#include <memory>

namespace halvyn {

Module::Module(std::string name, std::filesystem::path folder, Logger logger)
    : path_(folder / (name + ".so")), logger_(std::move(logger)) {}

std::filesystem::path Module::installedFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().parent_path() / "lib" / "halvyn" / "modules";
}

void* Module::find(const char* symbol) {
    if (failed_) return nullptr;
    if (!handle_) {
        // Its own symbols first, and none shared with the program or other modules: each module
        // carries its copy of what it uses of the program's code.
        handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            failed_ = true;
            const char* why = ::dlerror();
            logger_.error("Module %{public}s cannot be loaded (%{public}s); what it gives is absent", path_.string(),
                          why ? why : "unknown error");
            return nullptr;
        }
    }
    ::dlerror();
    void* f = ::dlsym(handle_, symbol);
    if (!f && missing_.insert(symbol).second)
        logger_.error("Module %{public}s has no %{public}s; what it gives is absent", path_.string(), symbol);
    return f;
}

Module& module(std::string_view name) {
    // The modules are the process's, opened once and kept: what they say goes where the process's
    // own output goes, not to a sink of whoever opened them first, which may be gone by then.
    static StderrLogSink sink;
    static std::map<std::string, std::unique_ptr<Module>, std::less<>> open;
    auto it = open.find(name);
    if (it == open.end())
        it = open.emplace(std::string(name), std::make_unique<Module>(std::string(name), Module::installedFolder(),
                                                                      Logger(&sink, "com.halvyn.app", "Modules")))
                 .first;
    return *it->second;
}

}  // namespace halvyn
