// The processes on the far side of the transport benchmark's sockets: a bare ping-pong
// peer that sets the physical limit, and a minimal driver speaking our framing.
#pragma once

#include <sys/types.h>

#include <string>

// A forked peer that answers every message on a SOCK_SEQPACKET socketpair with as many
// bytes as the message's first four bytes ask for, and nothing else.
struct RawPeer {
    int fd = -1;
    pid_t pid = -1;
    bool Start();
    void Stop();
};

// A forked driver that listens on <dir>/<name>, answers the version request with
// interface 2 and every other request with status 0 and the bytes asked for.
struct FramedEchoDriver {
    std::string dir;
    std::string path;
    pid_t pid = -1;
    bool Start(const char* name);
    void Stop();
};
