"""The scale's cable pulled and pushed back under the running program: the reader's error box
comes up once, a scan meanwhile writes nothing, readings come back without a click and a scan
ships. Closing the window while the reader's box is up ends the program with exit code 0, and a
new copy starts. A lock file that cannot be used is reported and the program runs all the same."""
import os
import sqlite3
import subprocess
import sys
import time

import harness

WAYBILLS = ["880000000001", "880000000005"]  # demo waybills packed out, waiting to be completed


def visible(display, title):
    env = dict(os.environ, DISPLAY=display.name)
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], env=env,
                         capture_output=True, text=True)
    return out.stdout.split()


def order(bench, waybill):
    with sqlite3.connect(bench.path("orders.db")) as db:
        return db.execute("select TradeStatus, weight2 from df_Trade where PostID = ?",
                          (waybill,)).fetchone()


def check_unplug_and_close(display, bench):
    with sqlite3.connect(bench.path("db.mdb")) as db:
        db.execute("update pwd set check3 = 1, DefaultOpr = '张三', Com = 1")
    scale = harness.Scale(bench)
    scale.plug_in()
    app = bench.start(display)
    try:
        window = harness.wait_for_window(display, "Ver.Build201109020800")
        if not window:
            return "no main window"
        scale.send("1.250", 5)

        scale.unplug()
        if not harness.wait_for_window(display, "Application Error", timeout=10):
            return "no error box after the unplug"
        time.sleep(2.5)  # the reader looks for the device again meanwhile, quietly
        boxes = visible(display, "Application Error")
        if len(boxes) != 1:
            return "%d error boxes after one unplug" % len(boxes)

        before = order(bench, WAYBILLS[0])
        harness.scan(display, window, WAYBILLS[0])
        # The weight field holds no number: the scan ends in the standard error box.
        report = harness.wait_for_window(display, "TolvaneV1.0", timeout=10)
        if not report:
            return "the scan without a scale reported nothing"
        harness.close_window(display, report)
        time.sleep(0.5)
        if order(bench, WAYBILLS[0]) != before:
            return "a scan without a scale wrote %s" % (order(bench, WAYBILLS[0]),)

        scale.plug_in()
        # Lines until the reader is back; 5 s is ample for a 2 s retry.
        scale.send("1.250", 25)
        harness.scan(display, window, WAYBILLS[1])
        deadline = time.time() + 20
        while time.time() < deadline and order(bench, WAYBILLS[1])[0] != "交易完成":
            time.sleep(0.2)
        if order(bench, WAYBILLS[1]) != ("交易完成", 1250):
            return "no shipment after the plug-back: %s" % (order(bench, WAYBILLS[1]),)

        scale.unplug()
        if not harness.wait_for_window(display, "Application Error", timeout=10):
            return "no error box after the second unplug"
        harness.close_window(display, window)
        code = app.wait(20)
        if code != 0:
            return "exit code %d with the box up" % code

        again = bench.start(display)
        try:
            if not harness.wait_for_window(display, "Ver.Build201109020800"):
                return "a new copy did not start"
        finally:
            again.terminate()
            again.wait(10)
        return None
    finally:
        if app.poll() is None:
            app.kill()
        scale.stop()


def check_unusable_lock(display, bench):
    runtime = bench.runtime + "-folder-lock"
    os.makedirs(os.path.join(runtime, "Dorsk.lock"))
    os.chmod(runtime, 0o700)  # Qt moves away from a runtime folder open to others
    app = bench.start(display, runtime)
    try:
        box = harness.wait_for_window(display, "TolvaneV1.0", timeout=30)
        if not box:
            # Say what the program did instead: ended (and how), or still running without a box.
            code = app.poll()
            if code is None:
                app.terminate()
                app.wait(10)
            output = app.stdout.read().decode(errors="replace")[-2000:]
            return "no box for a lock file that is a folder (exit %s) %s" % (code, output)
        harness.close_window(display, box)
        if not harness.wait_for_window(display, "Ver.Build201109020800"):
            return "the program did not go on without the guard"
        return None
    finally:
        app.terminate()
        app.wait(10)
        subprocess.run(["rm", "-rf", runtime])


def main(bin_dir, tools_dir, source_dir):
    display = harness.Display()
    bench = harness.Bench(bin_dir, tools_dir, source_dir)
    try:
        for check in (check_unplug_and_close, check_unusable_lock):
            failure = check(display, bench)
            print(check.__name__, failure or "ok")
            if failure:
                return 1
        return 0
    finally:
        bench.cleanup()
        display.stop()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
