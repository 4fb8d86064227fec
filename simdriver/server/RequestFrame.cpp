#include "simdriver/server/RequestFrame.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/DeviceSocketProtocol.h"

namespace simdriver {

using platform::wire::kMaxPayload;
using platform::wire::kReplyMagic;
using platform::wire::kRequestMagic;
using platform::wire::ReplyHeader;
using platform::wire::RequestHeader;

std::uint32_t ParseRequest(const std::uint8_t* data, std::size_t size, bool truncated,
                           ParsedRequest* request) {
    *request = ParsedRequest{};
    if (size >= offsetof(RequestHeader, code)) {
        std::memcpy(&request->sequence, data + offsetof(RequestHeader, sequence),
                    sizeof request->sequence);
        request->hasSequence = true;
    }
    if (size < sizeof(RequestHeader)) return EPROTO;
    RequestHeader header;
    std::memcpy(&header, data, sizeof header);
    if (header.magic != kRequestMagic) return EPROTO;
    if (truncated || header.inSize > kMaxPayload || header.outSize > kMaxPayload) return EINVAL;
    if (size != sizeof header + header.inSize) return EPROTO;
    request->code = header.code;
    request->outSize = header.outSize;
    request->inSize = header.inSize;
    request->in = data + sizeof header;
    return 0;
}

static_assert(kReplyOutputOffset == sizeof(ReplyHeader));

std::size_t FinishReply(std::uint8_t* message, std::uint32_t sequence, std::uint32_t status,
                        std::uint32_t outLength) {
    const ReplyHeader header{kReplyMagic, sequence, status, outLength};
    std::memcpy(message, &header, sizeof header);
    return sizeof header + outLength;
}

}  // namespace simdriver
