#include <windows.h>

#include "platform/SingleInstance.h"

namespace platform {

// A named mutex, created owned; the system closes it with the process.
std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Create(const std::string& name,
                                                               bool* alreadyHeld) {
    if (alreadyHeld) *alreadyHeld = false;
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (!mutex) return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (alreadyHeld) *alreadyHeld = true;
        CloseHandle(mutex);
        return nullptr;
    }
    return std::unique_ptr<SingleInstanceLock>(
        new SingleInstanceLock(reinterpret_cast<std::intptr_t>(mutex)));
}

SingleInstanceLock::~SingleInstanceLock() { CloseHandle(reinterpret_cast<HANDLE>(m_handle)); }

}  // namespace platform
