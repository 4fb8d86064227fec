#include "E2eSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::string& logPath)
    : m_pid(Spawn(argv, logPath)) {}

Process::~Process() { Terminate(); }

bool Process::Running() { return Started() && !Wait(0ms).has_value(); }

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
    if (m_status) return m_status;
    if (!Started()) return -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            return m_status;
        }
        if (done < 0) return m_status = -1;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

void Process::Terminate() {
    if (!Started() || m_status) return;
    kill(m_pid, SIGTERM);
    if (!Wait(5s)) {
        kill(m_pid, SIGKILL);
        Wait(5s);
    }
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

std::string Shell(const std::string& command, int* exitCode) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        const int status = pclose(pipe);
        if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (exitCode) {
        *exitCode = -1;
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

bool Session::SkipWithout(const std::string& program) {
    int code = 0;
    Shell("command -v " + program, &code);
    return code != 0;
}

void Session::SetUp() {
    for (const char* program : {"Xvfb", "xdotool", "xwininfo"})
        if (SkipWithout(program))
            GTEST_SKIP() << program << " is not installed (scripts/setup installs it)";
    ASSERT_TRUE(fs::exists(Bin("zel-usb-cpl")));

    std::string pattern = (fs::temp_directory_path() / "zel-e2e-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    m_dir = pattern;
    for (const char* sub : {"/run", "/home", "/data", "/config"})
        ASSERT_EQ(mkdir((m_dir + sub).c_str(), 0700), 0);
    // Everything private to the test: the lock, the channel, the driver's sockets, its
    // state file, and no session bus to autolaunch (the tray test brings its own).
    setenv("XDG_RUNTIME_DIR", (m_dir + "/run").c_str(), 1);
    setenv("HOME", (m_dir + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + m_dir + "/no-bus").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Sanitizer builds: Qt's D-Bus module leaks a little at exit; the panel must not fail
    // its exit code for that.
    std::string lsan = std::getenv("LSAN_OPTIONS") ? std::getenv("LSAN_OPTIONS") : "";
    lsan += std::string(lsan.empty() ? "" : ":") + "suppressions=" ZEL_E2E_SOURCE_DIR
                                                   "/lsan.supp:print_suppressions=0";
    setenv("LSAN_OPTIONS", lsan.c_str(), 1);
    unsetenv("SESSION_MANAGER");

    // -displayfd: Xvfb picks a free display itself and writes its number to the pipe.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    m_xvfb = std::make_unique<Process>(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset",
                                 "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
        LogPath("xvfb"));
    close(fds[1]);
    std::string number;
    for (pollfd p{fds[0], POLLIN, 0}; poll(&p, 1, 20000) > 0;) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    m_display = ":" + number;
    setenv("DISPLAY", m_display.c_str(), 1);
}

void Session::TearDown() {
    if (m_dir.empty()) return;
    if (HasFailure()) {
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            if (entry.path().extension() != ".log") continue;
            std::ifstream in(entry.path());
            std::cout << "---- " << entry.path().filename().string() << "\n" << in.rdbuf() << "\n";
        }
    }
    m_panels.clear();
    if (m_daemon) {
        SimDriver("quit");
        if (!m_daemon->Wait(5s)) m_daemon->Terminate();
        m_daemon.reset();
    }
    m_tray.reset();
    m_xvfb.reset();
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
}

std::string Session::Bin(const std::string& name) const {
    const char* dir = std::getenv("ZEL_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

std::string Session::SimDriver(const std::string& arguments, int* exitCode) {
    return Shell(Quote(Bin("zel-usb-simdriver")) + " " + arguments, exitCode);
}

void Session::StartDaemon(int devices) {
    ASSERT_TRUE(fs::exists(Bin("zel-usb-simdriver")));
    m_daemon = std::make_unique<Process>(std::vector<std::string>{Bin("zel-usb-simdriver"), "serve",
                                                                  "--state", m_dir + "/state.json"},
                                         LogPath("simdriver"));
    ASSERT_TRUE(WaitFor([&] {
        int code = -1;
        SimDriver("dump", &code);
        return code == 0;
    })) << "the substitute driver did not come up";
    for (int i = 1; i <= devices; ++i) {
        int code = -1;
        SimDriver("plug --serial E2E-000" + std::to_string(i) + " --name 'KM-8 Unit " +
                      std::to_string(i) + "'",
                  &code);
        ASSERT_EQ(code, 0);
    }
}

std::vector<LogEntry> Session::DaemonLog() {
    std::vector<LogEntry> entries;
    const nlohmann::json log = nlohmann::json::parse(SimDriver("log"), nullptr, false);
    const nlohmann::json& list = log.is_object() && log.contains("log") ? log["log"] : log;
    if (!list.is_array()) return entries;
    for (const auto& e : list)
        entries.push_back({e.value("connection", 0u), e.value("code", 0u), e.value("status", 0u)});
    return entries;
}

std::size_t Session::CountRequests(std::uint32_t code) {
    std::size_t n = 0;
    for (const LogEntry& e : DaemonLog()) n += e.code == code;
    return n;
}

std::unique_ptr<Process> Session::StartPanel(const std::vector<std::string>& options) {
    std::vector<std::string> argv{Bin("zel-usb-cpl")};
    argv.insert(argv.end(), options.begin(), options.end());
    return std::make_unique<Process>(argv, LogPath("panel"));
}

std::optional<int> Session::RunPanel(const std::vector<std::string>& options) {
    return StartPanel(options)->Wait(20s);
}

std::optional<unsigned long> Session::FrameWindow() {
    const std::string ids =
        Shell("xdotool search --name " + Quote(std::string("^") + kTitle + "$"));
    if (ids.empty()) return std::nullopt;
    return std::stoul(ids.substr(0, ids.find('\n')));
}

bool Session::Viewable(unsigned long window) {
    return Shell("xwininfo -id " + std::to_string(window)).find("Map State: IsViewable") !=
           std::string::npos;
}

bool Session::FrameViewable() {
    const auto window = FrameWindow();
    return window && Viewable(*window);
}

std::vector<unsigned long> Session::ViewableWindowsOf(pid_t pid, const std::string& name) {
    std::string command = "xdotool search --onlyvisible --pid " + std::to_string(pid);
    if (!name.empty()) command += " --all --name " + Quote(name);
    std::vector<unsigned long> windows;
    std::istringstream lines(Shell(command));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) windows.push_back(std::stoul(line));
    return windows;
}

void Session::StartTrayHost() {
    m_tray = std::make_unique<Process>(
        std::vector<std::string>{"trayer", "--edge", "bottom", "--align", "right", "--widthtype",
                                 "pixel", "--width", "120", "--height", "24"},
        LogPath("trayer"));
    ASSERT_TRUE(WaitFor([&] {
        return !Shell("xdotool search --pid " + std::to_string(m_tray->Pid())).empty();
    })) << "trayer did not come up";
}

}  // namespace e2e
