// Start-up time of the installed program: from exec to the main window mapped on an Xvfb
// display, on a demo order database.
//   startup_bench [PROGRAM] [RUNS]      (default /usr/bin/tolvane, 10 runs of each kind)
// "first" starts have an empty data folder but the order database (the supplied db.mdb and cues
// are copied), "later" starts find everything in place. Prints median and worst in ms.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Last: Xlib defines macros (Status, Bool) that Qt's headers use as names.
#include <X11/Xlib.h>

namespace {

const char kMainTitle[] = "Ver.Build201109020800";

// Xvfb on a display it picks itself; returns its pid and the display name.
pid_t startXvfb(QString* name) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const QByteArray fd = QByteArray::number(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    QByteArray number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    *name = QStringLiteral(":") + QString::fromLatin1(number);
    return number.isEmpty() ? -1 : pid;
}

bool isMainWindow(Display* dpy, Window w) {
    char* title = nullptr;
    if (!XFetchName(dpy, w, &title) || !title)
        return false;
    const bool main = std::strstr(title, kMainTitle) != nullptr;
    XFree(title);
    return main;
}

// Starts the program and returns the ms until its main window is mapped, or -1.
double timeStart(Display* dpy, const QString& program, const QString& display, const QString& home,
                 const QString& runtime) {
    XSync(dpy, True); // drop what earlier runs left
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        clearenv();
        setenv("PATH", "/usr/bin:/bin", 1);
        setenv("DISPLAY", display.toLocal8Bit().constData(), 1);
        setenv("HOME", home.toLocal8Bit().constData(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit().constData(), 1);
        setenv("LANG", "C.UTF-8", 1);
        setenv("QT_LOGGING_RULES", "qt.multimedia*=false", 1);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        if (chdir("/") != 0)
            _exit(127);
        const QByteArray p = program.toLocal8Bit();
        execl(p.constData(), p.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    while (timer.elapsed() < 60000) {
        if (XPending(dpy) == 0) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return -1;
            usleep(200);
            continue;
        }
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == MapNotify && isMainWindow(dpy, e.xmap.window)) {
            ms = timer.nsecsElapsed() / 1e6;
            break;
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return ms;
}

void report(const char* kind, std::vector<double> ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    std::printf("startup_%s_median_ms %.1f\n", kind, ms[ms.size() / 2]);
    std::printf("startup_%s_worst_ms %.1f\n", kind, ms.back());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString program = args.value(1, QStringLiteral("/usr/bin/tolvane"));
    const int runs = args.value(2, QStringLiteral("10")).toInt();
    const QString genOrders = QFileInfo(program).absolutePath() + "/tolvane-gen-orders";
    if (!QFileInfo(program).isExecutable() || !QFileInfo(genOrders).isExecutable()) {
        std::fprintf(stderr, "startup_bench: %s or %s is missing (install the package)\n",
                     qPrintable(program), qPrintable(genOrders));
        return 2;
    }

    QTemporaryDir dir;
    const QString orders = dir.filePath("orders.db");
    if (QProcess::execute(genOrders, {orders, "2000"}) != 0)
        return 1;
    QString display;
    const pid_t xvfb = startXvfb(&display);
    if (xvfb < 0) {
        std::fprintf(stderr, "startup_bench: no Xvfb display\n");
        return 1;
    }
    Display* dpy = XOpenDisplay(display.toLocal8Bit().constData());
    if (!dpy) {
        kill(xvfb, SIGTERM);
        return 1;
    }
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);

    const QString runtime = dir.filePath("run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::vector<double> first, later;
    for (int i = 0; i < runs; ++i) {
        const QString home = dir.filePath(QStringLiteral("home%1").arg(i));
        const QString data = home + "/.local/share/tolvane";
        QDir().mkpath(data);
        QFile::copy(orders, data + "/orders.db");
        const double a = timeStart(dpy, program, display, home, runtime);
        const double b = timeStart(dpy, program, display, home, runtime);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "startup_bench: the main window did not appear\n");
            break;
        }
        first.push_back(a);
        later.push_back(b);
    }
    XCloseDisplay(dpy);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    report("first", first);
    report("later", later);
    return first.size() == size_t(runs) ? 0 : 1;
}
