// A stand-in for the driver's control device object in tests: a SOCK_SEQPACKET socket in
// a private runtime directory, served on a thread by a handler that each test writes, so
// that the transport can be driven into every answer a real driver could give.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeDriverSocket {
public:
    struct Request {
        int connection = 0;  // 0 for the first accepted connection, and so on
        std::uint32_t magic = 0;
        std::uint32_t sequence = 0;
        std::uint32_t code = 0;
        std::uint32_t inSize = 0;
        std::uint32_t outSize = 0;
        std::vector<std::uint8_t> input;
        bool carriedDescriptor = false;
    };

    // What a handler uses to answer: any number of replies (or none), raw messages, or
    // closing the connection.
    class Peer {
    public:
        explicit Peer(int fd) : m_fd(fd) {}
        void Reply(std::uint32_t sequence, std::uint32_t status,
                   const std::vector<std::uint8_t>& output = {});
        void Raw(const void* data, std::size_t size);
        void Close();
        bool Closed() const { return m_fd < 0; }
        int Fd() const { return m_fd; }

    private:
        int m_fd;
    };

    // The descriptor received with the request (an eventfd), or -1; the handler may keep
    // it, else it is closed after the handler returns.
    using Handler = std::function<void(const Request&, Peer&, int& descriptor)>;

    // Makes a private runtime directory, points XDG_RUNTIME_DIR at it and listens on
    // <dir>/<name>. Nothing is served until Serve().
    explicit FakeDriverSocket(std::string name);
    ~FakeDriverSocket();
    FakeDriverSocket(const FakeDriverSocket&) = delete;
    FakeDriverSocket& operator=(const FakeDriverSocket&) = delete;

    void Serve(Handler handler);
    // Only before Serve(): whether a client has connected (without accepting it).
    bool HasPendingConnection();

    std::vector<Request> Requests();
    int Connections();
    // Waits (bounded) until `count` connections have been closed by either side.
    bool WaitForClosedConnections(int count);
    const std::string& Dir() const { return m_dir; }
    // For a test that serves the socket from another process.
    int ListenFd() const { return m_listen; }

    // A handler that answers the version request with `major` and every other request
    // with status 0 and `outSize` bytes of a pattern derived from the code.
    static Handler Standard(std::uint8_t major = 2, Handler others = nullptr);
    static std::vector<std::uint8_t> Pattern(std::uint32_t code, std::uint32_t size);

private:
    void Run(Handler handler);
    bool ServeOne(int fd, int connection, Handler& handler);

    std::string m_dir;
    std::string m_path;
    int m_listen = -1;
    int m_stop = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Request> m_requests;
    int m_connections = 0;
    int m_closed = 0;
};
