"""Starts the installed tolvane as a new user would, with an empty home folder, twice:
first without an order database (the failure box, then the main window), then after making a
demo one with tolvane-gen-orders as the README says (the main window at once).
Checks the per-user folder and that nothing was written beside the executable.
    start_installed.py PROGRAM GEN_ORDERS [SCREENSHOT.png]"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402

MAIN_TITLE = "Ver.Build201109020800"
BOX_TITLE = "^TolvaneV1\\.0$"


def unowned_changes(folder, since):
    """Entries of folder changed after since that belong to no installed package."""
    changed = [os.path.join(folder, n) for n in os.listdir(folder)
               if os.lstat(os.path.join(folder, n)).st_mtime >= since]
    if not changed:
        return []
    out = subprocess.run(["dpkg", "-S"] + changed, capture_output=True, text=True)
    owned = {line.split(": ", 1)[1] for line in out.stdout.splitlines() if ": " in line}
    return [p for p in changed if p not in owned]


def listing(folder):
    return sorted((n, os.lstat(os.path.join(folder, n)).st_mtime) for n in os.listdir(folder))


class Run:
    def __init__(self, display, program, home, runtime):
        env = {"PATH": "/usr/bin:/bin", "DISPLAY": display.name, "HOME": home,
               "XDG_RUNTIME_DIR": runtime, "LANG": "C.UTF-8",
               "QT_LOGGING_RULES": "qt.multimedia*=false"}
        self.started = time.time()
        # Started from "/", as a menu would: the program moves to its data folder itself.
        self.proc = subprocess.Popen([program], cwd="/", env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT)

    def output(self):
        try:
            return self.proc.communicate(timeout=5)[0].decode(errors="replace")
        except Exception:
            return ""

    def stop(self, display, window):
        harness.close_window(display, window)
        try:
            return self.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None


def visible_windows(display):
    env = dict(os.environ, DISPLAY=display.name)
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=env,
                         capture_output=True, text=True).stdout.split()
    return [subprocess.run(["xdotool", "getwindowname", w], env=env, capture_output=True,
                           text=True).stdout.strip() for w in ids]


def check(failures, ok, text):
    if not ok:
        failures.append(text)
        print("FAIL: " + text)


def screenshot(display, path):
    dump = path + ".xwd"
    env = dict(os.environ, DISPLAY=display.name)
    subprocess.run(["xwd", "-root", "-silent", "-out", dump], env=env, check=True)
    subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "..", "..",
                                                 "scripts", "xwd2png.py"), dump, path],
                   check=True)
    os.remove(dump)


def main(program, gen_orders, shot=None):
    exe_folder = os.path.dirname(os.path.realpath(program))
    supplied = os.path.normpath(os.path.join(exe_folder, "..", "share", "tolvane"))
    home = tempfile.mkdtemp(prefix="tolvane-home-")
    runtime = tempfile.mkdtemp(prefix="tolvane-run-")
    os.chmod(runtime, 0o700)
    data = os.path.join(home, ".local", "share", "tolvane")
    display = harness.Display()
    failures = []
    run = None
    since = time.time() - 1
    supplied_before = listing(supplied)
    try:
        # First start: the supplied login names sqlite:orders.db, which a new user lacks.
        run = Run(display, program, home, runtime)
        box = harness.wait_for_window(display, BOX_TITLE, timeout=60)
        check(failures, box is not None, "no message box about the order database")
        if box is None:
            print("visible windows: %s" % visible_windows(display))
            return 1
        harness.xdotool(display, "windowfocus", "--sync", box)
        harness.xdotool(display, "key", "Return")
        window = harness.wait_for_window(display, MAIN_TITLE, timeout=60)
        check(failures, window is not None, "the main window did not appear after the box")
        if window is None:
            return 1
        print("first start: window after %.2f s (box answered)" % (time.time() - run.started))
        mode = stat.S_IMODE(os.stat(os.path.join(data, "db.mdb")).st_mode)
        check(failures, mode == 0o600, "db.mdb has mode %o, not 600" % mode)
        check(failures, stat.S_IMODE(os.stat(data).st_mode) == 0o700,
              "the data folder is not private (0700)")
        for name in ("Welcome.wav", "True.wav", "False.wav"):
            check(failures, os.path.isfile(os.path.join(data, name)), name + " was not copied")
        check(failures, os.path.isdir(os.path.join(data, "dosdevices")),
              "dosdevices/ was not created")
        cwd = os.readlink("/proc/%d/cwd" % run.proc.pid)
        check(failures, cwd == data, "working directory is %s, not the data folder" % cwd)
        code = run.stop(display, window)
        check(failures, code == 0, "the program ended with %s" % code)
        print(run.output().strip())

        # A demo order database, as the README says; the next start shows no box.
        gen = subprocess.run([gen_orders, "--rules", os.path.join(data, "db.mdb"),
                              os.path.join(data, "orders.db"), "200"],
                             env={"PATH": "/usr/bin:/bin", "HOME": home}, cwd=home,
                             capture_output=True, text=True)
        check(failures, gen.returncode == 0, "tolvane-gen-orders failed: " + gen.stderr)
        run = Run(display, program, home, runtime)
        window = harness.wait_for_window(display, MAIN_TITLE, timeout=60)
        check(failures, window is not None, "the main window did not appear on the demo")
        if window is None:
            print("visible windows: %s; running: %s" % (visible_windows(display),
                                                         run.proc.poll() is None))
            return 1
        print("start on the demo: window after %.2f s" % (time.time() - run.started))
        time.sleep(0.5)  # a box would have come before the window; give it a moment to map
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", BOX_TITLE],
                             env=dict(os.environ, DISPLAY=display.name), capture_output=True,
                             text=True)
        check(failures, not out.stdout.split(), "a message box showed on the demo database")
        if shot:
            screenshot(display, shot)
        code = run.stop(display, window)
        check(failures, code == 0, "the program ended with %s" % code)
        run = None

        check(failures, unowned_changes(exe_folder, since) == [],
              "written beside the executable: %s" % unowned_changes(exe_folder, since))
        check(failures, listing(supplied) == supplied_before,
              "the supplied folder %s changed" % supplied)
        return 1 if failures else 0
    finally:
        if run and run.proc.poll() is None:
            run.proc.kill()
            run.proc.wait()
        display.stop()
        shutil.rmtree(home, ignore_errors=True)
        shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
