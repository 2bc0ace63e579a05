#include "platform/sim/sim_file_system.h"

#include <algorithm>

#include "runtime/main_queue.h"

namespace halvyn {

namespace {
bool isBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}
}  // namespace

SimFileSystem::SimFileSystem(MainQueue& main) : main_(main) { nodes_["/"] = Node{FileType::directory, {}, false}; }

SimFileSystem::~SimFileSystem() { lifetime_.end(); }

std::string SimFileSystem::parent(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

std::optional<std::string> SimFileSystem::readFile(const std::string& path, std::size_t maxBytes,
                                                   std::string* error) const {
    auto it = nodes_.find(path);
    auto fail = [&](const char* why) -> std::optional<std::string> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (it == nodes_.end()) return fail("No such file or directory");
    if (it->second.type != FileType::file) return fail("not a regular file");  // a link is not followed
    if (it->second.data.size() > maxBytes) return fail("file too large");
    return it->second.data;
}

std::string SimFileSystem::failure(const std::string& path) const {
    for (auto& [prefix, why] : failingWrites_)
        if (path == prefix || isBelow(path, prefix)) return why;
    return {};
}

FileResult SimFileSystem::writeFile(const std::string& path, std::string_view data) {
    if (auto why = failure(path); !why.empty()) return FileResult::failure(why);
    auto dir = nodes_.find(parent(path));
    if (dir == nodes_.end() || dir->second.type != FileType::directory)
        return FileResult::failure("No such file or directory");
    auto& node = nodes_[path];
    if (node.type == FileType::directory) return FileResult::failure("Is a directory");
    node = Node{FileType::file, std::string(data), node.executable};
    changed(path);
    return {};
}

FileType SimFileSystem::type(const std::string& path) const {
    auto it = nodes_.find(path);
    return it == nodes_.end() ? FileType::none : it->second.type;
}

std::vector<std::string> SimFileSystem::list(const std::string& directory) const {
    std::vector<std::string> names;
    auto it = nodes_.find(directory);
    if (it == nodes_.end() || it->second.type != FileType::directory) return names;
    const std::string prefix = directory == "/" ? "/" : directory + "/";
    for (auto n = nodes_.upper_bound(prefix); n != nodes_.end() && n->first.compare(0, prefix.size(), prefix) == 0; ++n)
        if (n->first.find('/', prefix.size()) == std::string::npos) names.push_back(n->first.substr(prefix.size()));
    return names;  // std::map keeps them sorted
}

void SimFileSystem::makeParents(const std::string& path) {
    for (std::string p = parent(path); p != "/"; p = parent(p)) {
        auto [it, inserted] = nodes_.try_emplace(p, Node{FileType::directory, {}, false});
        if (!inserted) break;
    }
}

FileResult SimFileSystem::createDirectories(const std::string& path) {
    if (auto why = failure(path); !why.empty()) return FileResult::failure(why);
    auto it = nodes_.find(path);
    if (it != nodes_.end())
        return it->second.type == FileType::directory ? FileResult{} : FileResult::failure("File exists");
    makeParents(path);
    nodes_[path] = Node{FileType::directory, {}, false};
    changed(path, false);  // an empty folder changes no file below it
    return {};
}

FileResult SimFileSystem::makePrivateDirectory(const std::string& base, const std::string& relative) {
    std::string path = base;
    for (std::size_t start = 0; start <= relative.size();) {
        const std::size_t slash = std::min(relative.find('/', start), relative.size());
        path += "/" + relative.substr(start, slash - start);
        start = slash + 1;
        const FileType t = type(path);
        if (t != FileType::none && t != FileType::directory)
            return FileResult::failure(path + " is a link or not a folder");
    }
    return createDirectories(path);
}

FileResult SimFileSystem::remove(const std::string& path) {
    if (auto why = failure(path); !why.empty()) return FileResult::failure(why);
    bool any = false;
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it->first == path || isBelow(it->first, path)) {
            it = nodes_.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    if (any) changed(path);
    return {};
}

FileResult SimFileSystem::rename(const std::string& from, const std::string& to) {
    if (auto why = failure(to); !why.empty()) return FileResult::failure(why);
    auto src = nodes_.find(from);
    if (src == nodes_.end()) return FileResult::failure("No such file or directory");
    auto dir = nodes_.find(parent(to));
    if (dir == nodes_.end() || dir->second.type != FileType::directory)
        return FileResult::failure("No such file or directory");
    if (auto dst = nodes_.find(to); dst != nodes_.end()) {
        if (dst->second.type == FileType::directory && !list(to).empty())
            return FileResult::failure("Directory not empty");
        nodes_.erase(dst);
    }
    std::map<std::string, Node> moved;
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it->first == from || isBelow(it->first, from)) {
            moved.emplace(to + it->first.substr(from.size()), std::move(it->second));
            it = nodes_.erase(it);
        } else {
            ++it;
        }
    }
    nodes_.merge(moved);
    changed(from);
    changed(to);
    return {};
}

FileResult SimFileSystem::setExecutable(const std::string& path, bool executable) {
    auto it = nodes_.find(path);
    if (it == nodes_.end()) return FileResult::failure("No such file or directory");
    it->second.executable = executable;
    return {};
}

Subscription SimFileSystem::watch(const std::string& path, std::function<void()> cb) {
    const int id = nextWatch_++;
    watches_[id] = Watch{path, std::move(cb)};
    const Lifetime::Token alive = lifetime_.token();
    return Subscription([this, alive, id] {
        if (alive) watches_.erase(id);
    });
}

void SimFileSystem::changed(const std::string& path, bool withContents) {
    for (auto& [id, w] : watches_) {
        if (w.path != path && !(withContents && isBelow(w.path, path))) continue;
        const Lifetime::Token alive = lifetime_.token();
        main_.post([this, alive, id = id] {
            if (!alive) return;
            auto it = watches_.find(id);
            if (it != watches_.end()) it->second.changed();
        });
    }
}

void SimFileSystem::put(const std::string& path, std::string data, bool executable) {
    makeParents(path);
    nodes_[path] = Node{FileType::file, std::move(data), executable};
    changed(path);
}

void SimFileSystem::putLink(const std::string& path, std::string target) {
    makeParents(path);
    nodes_[path] = Node{FileType::link, std::move(target), false};
    changed(path);
}

void SimFileSystem::failWrites(const std::string& path, std::string error) {
    if (error.empty())
        failingWrites_.erase(path);
    else
        failingWrites_[path] = std::move(error);
}

bool SimFileSystem::isExecutable(const std::string& path) const {
    auto it = nodes_.find(path);
    return it != nodes_.end() && it->second.executable;
}

std::optional<std::string> SimFileSystem::linkTarget(const std::string& path) const {
    auto it = nodes_.find(path);
    if (it == nodes_.end() || it->second.type != FileType::link) return std::nullopt;
    return it->second.data;
}

}  // namespace halvyn
