#pragma once
// A simulated file tree in memory. Watches fire on a later turn of the main queue after a change
// made through the port or through the simulation controls.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/lifetime.h"
#include "platform/file_system.h"

namespace halvyn {

class MainQueue;

class SimFileSystem final : public FileSystem {
public:
    explicit SimFileSystem(MainQueue& main);
    ~SimFileSystem() override;

    std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes,
                                        std::string* error = nullptr) const override;
    FileResult writeFile(const std::string& path, std::string_view data) override;
    FileType type(const std::string& path) const override;
    std::vector<std::string> list(const std::string& directory) const override;
    FileResult createDirectories(const std::string& path) override;
    FileResult remove(const std::string& path) override;
    FileResult rename(const std::string& from, const std::string& to) override;
    FileResult setExecutable(const std::string& path, bool executable) override;
    std::string temporaryDirectory() const override { return temporaryDirectory_; }
    std::string homeDirectory() const override { return homeDirectory_; }
    std::string cacheDirectory() const override { return homeDirectory_ + "/Library/Caches"; }
    // Creates the folders; a link or a file in their place is refused, as a real system does.
    FileResult makePrivateDirectory(const std::string& base, const std::string& relative) override;
    Subscription watch(const std::string& path, std::function<void()> changed) override;

    // Simulation controls. Parents are created as needed; watches fire as for a port write.
    void put(const std::string& path, std::string data, bool executable = false);
    void putLink(const std::string& path, std::string target);
    // Makes writes to the path (or below it) fail with `error`; an empty error clears it.
    void failWrites(const std::string& path, std::string error);
    bool isExecutable(const std::string& path) const;
    std::optional<std::string> linkTarget(const std::string& path) const;
    void setTemporaryDirectory(std::string p) { temporaryDirectory_ = std::move(p); }
    void setHomeDirectory(std::string p) { homeDirectory_ = std::move(p); }

private:
    struct Node {
        FileType type = FileType::file;
        std::string data;  // file contents, or a link's target
        bool executable = false;
    };
    struct Watch {
        std::string path;
        std::function<void()> changed;
    };
    // Fires the watches of `path` and, with its contents, of everything below it.
    void changed(const std::string& path, bool withContents = true);
    void makeParents(const std::string& path);
    std::string failure(const std::string& path) const;
    static std::string parent(const std::string& path);

    MainQueue& main_;
    std::map<std::string, Node> nodes_;
    std::map<std::string, std::string> failingWrites_;
    std::map<int, Watch> watches_;
    int nextWatch_ = 0;
    Lifetime lifetime_;
    std::string temporaryDirectory_ = "/private/tmp";
    std::string homeDirectory_ = "/Users/user";
};

}  // namespace halvyn
