#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/RunDir.h"

namespace platform {

std::string RuntimeDir(std::string* error) {
    auto fail = [error](std::string message) {
        if (error) *error = std::move(message);
        return std::string();
    };
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) return xdg;

    std::string dir = "/tmp/zel-usb-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return fail(dir + ": " + std::strerror(errno));
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) return fail(dir + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return fail(dir + ": not a directory owned by this user");
    if ((st.st_mode & 0077) != 0 && chmod(dir.c_str(), 0700) != 0)
        return fail(dir + ": " + std::strerror(errno));
    return dir;
}

}  // namespace platform
