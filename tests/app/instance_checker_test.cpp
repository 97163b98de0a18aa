#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "app/InstanceChecker.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;

const std::string kName(kKestromInstanceName);

TEST(InstanceChecker, SecondGuardSeesTheFirstAndCanWakeIt) {
    CSandbox dir;
    std::atomic<int> activations{0};
    {
        CInstanceChecker first(kName, dir.Dir());
        CInstanceChecker second(kName, dir.Dir());
        EXPECT_FALSE(first.PreviousInstanceRunning());
        EXPECT_FALSE(second.ActivatePreviousInstance());  // nobody listens yet

        ASSERT_TRUE(first.TrackFirstInstance([&] { ++activations; }));
        EXPECT_FALSE(first.PreviousInstanceRunning());  // itself is not a previous one
        EXPECT_TRUE(second.PreviousInstanceRunning());
        EXPECT_FALSE(second.TrackFirstInstance([] {}));

        EXPECT_TRUE(second.ActivatePreviousInstance());
        EXPECT_TRUE(second.ActivatePreviousInstance());
        EXPECT_EQ(activations.load(), 2);

        // Tracking again only replaces what activation does.
        ASSERT_TRUE(first.TrackFirstInstance([&] { activations += 10; }));
        EXPECT_TRUE(second.ActivatePreviousInstance());
        EXPECT_EQ(activations.load(), 12);
    }
    CInstanceChecker later(kName, dir.Dir());
    EXPECT_FALSE(later.PreviousInstanceRunning());
    EXPECT_FALSE(std::filesystem::exists(later.SocketPath()));
}

TEST(InstanceChecker, GuardsOfOtherNamesOrFoldersDoNotMeet) {
    CSandbox dir;
    CSandbox otherDir;
    CInstanceChecker first(kName, dir.Dir());
    ASSERT_TRUE(first.TrackFirstInstance([] {}));
    EXPECT_FALSE(CInstanceChecker("{other}", dir.Dir()).PreviousInstanceRunning());
    EXPECT_FALSE(CInstanceChecker(kName, otherDir.Dir()).PreviousInstanceRunning());
}

TEST(InstanceChecker, ThrowingActivationDoesNotStopTheGuard) {
    CSandbox dir;
    CInstanceChecker first(kName, dir.Dir());
    int calls = 0;
    ASSERT_TRUE(first.TrackFirstInstance([&] {
        ++calls;
        throw std::runtime_error("window gone");
    }));
    CInstanceChecker second(kName, dir.Dir());
    EXPECT_TRUE(second.ActivatePreviousInstance());
    EXPECT_TRUE(second.ActivatePreviousInstance());
    EXPECT_EQ(calls, 2);
}

TEST(InstanceChecker, LockDiesWithAKilledHolder) {
    CSandbox dir;
    int ready[2];
    int woken[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(woken), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CInstanceChecker holder(kName, dir.Dir());
        bool tracked = holder.TrackFirstInstance([&] {
            char c = 'A';
            (void)!::write(woken[1], &c, 1);
        });
        char c = tracked ? 'R' : 'F';
        (void)!::write(ready[1], &c, 1);
        while (true) ::pause();
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'R');

    CInstanceChecker second(kName, dir.Dir());
    EXPECT_TRUE(second.PreviousInstanceRunning());
    EXPECT_TRUE(second.ActivatePreviousInstance());
    ASSERT_EQ(::read(woken[0], &c, 1), 1);
    EXPECT_EQ(c, 'A');

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(second.PreviousInstanceRunning());
    EXPECT_FALSE(second.ActivatePreviousInstance());  // its socket is left, but dead
    EXPECT_TRUE(second.TrackFirstInstance([] {}));
    CInstanceChecker third(kName, dir.Dir());
    EXPECT_TRUE(third.ActivatePreviousInstance());
    for (int fd : {ready[0], ready[1], woken[0], woken[1]}) ::close(fd);
}

TEST(InstanceChecker, RuntimeFolderComesFromTheEnvironment) {
    CSandbox dir;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", dir.Dir().c_str(), 1);
    CInstanceChecker guard(kName);
    EXPECT_EQ(guard.LockPath(), dir.Dir() + "/" + kName + ".lock");
    EXPECT_TRUE(guard.TrackFirstInstance([] {}));
    EXPECT_TRUE(CInstanceChecker(kName, dir.Dir()).PreviousInstanceRunning());
    if (old) {
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
}  // namespace kestrom
