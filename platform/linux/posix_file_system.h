#pragma once
// Files and folders on a POSIX system. Watches use the toolkit's file watcher and fire on the
// main thread.

#include <memory>

#include "platform/file_system.h"

namespace halvyn {

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem();
    ~PosixFileSystem() override;

    std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes,
                                        std::string* error = nullptr) const override;
    FileResult writeFile(const std::string& path, std::string_view data) override;
    FileType type(const std::string& path) const override;
    std::vector<std::string> list(const std::string& directory) const override;
    FileResult createDirectories(const std::string& path) override;
    FileResult remove(const std::string& path) override;
    FileResult rename(const std::string& from, const std::string& to) override;
    FileResult setExecutable(const std::string& path, bool executable) override;
    // renameat2 with RENAME_EXCHANGE: both trees trade places in one step.
    FileResult exchange(const std::string& a, const std::string& b) override;
    std::string temporaryDirectory() const override;
    std::string homeDirectory() const override;
    std::string cacheDirectory() const override;
    // Walks the folders with descriptors opened without following links and checks each one's
    // owner and mode on the descriptor itself, so nothing can be swapped in between.
    FileResult makePrivateDirectory(const std::string& base, const std::string& relative) override;
    Subscription watch(const std::string& path, std::function<void()> changed) override;

private:
    struct Watches;
    std::shared_ptr<Watches> watches_;
};

}  // namespace halvyn
