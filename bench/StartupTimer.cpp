// Times a desktop program's start: from the moment it is started to the
// moment its first top-level window is mapped on the X display, the same way
// for any program. Then, after a pause, takes its resident memory, and ends
// it with SIGTERM. Prints each run and the medians.
//
//   startup_timer <runs> <settle-ms> <program> [arguments...]
//
// With --after, times how soon a running program answers a command with a
// new top-level window: runs the command, waits for it, then for a window of
// process <pid> to be mapped, and then for that window to go, each round.
//
//   startup_timer --after <rounds> <pid> <command> [arguments...]
//
// Needs $DISPLAY (run it under Xvfb); no window manager is needed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

long windowPid(Display* display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None)
        return -1;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data && items == 1 && format == 32)
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int ignoreErrors(Display*, XErrorEvent*)
{
    return 0; // a window can go away between its event and our question
}

// Waits up to 20 s for an event of `type` about a top-level window; with
// pid > 0 one of that process, else the window `window`. Gives the window.
Window waitFor(Display* display, int type, long pid, Window window)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != type)
                continue;
            const Window about = type == MapNotify ? event.xmap.window : event.xunmap.window;
            if (pid > 0 ? windowPid(display, about) == pid : about == window)
                return about;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return None;
}

int timeAnswers(Display* display, int rounds, long pid, char** command)
{
    std::vector<double> answerMs;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point started = Clock::now();
        pid_t child = 0;
        int status = 0;
        if (posix_spawn(&child, command[0], nullptr, nullptr, command, environ) != 0 ||
            ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "round %d: %s failed\n", round + 1, command[0]);
            return 1;
        }
        const Window shown = waitFor(display, MapNotify, pid, None);
        if (shown == None) {
            std::fprintf(stderr, "round %d: no window of process %ld was mapped within 20 s\n", round + 1,
                         pid);
            return 1;
        }
        answerMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        std::printf("round %2d: window mapped %7.1f ms after the command began\n", round + 1,
                    answerMs.back());
        std::fflush(stdout);
        waitFor(display, UnmapNotify, 0, shown);
    }
    std::printf("median: window mapped %.1f ms after the command began (%d rounds)\n", median(answerMs),
                rounds);
    return 0;
}

// The display, with every top-level window's mapping reported.
Display* openDisplay()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open the display\n");
        return nullptr;
    }
    XSetErrorHandler(ignoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    return display;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "--after") == 0) {
        Display* display = openDisplay();
        if (!display)
            return 1;
        const int result =
            timeAnswers(display, std::max(1, std::atoi(argv[2])), std::atol(argv[3]), argv + 4);
        XCloseDisplay(display);
        return result;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <runs> <settle-ms> <program> [arguments...]\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const int settleMs = std::max(0, std::atoi(argv[2]));
    Display* display = openDisplay();
    if (!display)
        return 1;

    std::vector<double> startMs;
    std::vector<double> rssKiB;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point started = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0) {
            std::perror("posix_spawn");
            return 1;
        }
        double mappedMs = -1;
        const Clock::time_point deadline = started + std::chrono::seconds(20);
        while (mappedMs < 0 && Clock::now() < deadline) {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == MapNotify && mappedMs < 0 && windowPid(display, event.xmap.window) == pid)
                    mappedMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            }
            if (mappedMs < 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        const long rss = residentKiB(pid);
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (mappedMs < 0) {
            std::fprintf(stderr, "run %d: no window of %s was mapped within 20 s\n", run + 1, argv[3]);
            return 1;
        }
        startMs.push_back(mappedMs);
        rssKiB.push_back(static_cast<double>(rss));
        std::printf("run %2d: window mapped after %7.1f ms, resident %6ld KiB\n", run + 1, mappedMs, rss);
    }
    std::printf("median: window mapped after %.1f ms, resident %.0f KiB (%d runs)\n", median(startMs),
                median(rssKiB), runs);
    XCloseDisplay(display);
    return 0;
}
