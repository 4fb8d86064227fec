// Test helper: a bare client of the driver socket that speaks the framing by hand, so the
// daemon is tested without the panel's own transport (and with frames that transport
// would never send).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

class RawClient {
public:
    struct Response {
        std::uint32_t sequence = 0;
        std::uint32_t status = 0;
        std::vector<std::uint8_t> out;
    };

    explicit RawClient(const std::string& socketPath);  // throws when it cannot connect
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // One well-formed request and its reply; `fd` travels along as SCM_RIGHTS.
    Response Request(std::uint32_t code, const void* in, std::uint32_t inSize,
                     std::uint32_t outSize, int fd = -1, int timeoutMs = 5000);
    template <typename Out>
    std::uint32_t Get(std::uint32_t code, Out& out, const void* in = nullptr,
                      std::uint32_t inSize = 0) {
        Response response = Request(code, in, inSize, sizeof out);
        if (response.status == 0) std::memcpy(&out, response.out.data(), response.out.size());
        return response.status;
    }

    void SendRaw(const std::vector<std::uint8_t>& message, int fd = -1);
    // The next reply; nullopt on time-out. Sets Closed() when the daemon hung up.
    std::optional<Response> Receive(int timeoutMs);
    bool Closed() const { return m_closed; }

    static std::vector<std::uint8_t> Frame(std::uint32_t magic, std::uint32_t sequence,
                                           std::uint32_t code, std::uint32_t inSize,
                                           std::uint32_t outSize,
                                           const std::vector<std::uint8_t>& payload);

private:
    int m_fd = -1;
    std::uint32_t m_sequence = 100;
    bool m_closed = false;
};
