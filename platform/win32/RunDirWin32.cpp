#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/RunDir.h"

namespace platform {

// Windows has no per-user runtime directory; the user's temporary directory serves for
// the few files the program keeps (the device objects live in the kernel's namespace).
std::string RuntimeDir(std::string* error) {
    char path[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length > sizeof path) {
        if (error) *error = "no temporary directory (error " + std::to_string(GetLastError()) + ")";
        return std::string();
    }
    std::string dir(path, length);
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

}  // namespace platform
