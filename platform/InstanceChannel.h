// How a later instance of the panel reaches the running one, which it finds by the title
// of the running instance's main window.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class InstanceRequest {
    Quit,            // end the running instance (its tray menu's Quit)
    SelectSettings,  // select the buffer settings page, without showing anything
    Activate,        // restore the window if minimised, show it and bring it forward
};

// The running instance's end of the channel, owned by its main window.
class InstanceListener {
public:
    // Starts listening for requests addressed to `windowTitle`. Returns null and fills
    // `error` when that is impossible; a channel left behind by a dead instance is
    // replaced.
    static std::unique_ptr<InstanceListener> Create(const std::string& windowTitle,
                                                    std::string* error = nullptr);
    ~InstanceListener();
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    // A descriptor that becomes readable when requests are pending, to be watched by the
    // event loop; -1 where requests arrive as window messages instead (Win32).
    int WatchFd() const;

    // Takes the pending requests without blocking, at most a bounded batch per call
    // (the descriptor stays readable while more wait). Unknown or oversized input is
    // dropped.
    std::vector<InstanceRequest> TakeRequests();

private:
    struct Impl;
    explicit InstanceListener(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// The running instance as a later one sees it.
class RunningInstance {
public:
    // Null when no instance listens under `windowTitle`.
    static std::unique_ptr<RunningInstance> Find(const std::string& windowTitle);
    ~RunningInstance();
    RunningInstance(const RunningInstance&) = delete;
    RunningInstance& operator=(const RunningInstance&) = delete;

    // Hands one request to the running instance; false when it could not be delivered
    // (the instance went away, or did not take it within a few seconds).
    bool Post(InstanceRequest request);

private:
    struct Impl;
    explicit RunningInstance(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// Win32: the request that a window message of the main window carries (the message as
// the event loop hands it over, a MSG*); always empty on POSIX, where requests come
// through WatchFd().
std::optional<InstanceRequest> DecodeWindowMessage(const void* nativeMessage);

}  // namespace platform
