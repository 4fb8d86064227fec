// A private runtime directory for one test: XDG_RUNTIME_DIR points at a fresh 0700
// directory while the object lives, so locks, channels and driver sockets of parallel
// tests never meet.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testsupport {

class ScopedRunDir {
public:
    ScopedRunDir() {
        const char* old = getenv("XDG_RUNTIME_DIR");
        if (old) m_old = old, m_hadOld = true;
        std::string pattern = (std::filesystem::temp_directory_path() / "zel-test-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
        setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }
    ~ScopedRunDir() {
        if (m_hadOld)
            setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScopedRunDir(const ScopedRunDir&) = delete;
    ScopedRunDir& operator=(const ScopedRunDir&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::string m_old;
    bool m_hadOld = false;
};

}  // namespace testsupport
