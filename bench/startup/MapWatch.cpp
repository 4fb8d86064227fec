// zel-bench-mapwatch [--settle MS] PROGRAM [ARGS...]: starts PROGRAM and prints the
// milliseconds from its exec to the first MapNotify of a top-level window whose
// _NET_WM_PID is the program (or a child of it, for wrappers such as /usr/bin/time).
// Then waits MS (default 0), ends the program with SIGTERM and reaps it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

long WindowPid(Display* display, Window window, Atom pidAtom) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data && items == 1 && format == 32)
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return pid;
}

long ParentOf(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    char state;
    long parent = -1;
    std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent);
    return parent;
}

}  // namespace

int main(int argc, char* argv[]) {
    int first = 1;
    long settleMs = 0;
    if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
        settleMs = std::atol(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: zel-bench-mapwatch [--settle MS] PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "zel-bench-mapwatch: cannot open the display\n");
        return 1;
    }
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        _exit(127);
    }
    long windowPid = -1;
    double elapsedMs = -1;
    const int xfd = ConnectionNumber(display);
    while (elapsedMs < 0) {
        if (waitpid(child, nullptr, WNOHANG) == child) {
            std::fprintf(stderr, "zel-bench-mapwatch: the program ended without a window\n");
            return 1;
        }
        if (!XPending(display)) {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(xfd, &fds);
            timeval tv{0, 100000};
            select(xfd + 1, &fds, nullptr, nullptr, &tv);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify) continue;
        const long pid = WindowPid(display, event.xmap.window, pidAtom);
        if (pid == child || (pid > 0 && ParentOf(pid) == child)) {
            elapsedMs = std::chrono::duration<double, std::milli>(
                            std::chrono::steady_clock::now() - start)
                            .count();
            windowPid = pid;
        }
    }
    std::printf("%.2f\n", elapsedMs);
    std::fflush(stdout);
    if (settleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    kill(static_cast<pid_t>(windowPid), SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    XCloseDisplay(display);
    return 0;
}
