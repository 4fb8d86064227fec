#include "simdriver/server/StateFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "simdriver/core/StateJson.h"

namespace simdriver {
namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string HomeDir() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_dir;
    return "/tmp";
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string DefaultStatePath() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        base = data;
    else
        base = HomeDir() + "/.local/share";
    return base + "/zel-usb-simdriver/state.json";
}

bool MakePrivateDirs(const std::string& dir, std::string* error) {
    if (dir.empty()) return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return true;
    std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakePrivateDirs(dir.substr(0, slash), error))
        return false;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error) *error = ErrnoText(dir);
        return false;
    }
    return true;
}

LoadResult LoadStateFile(const std::string& path, SimState* state, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return LoadResult::Missing;
        if (error) *error = ErrnoText(path);
        return LoadResult::Corrupt;
    }
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = ErrnoText(path);
            ::close(fd);
            return LoadResult::Corrupt;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        if (error) *error = path + ": not valid JSON";
        return LoadResult::Corrupt;
    }
    std::string reason;
    if (!StateFromJson(json, state, &reason)) {
        if (error) *error = path + ": " + reason;
        return LoadResult::Corrupt;
    }
    return LoadResult::Loaded;
}

bool SaveStateFile(const std::string& path, const SimState& state, std::string* error) {
    std::size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!MakePrivateDirs(dir, error)) return false;

    std::string temporary = path + ".tmp." + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = ErrnoText(temporary);
        return false;
    }
    std::string text =
        StateToJson(state).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    bool written = WriteAll(fd, text) && ::fchmod(fd, 0600) == 0 && ::fdatasync(fd) == 0;
    int savedErrno = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        if (written) savedErrno = errno;
        ::unlink(temporary.c_str());
        errno = savedErrno;
        if (error) *error = ErrnoText(path);
        return false;
    }
    return true;
}

}  // namespace simdriver
