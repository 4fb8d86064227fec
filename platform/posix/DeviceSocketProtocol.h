// Framing of control requests on the driver's Unix socket (SOCK_SEQPACKET): one message
// per request and one per reply. Shared by the POSIX device I/O backend and the
// substitute driver.
#pragma once

#include <cstdint>

namespace platform::wire {

constexpr std::uint32_t kRequestMagic = 0x51454C5Au;  // "ZELQ" little-endian
constexpr std::uint32_t kReplyMagic = 0x41454C5Au;    // "ZELA"

// Largest input or output record a request may carry (the largest record is 2056 bytes).
constexpr std::uint32_t kMaxPayload = 4096;

#pragma pack(push, 1)
// Followed by inSize bytes of input. A file descriptor (an eventfd) may travel with the
// request as SCM_RIGHTS ancillary data.
struct RequestHeader {
    std::uint32_t magic;
    std::uint32_t sequence;  // echoed in the reply, so a late reply is never mistaken
    std::uint32_t code;
    std::uint32_t inSize;
    std::uint32_t outSize;   // the caller's output buffer size
};

// Followed by outSize bytes of output (at most the request's outSize).
struct ReplyHeader {
    std::uint32_t magic;
    std::uint32_t sequence;
    std::uint32_t status;
    std::uint32_t outSize;
};
#pragma pack(pop)

static_assert(sizeof(RequestHeader) == 20);
static_assert(sizeof(ReplyHeader) == 16);

}  // namespace platform::wire
