// One program a session: the lock's holder hears a later launch's "reopen" over its socket, and
// nothing else a caller says.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/event_loop.h"
#include "shell/single_instance.h"

namespace halvyn {
namespace {

// A caller on the instance's socket that says nothing yet.
int call(const std::string& folder) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = folder + "/instance.socket";
    std::memcpy(a.sun_path, path.c_str(), path.size());
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    test::spinUntil([] { return false; }, 20);
    return fd;
}

TEST(SingleInstance, TheHolderHearsReopenOnlyAndALaterHolderTakesOver) {
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("halvyn-instance-" + std::to_string(::getpid()))).string();
    std::filesystem::remove_all(folder);
    int reopened = 0;
    auto first = std::make_unique<SingleInstance>(QString::fromStdString(folder));
    ASSERT_TRUE(first->becomePrimary([&] { ++reopened; }));
    SingleInstance later(QString::fromStdString(folder));
    EXPECT_FALSE(later.becomePrimary([] {}));

    // Callers beyond the bound wait their turn, a later launch among them; what a caller says
    // is heard only when it is "reopen".
    std::vector<int> callers;
    for (std::size_t i = 0; i < SingleInstance::kMaxCallers + 2; ++i) callers.push_back(call(folder));
    EXPECT_TRUE(later.handOver());
    test::spinUntil([] { return false; }, 200);
    EXPECT_EQ(reopened, 0);
    const std::string noise(200, 'x');
    ::send(callers.front(), noise.data(), noise.size(), MSG_NOSIGNAL);
    for (int fd : callers) ::close(fd);
    EXPECT_TRUE(test::spinUntil([&] { return reopened == 1; }));
    test::spinUntil([] { return false; }, 100);
    EXPECT_EQ(reopened, 1);

    // The holder gone, its socket left behind: the next launch takes both over.
    first.reset();
    ASSERT_TRUE(std::filesystem::exists(folder + "/instance.socket"));
    int again = 0;
    SingleInstance next(QString::fromStdString(folder));
    ASSERT_TRUE(next.becomePrimary([&] { ++again; }));
    EXPECT_TRUE(later.handOver());
    EXPECT_TRUE(test::spinUntil([&] { return again == 1; }));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace halvyn
