// Measures how long a program takes from being started until its top-level
// window is on screen and painted, as a user would see it.
//
//   startup_probe [--runs N] [--warmup N] [--timeout SEC] [--pause MS]
//                 [--title TEXT] [--keep] [--quiet] -- PROGRAM [ARGS...]
//
// "Painted" is the first XDamage report on the mapped window: Qt sets no
// window background, so the server itself never draws into it and the first
// damage is Qt's own backing store arriving. With --title only a paint that
// comes once WM_NAME or _NET_WM_NAME contains TEXT counts: a program that
// retitles itself after loading a file has then also drawn what it loaded.
// Written for a bare X server (Xvfb) without a window
// manager, where the program's top-level is a direct child of the root.
//
// --keep measures once and leaves the program running; it prints
// "window 0x... pid N" so a script can grab or stop it.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int runs = 7;
    int warmup = 0;
    double timeoutSec = 10.0;
    int pauseMs = 300;
    std::string title;
    bool keep = false;
    bool quiet = false;
    std::vector<char*> argv;
};

// Windows vanish between CreateNotify and our requests (Qt's short-lived
// helper windows, a killed program); such errors are expected, not fatal.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

[[noreturn]] void usage(const char* msg) {
    if (msg) std::fprintf(stderr, "startup_probe: %s\n", msg);
    std::fprintf(stderr,
                 "usage: startup_probe [--runs N] [--warmup N] [--timeout SEC] [--pause MS]\n"
                 "                     [--title TEXT] [--keep] [--quiet] -- PROGRAM [ARGS...]\n");
    std::exit(2);
}

Options parseArgs(int argc, char** argv) {
    Options o;
    int i = 1;
    auto value = [&](const char* name) -> const char* {
        if (i + 1 >= argc) usage((std::string(name) + " needs a value").c_str());
        return argv[++i];
    };
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--runs") o.runs = std::atoi(value("--runs"));
        else if (a == "--warmup") o.warmup = std::atoi(value("--warmup"));
        else if (a == "--timeout") o.timeoutSec = std::atof(value("--timeout"));
        else if (a == "--pause") o.pauseMs = std::atoi(value("--pause"));
        else if (a == "--title") o.title = value("--title");
        else if (a == "--keep") o.keep = true;
        else if (a == "--quiet") o.quiet = true;
        else if (a == "-h" || a == "--help") usage(nullptr);
        else if (a.rfind("--", 0) == 0) usage(("unknown option " + a).c_str());
        else break;
    }
    for (; i < argc; ++i) o.argv.push_back(argv[i]);
    o.argv.push_back(nullptr);
    if (o.argv.size() < 2) usage("no program given");
    if (o.runs < 1 || o.timeoutSec <= 0) usage("bad --runs or --timeout");
    if (o.keep) o.runs = 1, o.warmup = 0;
    return o;
}

class Probe {
public:
    Probe(Display* dpy, const Options& o) : dpy_(dpy), opt_(o) {
        root_ = DefaultRootWindow(dpy_);
        int error;
        if (!XDamageQueryExtension(dpy_, &damageEvent_, &error)) {
            std::fprintf(stderr, "startup_probe: the X server has no DAMAGE extension\n");
            std::exit(1);
        }
        netWmName_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
        netWmPid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
        utf8_ = XInternAtom(dpy_, "UTF8_STRING", False);
        XSelectInput(dpy_, root_, SubstructureNotifyMask);
        XSync(dpy_, False);
    }

