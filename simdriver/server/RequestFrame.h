// Reading one request message of the driver socket and building its reply, by the
// framing of platform/posix/DeviceSocketProtocol.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simdriver {

struct ParsedRequest {
    bool hasSequence = false;  // false when the message was too short to carry one
    std::uint32_t sequence = 0;
    std::uint32_t code = 0;
    std::uint32_t outSize = 0;
    const std::uint8_t* in = nullptr;
    std::uint32_t inSize = 0;
};

// Returns 0 for a well-formed request, else the status of the error reply: EPROTO for a
// short message, a wrong magic or an input that does not match inSize; EINVAL for sizes
// over the payload limit or a message larger than any request (`truncated`).
std::uint32_t ParseRequest(const std::uint8_t* data, std::size_t size, bool truncated,
                           ParsedRequest* request);

// Header and at most `outSize` bytes of `out`.
std::vector<std::uint8_t> BuildReply(std::uint32_t sequence, std::uint32_t status,
                                     const std::vector<std::uint8_t>& out, std::uint32_t outSize);

}  // namespace simdriver
