#include "simdriver/server/DeviceEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/ZivuUsbRecords.h"

namespace simdriver {

DeviceEntries::DeviceEntries(std::string runDir)
    : m_dir(std::move(runDir) + "/" + ZIVU_INTERFACE_CLASS) {}

std::string DeviceEntries::EntryName(const std::string& serial) {
    return "usb#vid_0000&pid_0000#" + serial + "#{9c16e615-a7ac-458f-819f-718a8a11ef08}";
}

bool DeviceEntries::Prepare(std::string* error) {
    if (::mkdir(m_dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error) *error = m_dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(m_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        if (error) *error = m_dir + ": not a directory of this user";
        return false;
    }
    if ((st.st_mode & 07777) != 0700) ::chmod(m_dir.c_str(), 0700);
    if (DIR* dir = ::opendir(m_dir.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name.rfind("usb#", 0) == 0) ::unlink((m_dir + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    m_present.clear();
    return true;
}

void DeviceEntries::Sync(const SimState& state) {
    std::set<std::string> plugged;
    for (const SimDevice& device : state.devices) plugged.insert(device.serial);
    for (auto it = m_present.begin(); it != m_present.end();) {
        if (plugged.count(*it)) {
            ++it;
            continue;
        }
        ::unlink((m_dir + "/" + EntryName(*it)).c_str());
        it = m_present.erase(it);
    }
    for (const std::string& serial : plugged) {
        if (m_present.count(serial)) continue;
        std::string path = m_dir + "/" + EntryName(serial);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            m_present.insert(serial);
        }
    }
}

void DeviceEntries::RemoveAll() {
    for (const std::string& serial : m_present) ::unlink((m_dir + "/" + EntryName(serial)).c_str());
    m_present.clear();
}

}  // namespace simdriver
