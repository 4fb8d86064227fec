#include "simdriver/server/RequestFrame.h"

#include <algorithm>
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

std::vector<std::uint8_t> BuildReply(std::uint32_t sequence, std::uint32_t status,
                                     const std::vector<std::uint8_t>& out, std::uint32_t outSize) {
    auto length = static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), outSize));
    ReplyHeader header{kReplyMagic, sequence, status, length};
    std::vector<std::uint8_t> message(sizeof header + length);
    std::memcpy(message.data(), &header, sizeof header);
    if (length > 0) std::memcpy(message.data() + sizeof header, out.data(), length);
    return message;
}

}  // namespace simdriver
