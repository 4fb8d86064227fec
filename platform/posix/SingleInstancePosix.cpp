#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/RunDir.h"
#include "platform/SingleInstance.h"

namespace platform {

// flock() on a file in the private runtime directory: the kernel drops the lock with the
// last descriptor, so a crashed instance never leaves a stale lock behind.
std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Create(const std::string& name,
                                                               bool* alreadyHeld) {
    if (alreadyHeld) *alreadyHeld = false;
    const std::string dir = RuntimeDir();
    if (dir.empty()) return nullptr;
    const std::string path = dir + "/" + name + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return nullptr;
    int rc;
    do rc = flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno == EWOULDBLOCK && alreadyHeld) *alreadyHeld = true;
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<SingleInstanceLock>(new SingleInstanceLock(fd));
}

SingleInstanceLock::~SingleInstanceLock() { close(static_cast<int>(m_handle)); }

}  // namespace platform
