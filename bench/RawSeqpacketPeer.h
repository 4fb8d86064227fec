// The floor for a driver request: a child process that answers every SOCK_SEQPACKET
// request with a reply of the asked size and does nothing else. Requests and replies
// carry the same headers as the driver's socket, so only the driver's own work and our
// client's bookkeeping separate a real request from one round trip here.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

class RawSeqpacketPeer {
public:
    RawSeqpacketPeer();  // forks the answering child
    ~RawSeqpacketPeer();
    RawSeqpacketPeer(const RawSeqpacketPeer&) = delete;
    RawSeqpacketPeer& operator=(const RawSeqpacketPeer&) = delete;

    bool Valid() const { return m_socket >= 0; }
    // One request of `inSize` input bytes answered with `outSize` output bytes.
    bool RoundTrip(std::uint32_t inSize, std::uint32_t outSize);
    // Mean time of one such round trip in microseconds, over `count` of them.
    double MeanRoundTripUs(std::uint32_t inSize, std::uint32_t outSize, int count);

private:
    int m_socket = -1;
    pid_t m_child = -1;
    std::uint32_t m_sequence = 0;
    std::vector<unsigned char> m_buffer;
};
