// The running-instance channel: requests arrive whole and in order, garbage is dropped,
// a socket left by a dead instance is replaced, and a stuck listener never hangs the
// instance that posts to it.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/InstanceChannel.h"
#include "platform/posix/InstanceChannelPath.h"
#include "support/ScopedRunDir.h"

namespace {

using platform::InstanceListener;
using platform::InstanceRequest;
using platform::RunningInstance;

const std::string kTitle = "Tolvane KM-8 USB Control Panel";

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

void SendRaw(const std::string& bytes) {
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    const sockaddr_un address = AddressOf(platform::InstanceChannelPath(kTitle));
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
           sizeof address);
    close(fd);
}

TEST(InstanceChannel, DeliversRequestsInOrderToAPrivateSocket) {
    testsupport::ScopedRunDir runDir;
    EXPECT_FALSE(RunningInstance::Find(kTitle)) << "nobody listens yet";

    auto listener = InstanceListener::Create(kTitle);
    ASSERT_TRUE(listener);
    ASSERT_GE(listener->WatchFd(), 0);
    struct stat st {};
    ASSERT_EQ(stat(platform::InstanceChannelPath(kTitle).c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_TRUE(listener->TakeRequests().empty());
    auto running = RunningInstance::Find(kTitle);
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->Post(InstanceRequest::SelectSettings));
    EXPECT_TRUE(running->Post(InstanceRequest::Activate));
    EXPECT_TRUE(running->Post(InstanceRequest::Quit));
    EXPECT_EQ(listener->TakeRequests(),
              (std::vector{InstanceRequest::SelectSettings, InstanceRequest::Activate,
                           InstanceRequest::Quit}));

    EXPECT_FALSE(RunningInstance::Find("Another title"));
    listener.reset();
    EXPECT_FALSE(RunningInstance::Find(kTitle)) << "the socket goes with the listener";
}

TEST(InstanceChannel, IgnoresGarbageAndOversizedInput) {
    testsupport::ScopedRunDir runDir;
    auto listener = InstanceListener::Create(kTitle);
    ASSERT_TRUE(listener);
    for (const std::string& garbage :
         {std::string(), std::string("QUIT"), std::string("quit\n"), std::string("quitx"),
          std::string("activat"), std::string("quit\0activate", 13),
          std::string("quit") + std::string(100, ' '), std::string(65000, 'q'),
          std::string("\xff\xfe\x00\x01", 4)})
        SendRaw(garbage);
    SendRaw("activate");
    EXPECT_EQ(listener->TakeRequests(), std::vector{InstanceRequest::Activate});
    EXPECT_TRUE(listener->TakeRequests().empty());
}

TEST(InstanceChannel, ReplacesAStaleSocketButNoOtherFile) {
    testsupport::ScopedRunDir runDir;
    const std::string path = platform::InstanceChannelPath(kTitle);
    {
        // What a crashed instance leaves behind: a bound socket file nobody reads.
        const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        const sockaddr_un address = AddressOf(path);
        ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        close(fd);
    }
    EXPECT_FALSE(RunningInstance::Find(kTitle)) << "a stale socket is not a running instance";
    auto listener = InstanceListener::Create(kTitle);
    ASSERT_TRUE(listener);
    auto running = RunningInstance::Find(kTitle);
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->Post(InstanceRequest::Quit));
    EXPECT_EQ(listener->TakeRequests(), std::vector{InstanceRequest::Quit});
    listener.reset();

    std::ofstream(path) << "not a socket";
    std::string error;
    EXPECT_FALSE(InstanceListener::Create(kTitle, &error));
    EXPECT_FALSE(error.empty());
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "a file that is not ours stays";
}

TEST(InstanceChannel, TakesABoundedBatchAndNeverHangsThePoster) {
    testsupport::ScopedRunDir runDir;
    auto listener = InstanceListener::Create(kTitle);
    ASSERT_TRUE(listener);
    auto running = RunningInstance::Find(kTitle);
    ASSERT_TRUE(running);
    // A listener that stops reading: the queue fills and Post gives up after its time
    // limit instead of blocking the later instance for ever.
    int posted = 0;
    while (posted < 1000 && running->Post(InstanceRequest::Activate)) ++posted;
    EXPECT_LT(posted, 1000);
    EXPECT_GT(posted, 0);
    std::size_t taken = 0;
    for (std::vector<InstanceRequest> batch; !(batch = listener->TakeRequests()).empty();) {
        EXPECT_LE(batch.size(), 64u);
        taken += batch.size();
    }
    EXPECT_EQ(taken, static_cast<std::size_t>(posted));
}

}  // namespace