    // One start of the program; the time in milliseconds, or nothing on failure.
    std::optional<double> measure(pid_t* childOut) {
        drain();
        windows_.clear();
        const char* tmp = std::getenv("TMPDIR");
        const char* sinkFolder = tmp && *tmp ? tmp : "/tmp";
        const Clock::time_point start = Clock::now();
        pid_t pid = fork();
        if (pid < 0) {
            std::perror("startup_probe: fork");
            return std::nullopt;
        }
        if (pid == 0) {
            setpgid(0, 0);
            if (opt_.quiet) {
                // Into a file of our own that no name reaches: the output
                // is thrown away when the program ends.
                int sink = open(sinkFolder, O_TMPFILE | O_WRONLY, 0600);
                if (sink >= 0) {
                    dup2(sink, STDOUT_FILENO);
                    dup2(sink, STDERR_FILENO);
                }
            } else {
                // Keep our own standard output clean for scripts reading the numbers.
                dup2(STDERR_FILENO, STDOUT_FILENO);
            }
            close(ConnectionNumber(dpy_));
            execvp(opt_.argv[0], opt_.argv.data());
            std::fprintf(stderr, "startup_probe: cannot run %s: %s\n", opt_.argv[0], std::strerror(errno));
            _exit(127);
        }
        setpgid(pid, pid);  // either side may win the race; both set the same group
        pid_ = pid;
        *childOut = pid;

        const Clock::time_point deadline =
            start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(opt_.timeoutSec));
        const int fd = ConnectionNumber(dpy_);
        for (;;) {
            while (XPending(dpy_)) {
                XEvent ev;
                XNextEvent(dpy_, &ev);
                if (Window w = handle(ev)) {
                    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    window_ = w;
                    forgetWindows();
                    return ms;
                }
            }
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::fprintf(stderr, "startup_probe: %s ended before its window was painted (status %d)\n",
                             opt_.argv[0], WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
                pid_ = 0;
                forgetWindows();
                return std::nullopt;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                std::fprintf(stderr, "startup_probe: no painted window%s after %.1f s\n",
                             opt_.title.empty() ? "" : " with the expected title", opt_.timeoutSec);
                forgetWindows();
                return std::nullopt;
            }
            // Wake up now and then to notice a program that died.
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, static_cast<int>(std::min<long long>(left, 50)));
        }
    }

    Window window() const { return window_; }

    void stopChild() {
        if (pid_ <= 0) return;
        kill(-pid_, SIGTERM);
        kill(pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {  // 2 s grace
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                kill(-pid_, SIGKILL);  // anything the program left behind
                pid_ = 0;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    struct Tracked {
        Damage damage = 0;
        bool mapped = false;
        bool painted = false;
        bool titled = false;
    };

    // Returns the window once it is mapped, painted and (if asked) titled.
    Window handle(const XEvent& ev) {
        if (ev.type == CreateNotify) {
            const XCreateWindowEvent& c = ev.xcreatewindow;
            if (c.parent == root_ && !c.override_redirect) track(c.window);
            return 0;
        }
        if (ev.type == damageEvent_ + XDamageNotify) {
            const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(ev);
            auto it = windows_.find(d.drawable);
            if (it == windows_.end()) return 0;
            if (it->second.mapped && it->second.titled && isOurs(d.drawable)) it->second.painted = true;
            else  // re-arm: a non-empty report comes only once until subtracted
                XDamageSubtract(dpy_, d.damage, None, None);
            return done(d.drawable);
        }
        Window w = ev.xany.window;
        auto it = windows_.find(w);
        if (it == windows_.end()) return 0;
        switch (ev.type) {
        case MapNotify:
            it->second.mapped = true;
            break;
        case UnmapNotify:
            it->second.mapped = false;
            it->second.painted = false;
            break;
        case PropertyNotify:
            if (ev.xproperty.atom == XA_WM_NAME || ev.xproperty.atom == netWmName_) it->second.titled = titleMatches(w);
            break;
        case DestroyNotify:
            if (it->second.damage) XDamageDestroy(dpy_, it->second.damage);
            windows_.erase(it);
            return 0;
        }
        return done(w);
    }

    void track(Window w) {
        Tracked t;
        XSelectInput(dpy_, w, StructureNotifyMask | PropertyChangeMask | ExposureMask);
        t.damage = XDamageCreate(dpy_, w, XDamageReportNonEmpty);
        // The program may have mapped (or even drawn) before our selection
        // reached the server; ask for the state now rather than miss it.
        XWindowAttributes attrs;
        if (XGetWindowAttributes(dpy_, w, &attrs) && attrs.map_state == IsViewable) t.mapped = true;
        t.titled = titleMatches(w);
        windows_[w] = t;
    }

    Window done(Window w) {
        auto it = windows_.find(w);
        if (it == windows_.end()) return 0;
        const Tracked& t = it->second;
        return t.mapped && t.painted && t.titled ? w : 0;
    }

    // Another client's window must not end the measurement; Qt sets _NET_WM_PID.
    bool isOurs(Window w) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        bool ours = true;
        if (XGetWindowProperty(dpy_, w, netWmPid_, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) ==
                Success &&
            data && n == 1 && format == 32)
            ours = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid_;
        if (data) XFree(data);
        return ours;
    }

    bool titleMatches(Window w) {
        if (opt_.title.empty()) return true;
        for (auto [prop, type] : {std::pair{netWmName_, utf8_}, std::pair{Atom(XA_WM_NAME), Atom(AnyPropertyType)}}) {
            Atom actual;
            int format;
            unsigned long n, after;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy_, w, prop, 0, 4096, False, type, &actual, &format, &n, &after, &data) ==
                    Success &&
                data) {
                const bool hit =
                    format == 8 && std::string(reinterpret_cast<char*>(data), n).find(opt_.title) != std::string::npos;
                XFree(data);
                if (hit) return true;
            }
        }
        return false;
    }

    void forgetWindows() {
        for (auto& [w, t] : windows_) {
            XSelectInput(dpy_, w, NoEventMask);
            if (t.damage) XDamageDestroy(dpy_, t.damage);
        }
        windows_.clear();
        XSync(dpy_, False);
    }

    // Leftovers of the previous run must not count for the next one.
    void drain() {
        XSync(dpy_, False);
        while (XPending(dpy_)) {
            XEvent ev;
            XNextEvent(dpy_, &ev);
        }
    }

    Display* dpy_;
    const Options& opt_;
    Window root_;
    int damageEvent_ = 0;
    Atom netWmName_, netWmPid_, utf8_;
    std::map<Window, Tracked> windows_;
    pid_t pid_ = 0;
    Window window_ = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = parseArgs(argc, argv);
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "startup_probe: cannot open display %s\n", XDisplayName(nullptr));
        return 1;
    }
    XSetErrorHandler(ignoreXError);
    Probe probe(dpy, opt);

    if (opt.keep) {
        pid_t pid = 0;
        const auto ms = probe.measure(&pid);
        if (!ms) {
            probe.stopChild();
            return 1;
        }
        std::printf("window 0x%lx pid %d ms %.1f\n", probe.window(), static_cast<int>(pid), *ms);
        return 0;
    }

    std::vector<double> times;
    for (int i = 0; i < opt.warmup + opt.runs; ++i) {
        pid_t pid = 0;
        const auto ms = probe.measure(&pid);
        probe.stopChild();
        if (!ms) return 1;
        if (i >= opt.warmup) {
            times.push_back(*ms);
            std::printf("run %d: %.1f ms\n", i - opt.warmup + 1, *ms);
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(opt.pauseMs));
    }
    std::printf("median: %.1f ms\n", median(times));
    XCloseDisplay(dpy);
    return 0;
}
