// The single-instance lock between processes: one holder among many, and no stale lock
// after a holder dies.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/SingleInstance.h"
#include "support/ScopedRunDir.h"

namespace {

constexpr const char* kName = "1865D745-1233-41b6-8FA5-18D0BB3E0A2F";

TEST(SingleInstanceLock, TwentyConcurrentAttemptsLeaveExactlyOneHolder) {
    testsupport::ScopedRunDir runDir;
    int results[2], release[2];
    ASSERT_EQ(pipe(results), 0);
    ASSERT_EQ(pipe(release), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 20; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(release[1]);
            bool alreadyHeld = false;
            auto lock = platform::SingleInstanceLock::Create(kName, &alreadyHeld);
            const char outcome = lock ? 'H' : (alreadyHeld ? 'B' : 'F');
            (void)!write(results[1], &outcome, 1);
            char c;
            (void)!read(release[0], &c, 1);  // hold until the parent has counted
            _exit(0);
        }
        children.push_back(pid);
    }
    close(release[0]);
    int holders = 0, busy = 0;
    for (int i = 0; i < 20; ++i) {
        char outcome = 0;
        ASSERT_EQ(read(results[0], &outcome, 1), 1);
        holders += outcome == 'H';
        busy += outcome == 'B';
    }
    close(release[1]);
    for (pid_t pid : children) waitpid(pid, nullptr, 0);
    close(results[0]);
    close(results[1]);
    EXPECT_EQ(holders, 1);
    EXPECT_EQ(busy, 19);
}

TEST(SingleInstanceLock, IsHeldUntilReleasedAndFreedWhenTheHolderDies) {
    testsupport::ScopedRunDir runDir;
    bool alreadyHeld = true;
    auto first = platform::SingleInstanceLock::Create(kName, &alreadyHeld);
    ASSERT_TRUE(first);
    EXPECT_FALSE(alreadyHeld);
    EXPECT_FALSE(platform::SingleInstanceLock::Create(kName, &alreadyHeld));
    EXPECT_TRUE(alreadyHeld);
    first.reset();
    EXPECT_TRUE(platform::SingleInstanceLock::Create(kName, &alreadyHeld));

    // A holder that dies without cleaning up leaves nothing behind.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto lock = platform::SingleInstanceLock::Create("crashing", nullptr);
        _exit(lock ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(platform::SingleInstanceLock::Create("crashing", &alreadyHeld));
    EXPECT_FALSE(alreadyHeld);
}

}  // namespace
