#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/DeviceIo.h"
#include "platform/Event.h"
#include "platform/FakeDriverSocket.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Peer = FakeDriverSocket::Peer;
using Request = FakeDriverSocket::Request;

constexpr const char* kName = "{9C16E615-A7AC-458f-819F-718A8A11EF08}";
constexpr std::uint32_t kCode = 0x80892864u;

// Opens one connection to a fake driver and closes it at the end of the test.
class DeviceIo : public ::testing::Test {
protected:
    void Open() { ASSERT_EQ(platform::OpenDevice(kName, &handle), 0u); }
    void TearDown() override {
        platform::CloseDevice(handle);
        platform::SetDeviceRequestTimeout(std::chrono::seconds(5));
    }

    FakeDriverSocket fake{kName};
    platform::DeviceHandle handle = nullptr;
};

TEST_F(DeviceIo, OpenReportsTheSystemErrorOfAMissingOrUnsafeName) {
    platform::DeviceHandle missing = reinterpret_cast<platform::DeviceHandle>(1);
    EXPECT_EQ(platform::OpenDevice("{no-such-device}", &missing),
              static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(missing, nullptr);
    EXPECT_NE(platform::OpenDevice("../escape", &missing), 0u);
    EXPECT_NE(platform::OpenDevice("", &missing), 0u);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(DeviceIo, RefusesANullHandleAndOversizedBuffersWithoutSending) {
    fake.Serve([](const Request& r, Peer& peer, int&) { peer.Reply(r.sequence, 0); });
    Open();
    std::vector<std::uint8_t> big(platform::wire::kMaxPayload + 1);
    EXPECT_EQ(platform::DeviceControl(nullptr, kCode, nullptr, 0, nullptr, 0),
              static_cast<std::uint32_t>(EBADF));
    EXPECT_EQ(platform::DeviceControl(handle, kCode, big.data(), big.size(), nullptr, 0),
              static_cast<std::uint32_t>(EINVAL));
    EXPECT_EQ(platform::DeviceControl(handle, kCode, nullptr, 0, big.data(), big.size()),
              static_cast<std::uint32_t>(EINVAL));
    EXPECT_EQ(platform::DeviceControl(handle, kCode, nullptr, 4, nullptr, 0),
              static_cast<std::uint32_t>(EINVAL));
    // The largest record goes through, and it is the first request the driver sees.
    Bytes full(platform::wire::kMaxPayload, 0x11);
    EXPECT_EQ(platform::DeviceControl(handle, kCode, full.data(), full.size(), nullptr, 0), 0u);
    ASSERT_EQ(fake.Requests().size(), 1u);
    EXPECT_EQ(fake.Requests()[0].input, full);
}

TEST_F(DeviceIo, FramesTheRequestAndCopiesOnlyWhatBothSidesHold) {
    // The driver answers with `replied` bytes; the caller's buffer holds 8.
    struct Case {
        std::uint32_t replied;
        Bytes expected;
    };
    const Case cases[] = {
        {0, Bytes(8, 0xEE)},
        {3, {1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {12, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    fake.Serve([](const Request& r, Peer& peer, int&) {
        std::uint32_t replied = 0;
        std::memcpy(&replied, r.input.data(), sizeof replied);
        Bytes out(replied);
        for (std::uint32_t i = 0; i < replied; ++i) out[i] = static_cast<std::uint8_t>(i + 1);
        peer.Reply(r.sequence, 0xE0000047u, out);
    });
    Open();
    for (const Case& c : cases) {
        Bytes out(8, 0xEE);
        EXPECT_EQ(platform::DeviceControl(handle, kCode, &c.replied, 4, out.data(), out.size()),
                  0xE0000047u);  // the driver's status passes through unchanged
        EXPECT_EQ(out, c.expected) << "reply of " << c.replied << " bytes";
    }
    const std::vector<Request> requests = fake.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].magic, platform::wire::kRequestMagic);
        EXPECT_EQ(requests[i].code, kCode);
        EXPECT_EQ(requests[i].inSize, 4u);
        EXPECT_EQ(requests[i].outSize, 8u);
        EXPECT_FALSE(requests[i].carriedDescriptor);
        if (i > 0) {
            EXPECT_NE(requests[i].sequence, requests[i - 1].sequence);
        }
    }
}

TEST_F(DeviceIo, AMalformedReplyIsAProtocolError) {
    fake.Serve([](const Request& r, Peer& peer, int&) {
        if (r.code == 1) {
            const std::uint32_t wrongMagic[4] = {0x12345678u, r.sequence, 0, 0};
            peer.Raw(wrongMagic, sizeof wrongMagic);
        } else if (r.code == 2) {
            // The header claims more output than the message holds.
            const platform::wire::ReplyHeader header{platform::wire::kReplyMagic, r.sequence, 0, 8};
            peer.Raw(&header, sizeof header);
        } else if (r.code == 3) {
            peer.Raw("ZELA", 4);
        } else {
            peer.Reply(r.sequence, 0);
        }
    });
    Open();
    for (std::uint32_t code : {1u, 2u, 3u}) {
        std::uint8_t out[8] = {};
        EXPECT_EQ(platform::DeviceControl(handle, code, nullptr, 0, out, sizeof out),
                  static_cast<std::uint32_t>(EPROTO))
            << "code " << code;
    }
    EXPECT_EQ(platform::DeviceControl(handle, 4, nullptr, 0, nullptr, 0), 0u);
}

TEST_F(DeviceIo, ADriverThatDoesNotAnswerTimesOutAndItsLateAnswerIsDiscarded) {
    platform::SetDeviceRequestTimeout(std::chrono::milliseconds(100));
    std::uint32_t unanswered = 0;
    fake.Serve([&unanswered](const Request& r, Peer& peer, int&) {
        if (r.code == 1) {
            unanswered = r.sequence;  // no answer now
            return;
        }
        peer.Reply(unanswered, 0x1111, {9, 9, 9, 9});  // late, just before the real answer
        peer.Reply(r.sequence, 0, {2, 2, 2, 2});
    });
    Open();
    Bytes out(4, 0);
    EXPECT_EQ(platform::DeviceControl(handle, 1, nullptr, 0, out.data(), 4),
              static_cast<std::uint32_t>(ETIMEDOUT));
    EXPECT_EQ(out, Bytes(4, 0));
    EXPECT_EQ(platform::DeviceControl(handle, 2, nullptr, 0, out.data(), 4), 0u);
    EXPECT_EQ(out, Bytes(4, 2));
}

// A signal arriving while the client waits for the reply (no SA_RESTART) is not a failure.
TEST_F(DeviceIo, ASignalWhileWaitingForTheReplyIsRidden) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    struct sigaction previous {};
    sigaction(SIGUSR1, &action, &previous);
    const pthread_t caller = pthread_self();
    fake.Serve([caller](const Request& r, Peer& peer, int&) {
        if (r.code == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pthread_kill(caller, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        peer.Reply(r.sequence, 0, {7, 7});
    });
    Open();
    Bytes out(2, 0);
    EXPECT_EQ(platform::DeviceControl(handle, 1, nullptr, 0, out.data(), 2), 0u);
    EXPECT_EQ(out, Bytes(2, 7));
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST_F(DeviceIo, HandsTheEventToTheDriverWhichCanSignalIt) {
    fake.Serve([](const Request& r, Peer& peer, int& descriptor) {
        if (descriptor >= 0) eventfd_write(descriptor, 1);
        peer.Reply(r.sequence, 0);
    });
    Open();
    platform::Event event;
    const auto value = static_cast<std::uint32_t>(event.NativeHandle());
    ASSERT_EQ(platform::DeviceControl(handle, kCode, &value, 4, nullptr, 0, &event), 0u);
    ASSERT_EQ(fake.Requests().size(), 1u);
    EXPECT_TRUE(fake.Requests()[0].carriedDescriptor);
    EXPECT_EQ(platform::WaitForAny({&event}, 5000), 0);
}

TEST_F(DeviceIo, TwoConnectionsWorkAtTheSameTime) {
    fake.Serve([](const Request& r, Peer& peer, int&) { peer.Reply(r.sequence, 0, r.input); });
    auto client = [](std::uint8_t tag, bool* ok) {
        platform::DeviceHandle own = nullptr;
        *ok = platform::OpenDevice(kName, &own) == 0;
        for (int i = 0; *ok && i < 200; ++i) {
            const Bytes in{tag, static_cast<std::uint8_t>(i), tag, 0};
            Bytes out(4, 0);
            *ok =
                platform::DeviceControl(own, kCode, in.data(), 4, out.data(), 4) == 0 && out == in;
        }
        platform::CloseDevice(own);
    };
    bool firstOk = false, secondOk = false;
    std::thread first(client, 1, &firstOk);
    std::thread second(client, 2, &secondOk);
    first.join();
    second.join();
    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
    EXPECT_EQ(fake.Connections(), 2);
}

// The driver process dies while a request waits for its answer: the request fails with
// a system error, and so does the next one, without SIGPIPE ending the caller.
TEST_F(DeviceIo, ADriverKilledInTheMiddleOfARequestGivesASystemError) {
    signal(SIGPIPE, SIG_DFL);
    Open();  // waits in the listening socket's backlog for the child to accept it
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int connection = accept4(fake.ListenFd(), nullptr, nullptr, 0);
        char request[64];
        if (connection >= 0) recv(connection, request, sizeof request, 0);
        kill(getpid(), SIGKILL);
        _exit(1);
    }
    std::uint8_t out[12] = {};
    EXPECT_EQ(platform::DeviceControl(handle, kCode, nullptr, 0, out, sizeof out),
              static_cast<std::uint32_t>(ECONNRESET));
    const std::uint32_t next = platform::DeviceControl(handle, kCode, nullptr, 0, out, sizeof out);
    EXPECT_TRUE(next == EPIPE || next == ECONNRESET) << next;
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

}  // namespace
