"""With "只接受稳定重量" on, a pseudo-terminal scale first sends unsteady lines ("US,GS,+  1.234kg"),
then steady ones ("ST,GS,+  1.240kg"). A waybill scanned during the unsteady lines is left as it
was; one scanned during the steady lines ships 1240 g. The window handles events in order, so
once the second has shipped the first has run, and it wrote nothing."""
import sqlite3
import sys
import threading
import time

import harness

UNSTEADY_WAYBILL = "880000000005"  # demo waybills packed out, waiting to be completed
STEADY_WAYBILL = "880000000001"


class Scale(threading.Thread):
    """Sends the current line five times a second until stopped."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = path
        self.line = b"US,GS,+  1.234kg\r\n"
        self.sent = {}
        self.stopping = threading.Event()

    def run(self):
        with open(self.path, "wb", buffering=0) as port:
            while not self.stopping.is_set():
                line = self.line
                port.write(line)
                self.sent[line] = self.sent.get(line, 0) + 1
                time.sleep(0.2)

    def wait_sent(self, line, count, timeout=10):
        deadline = time.time() + timeout
        while self.sent.get(line, 0) < count:
            if time.time() > deadline:
                raise RuntimeError("the scale thread stalled")
            time.sleep(0.05)


def order(bench, waybill):
    with sqlite3.connect(bench.path("orders.db")) as db:
        row = db.execute("select ID, TradeStatus, weight2 from df_Trade where PostID = ?",
                         (waybill,)).fetchone()
        logs = db.execute("select count(*) from df_TradeLog where TradeID = ?",
                          (row[0],)).fetchone()[0]
    return row[1], row[2], logs


def main(bin_dir, tools_dir, source_dir):
    display = harness.Display()
    bench = harness.Bench(bin_dir, tools_dir, source_dir)
    app = socat = scale = None
    try:
        with sqlite3.connect(bench.path("db.mdb")) as db:
            db.execute("update pwd set check3 = 1, DefaultOpr = '张三', Com = 1")
            db.execute("update ScanCheck set StableOnly = 1")
        before = order(bench, UNSTEADY_WAYBILL)
        if before[0] != "收款发货":
            print("the demo waybill is not waiting:", before)
            return 1
        socat = harness.Scale(bench)
        socat.plug_in()

        app = bench.start(display)
        window = harness.wait_for_window(display, "Ver.Build201109020800")
        if not window:
            print("no main window")
            return 1
        scale = Scale(socat.input)
        scale.start()
        unsteady = scale.line
        scale.wait_sent(unsteady, 8)
        harness.scan(display, window, UNSTEADY_WAYBILL)
        # The scan's Enter is queued behind the lines sent so far; more unsteady lines follow it.
        scale.wait_sent(unsteady, 16)

        steady = b"ST,GS,+  1.240kg\r\n"
        scale.line = steady
        scale.wait_sent(steady, 6)
        harness.scan(display, window, STEADY_WAYBILL)

        deadline = time.time() + 20
        while time.time() < deadline:
            shipped = order(bench, STEADY_WAYBILL)
            if shipped[0] == "交易完成":
                break
            time.sleep(0.2)
        else:
            print("the steady scan did not ship:", order(bench, STEADY_WAYBILL))
            return 1
        if shipped != ("交易完成", 1240, 1):
            print("unexpected steady order", shipped)
            return 1
        after = order(bench, UNSTEADY_WAYBILL)
        if after != before:
            print("the unsteady scan wrote:", before, "->", after)
            return 1
        print("unsteady left", after, "steady shipped", shipped)

        harness.close_window(display, window)
        code = app.wait(20)
        if code != 0:
            print("exit code", code, app.stdout.read().decode(errors="replace"))
            return 1
        return 0
    finally:
        if scale:
            scale.stopping.set()
            scale.join(5)
        if app and app.poll() is None:
            app.kill()
        if socat:
            socat.stop()
        bench.cleanup()
        display.stop()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
