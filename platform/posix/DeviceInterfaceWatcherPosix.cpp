// inotify backend of the device-interface watcher. The driver keeps one entry per
// plugged device in <rundir>/<class>/; creating an entry is an arrival, removing it a
// removal. The directory may vanish and come back (the driver cleans up on exit): a
// watch on the run directory notices it reappear, and a rescan reports what changed
// while it was not watched.
#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "platform/DeviceInterfaceWatcher.h"
#include "platform/RunDir.h"

namespace platform {

namespace {

constexpr std::uint32_t kDirMask = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr std::uint32_t kParentMask = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

std::set<std::string> ListEntries(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.insert(std::move(name));
        }
        closedir(d);
    }
    return names;
}

}  // namespace

struct DeviceInterfaceWatcher::Impl {
    int fd = -1;
    int dirWatch = -1;     // the class directory; -1 while it is missing
    int parentWatch = -1;  // the run directory, to see the class directory come back
    std::string className;
    std::string dir;
    std::set<std::string> present;  // entries as last reported

    ~Impl() {
        if (fd >= 0) close(fd);
    }

    bool WatchDir() {
        dirWatch = inotify_add_watch(fd, dir.c_str(), kDirMask);
        return dirWatch >= 0;
    }

    void DropDirWatch() {
        if (dirWatch >= 0) inotify_rm_watch(fd, dirWatch);  // fails harmlessly when gone
        dirWatch = -1;
    }

    // Brings `present` in line with the directory and reports the difference.
    void Rescan(std::vector<DeviceInterfaceEvent>& out) {
        std::set<std::string> now = ListEntries(dir);
        for (const std::string& name : present)
            if (!now.count(name)) out.push_back({kDeviceRemoveComplete, name});
        for (const std::string& name : now)
            if (!present.count(name)) out.push_back({kDeviceArrival, name});
        present = std::move(now);
    }

    // The directory went away: make it again (so the driver finds it ready) and watch
    // it; when that fails the parent watch picks it up once it exists.
    void Rewatch(std::vector<DeviceInterfaceEvent>& out) {
        DropDirWatch();
        mkdir(dir.c_str(), 0700);
        if (WatchDir()) Rescan(out);
    }
};

DeviceInterfaceWatcher::DeviceInterfaceWatcher() = default;
DeviceInterfaceWatcher::~DeviceInterfaceWatcher() = default;

bool DeviceInterfaceWatcher::Register(const char* interfaceClass) {
    Unregister();
    if (!interfaceClass || !*interfaceClass) return false;
    std::string runDir = RuntimeDir();
    if (runDir.empty()) return false;

    auto impl = std::make_unique<Impl>();
    impl->className = interfaceClass;
    impl->dir = runDir + "/" + interfaceClass;
    // Made here so that the watch can be set before the driver starts.
    if (mkdir(impl->dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    impl->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (impl->fd < 0) return false;
    impl->parentWatch = inotify_add_watch(impl->fd, runDir.c_str(), kParentMask);
    if (impl->parentWatch < 0 || !impl->WatchDir()) return false;
    // Devices present at registration are not events, as with the system's registration.
    impl->present = ListEntries(impl->dir);
    m_impl = std::move(impl);
    return true;
}

void DeviceInterfaceWatcher::Unregister() { m_impl.reset(); }

bool DeviceInterfaceWatcher::IsRegistered() const { return m_impl != nullptr; }

std::intptr_t DeviceInterfaceWatcher::WaitHandle() const { return m_impl ? m_impl->fd : -1; }

std::vector<DeviceInterfaceEvent> DeviceInterfaceWatcher::ReadEvents() {
    std::vector<DeviceInterfaceEvent> out;
    if (!m_impl) return out;
    Impl& impl = *m_impl;
    bool lost = false;
    bool reappeared = false;
    bool overflow = false;

    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t length = read(impl.fd, buffer, sizeof buffer);
        if (length <= 0) break;  // EAGAIN: drained
        for (char* p = buffer; p < buffer + length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            std::string name = event->len ? event->name : "";
            if (event->mask & IN_Q_OVERFLOW) {
                overflow = true;
            } else if (event->wd == impl.parentWatch) {
                if (name == impl.className && impl.dirWatch < 0) reappeared = true;
            } else if (event->wd != impl.dirWatch) {
                continue;  // left over from a watch already dropped
            } else if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                lost = true;
            } else if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                if (impl.present.insert(name).second) out.push_back({kDeviceArrival, name});
            } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                if (impl.present.erase(name)) out.push_back({kDeviceRemoveComplete, name});
            }
        }
    }

    if (lost) {
        impl.Rewatch(out);
    } else if (reappeared) {
        if (impl.WatchDir()) impl.Rescan(out);
    } else if (overflow) {
        impl.Rescan(out);  // events were lost: the directory itself is the truth
    }
    return out;
}

}  // namespace platform
