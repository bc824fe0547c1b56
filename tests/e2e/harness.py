"""Shared pieces of the end-to-end tests: a private copy of tolvane in a folder of its own,
an Xvfb display, and a runtime folder per copy (so that each copy has its own lock)."""
import os
import shutil
import subprocess
import tempfile
import time


class Display:
    """An Xvfb server on a free display number, stopped at exit."""

    def __init__(self):
        # Xvfb picks a free display itself and writes its number to the pipe, so parallel
        # runs never share one. Without -noreset the server resets when its last client
        # leaves, and a program starting just then cannot connect ("could not connect to
        # display"): that happened when a test closed one copy of the program and started the
        # next.
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp", "-noreset"],
                                     pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.proc.kill()
            raise RuntimeError("no Xvfb display could be started")
        self.name = ":" + number.decode().strip()

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait(10)


class Bench:
    """A folder holding a copy of tolvane, db.mdb, orders.db and the sound cues."""

    def __init__(self, bin_dir, tools_dir, source_dir, orders=200, scan_days=0, scans_per_day=0):
        self.folder = tempfile.mkdtemp(prefix="tolvane-e2e-")
        self.runtime = tempfile.mkdtemp(prefix="tolvane-run-")
        os.chmod(self.runtime, 0o700)
        shutil.copy2(os.path.join(bin_dir, "tolvane"), self.folder)
        subprocess.run([os.path.join(tools_dir, "mkconfigdb"),
                        os.path.join(source_dir, "data", "config.sql"),
                        os.path.join(self.folder, "db.mdb")], check=True)
        # With scan days, the last waybills come scanned over those days, with log rows.
        subprocess.run([os.path.join(tools_dir, "gen-orders"), "--rules",
                        os.path.join(self.folder, "db.mdb"),
                        "--scan-days", str(scan_days), "--scans-per-day", str(scans_per_day),
                        os.path.join(self.folder, "orders.db"), str(orders)],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run([os.path.join(tools_dir, "mkcues"), self.folder], check=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self, display, runtime=None):
        env = dict(os.environ)
        env["DISPLAY"] = display.name
        env["XDG_RUNTIME_DIR"] = runtime or self.runtime
        env.pop("QT_QPA_PLATFORM", None)
        env["QT_LOGGING_RULES"] = "qt.multimedia*=false"
        return subprocess.Popen([self.path("tolvane")], cwd=self.folder, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def cleanup(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        shutil.rmtree(self.runtime, ignore_errors=True)


def wait_for_window(display, title, timeout=30):
    """The id of the first visible window whose name contains title, or None."""
    env = dict(os.environ, DISPLAY=display.name)
    deadline = time.time() + timeout
    while time.time() < deadline:
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                             env=env, capture_output=True, text=True)
        ids = out.stdout.split()
        if ids:
            return ids[0]
        time.sleep(0.2)
    return None


def xdotool(display, *args):
    env = dict(os.environ, DISPLAY=display.name)
    subprocess.run(["xdotool"] + list(args), env=env, check=True)


def close_window(display, window):
    """Asks a window to close as a window manager does: a WM_DELETE_WINDOW client message."""
    import ctypes

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.name.encode())
    if not dpy:
        raise RuntimeError("cannot open display " + display.name)
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = int(window)
    event.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    x11.XSendEvent(dpy, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(dpy)
    x11.XCloseDisplay(dpy)


class Scale:
    """A serial scale on a pseudo-terminal: socat links dosdevices/com1 (the program's COM1) to
    scale-in, where the test writes the scale's lines. Pulled with SIGTERM, on which socat
    removes its links as udev does when a cable is pulled."""

    def __init__(self, bench):
        self.bench = bench
        self.input = bench.path("scale-in")
        self.proc = None

    def plug_in(self):
        os.makedirs(self.bench.path("dosdevices"), exist_ok=True)
        port = self.bench.path("dosdevices/com1")
        self.proc = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + port,
                                      "pty,raw,echo=0,link=" + self.input],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not (os.path.exists(port) and os.path.exists(self.input)):
            if time.time() > deadline:
                raise RuntimeError("socat made no pseudo-terminal")
            time.sleep(0.02)

    def send(self, kg, times=1, steady=True):
        """Sends a reading times, five a second, as the scale does."""
        line = ("%s,GS,+  %skg\r\n" % ("ST" if steady else "US", kg)).encode()
        with open(self.input, "wb", buffering=0) as port:
            for _ in range(times):
                port.write(line)
                time.sleep(0.2)

    def unplug(self):
        self.proc.terminate()
        self.proc.wait(10)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()


def scan(display, window, waybill):
    """Types a waybill and Enter into the window, as the hand scanner does."""
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "type", "--delay", "20", waybill)
    xdotool(display, "key", "Return")
