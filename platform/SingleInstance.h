// The single-instance lock: the first instance of the panel takes it and holds it until
// it ends; every later instance finds it taken.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class SingleInstanceLock {
public:
    // Takes the lock called `name`. Returns null when the lock cannot be made at all, and
    // null with *alreadyHeld set when another process holds it. The lock is released
    // when the returned object goes, or by the system when the process dies.
    static std::unique_ptr<SingleInstanceLock> Create(const std::string& name, bool* alreadyHeld);

    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

private:
    explicit SingleInstanceLock(std::intptr_t handle) : m_handle(handle) {}
    std::intptr_t m_handle;
};

}  // namespace platform
