"""Screens as a packer and a shop owner see them: the real executable under Xvfb with the demo
data, a scan, a query of long texts, the six dialogs, the save dialog, the progress window in
the middle of an export and the statistics of the demo's scans. Each screen is saved as a PNG in the build folder (screens/), and
what a program can check is checked: the save dialog speaks Chinese and the progress bar has
advanced while the export runs. With --docs the scan and query screens are also written, at
half size, to docs/ of the source tree for the README."""
import datetime
import os
import signal
import sqlite3
import struct
import subprocess
import sys
import time
import zlib

import harness

WAYBILL = "880000000001"  # the first demo waybill: packed out, waiting to be completed
LONG_ROWS = 40            # orders with long texts, completed today
BULK_ROWS = 150000        # enough rows for an export that lasts a while


def add_orders(path):
    """Completed orders with long texts, then many plain ones, all completed today."""
    today = datetime.date.today().strftime("%Y-%m-%d 00:00:00")
    with sqlite3.connect(path) as db:
        rows = []
        for i in range(LONG_ROWS):
            rows.append(("TB2026%015d" % i, "杭州西湖区旗舰店二号分店", "顺丰速运",
                         "8800%011d" % i, "tb_buyer_%08d" % i, "欧阳娜娜", "新疆维吾尔自治区",
                         "乌鲁木齐市", "天山区", "解放北路%d号天山大厦B座1201室" % i, "830000",
                         1200, 1250, 12.5, "张三", "13849800000,0571-88886666", today))
        for i in range(BULK_ROWS):
            rows.append(("TB%d" % (300000000000 + i), "拍拍小店", "圆通速递", "YT%d" % i,
                         "buyer%d" % i, "李四", "浙江省", "杭州市", "西湖区", "文三路1号",
                         "310012", 1000, 1100, 8, "张三", "13800000000", today))
        db.executemany("insert into df_Trade (TradeNO, Shop, sndStyle, PostID, CustomerID, "
                       "CustomerName, Province, City, Area, Adr, Zip, weight, weight2, PostFee2, "
                       "sndOperator, phone, overtime, TradeStatus, bSnd) values "
                       "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '交易完成', 1)", rows)


class Screen:
    """Screenshots of one display, read into rows of RGB pixels and written as PNG files."""

    def __init__(self, display, folder):
        self.display = display
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.env = dict(os.environ, DISPLAY=display.name)

    def dump(self, window="root"):
        args = ["xwd", "-silent"] + (["-root"] if window == "root" else ["-id", str(window)])
        return subprocess.run(args, env=self.env, capture_output=True, check=True).stdout

    def grab(self, window="root", data=None):
        data = data or self.dump(window)
        header = struct.unpack(">25I", data[:100])
        size, width, height = header[0], header[4], header[5]
        order, bits, line = header[7], header[11], header[12]
        step = bits // 8
        pixels = data[size + header[19] * 12:]
        rows = []
        for y in range(height):
            raw = pixels[y * line:y * line + width * step]
            row = []
            for x in range(width):
                p = raw[x * step:x * step + step]
                row.append((p[2], p[1], p[0]) if order == 0 else (p[-1], p[-2], p[-3]))
            rows.append(row)
        return rows

    def save(self, name, rows, half=False, folder=None):
        if half:
            rows = [[tuple(sum(rows[y + dy][x + dx][c] for dy in (0, 1) for dx in (0, 1)) // 4
                           for c in range(3))
                     for x in range(0, len(rows[0]) - 1, 2)]
                    for y in range(0, len(rows) - 1, 2)]
        width, height = len(rows[0]), len(rows)
        raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)

        def chunk(kind, body):
            c = kind + body
            return struct.pack(">I", len(body)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                                  0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
        path = os.path.join(folder or self.folder, name + ".png")
        with open(path, "wb") as f:
            f.write(png)
        return path

    def shot(self, name, window="root"):
        return self.save(name, self.grab(window))

    def settle(self, window, timeout=30):
        """Waits until a screenshot of a window equals one of the two taken before it, half a
        second apart: a text caret blinks every half second, so a still window with a caret
        alternates between two pictures."""
        deadline = time.time() + timeout
        earlier, data = [], None
        while time.time() < deadline:
            data = self.dump(window)
            if data in earlier:
                break
            earlier = [data] + earlier[:1]
            time.sleep(0.5)
        return self.grab(window, data)


def geometry(display, window):
    env = dict(os.environ, DISPLAY=display.name)
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)], env=env,
                         capture_output=True, text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def click(display, window, x, y):
    harness.xdotool(display, "mousemove", "--window", str(window), str(x), str(y))
    harness.xdotool(display, "click", "1")


def mapped_windows(display, width, height):
    """Ids of the viewable top-level windows of a size."""
    env = dict(os.environ, DISPLAY=display.name)
    out = subprocess.run(["xwininfo", "-root", "-children"], env=env, capture_output=True,
                         text=True).stdout
    found = []
    for line in out.splitlines():
        line = line.strip()
        if not line.startswith("0x") or " %dx%d+" % (width, height) not in line:
            continue
        wid = line.split()[0]
        info = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True,
                              text=True).stdout
        if "IsViewable" not in info:
            continue
        found.append(wid)
    return found


def close(display, window):
    harness.xdotool(display, "windowfocus", "--sync", window)
    harness.xdotool(display, "key", "Escape")
    time.sleep(0.3)


def dialog_shot(display, screen, caption, name, failures, keep_open=False):
    """Screenshot of the window captioned caption; closed with Esc unless kept open."""
    dialog = harness.wait_for_window(display, caption, timeout=15)
    if not dialog:
        failures.append("no window captioned " + caption)
        return None
    screen.settle(dialog)
    screen.shot(name, dialog)
    if not keep_open:
        close(display, dialog)
    return dialog


def catch_progress(display, screen, pid):
    """Stops the program while the progress window shows, until a screenshot shows the bar
    advanced; the program goes on after each look. True when one did."""
    deadline = time.time() + 60
    seen = False
    while time.time() < deadline:
        found = mapped_windows(display, 261, 55)
        if not found:
            if seen:
                return False
            time.sleep(0.01)
            continue
        seen = True
        wid = found[0]
        os.kill(pid, signal.SIGSTOP)
        try:
            data = screen.dump(wid)
        finally:
            os.kill(pid, signal.SIGCONT)
        rows = screen.grab(wid, data)
        bar = [row[10:250] for row in rows[20:35]]
        background = rows[4][4]
        # The bar's filled part differs in colour from the window behind it and from the
        # bar's empty groove, which matches its right end.
        groove = bar[7][-3]
        filled = sum(1 for p in bar[7] if p != groove and p != background)
        if filled > 20:
            screen.save("progress", rows)
            return True
        time.sleep(0.05)
    return False


def main(bin_dir, tools_dir, source_dir, *options):
    display = harness.Display()
    # A week of scans, so that the statistics tab has scans of today to count.
    bench = harness.Bench(bin_dir, tools_dir, source_dir, scan_days=7, scans_per_day=20)
    build_dir = os.path.dirname(os.path.abspath(bin_dir))
    screen = Screen(display, os.path.join(build_dir, "screens"))
    docs = os.path.join(source_dir, "docs") if "--docs" in options else None
    app = scale = None
    try:
        with sqlite3.connect(bench.path("db.mdb")) as db:
            db.execute("update pwd set check3 = 1, check4 = 1, DefaultOpr = '张三', Com = 1")
        add_orders(bench.path("orders.db"))
        scale = harness.Scale(bench)
        scale.plug_in()

        app = bench.start(display)
        window = harness.wait_for_window(display, "Ver.Build201109020800")
        if not window:
            print("no main window")
            return 1
        scale.send("1.250", 4)
        harness.scan(display, window, WAYBILL)
        deadline = time.time() + 20
        while time.time() < deadline:
            with sqlite3.connect(bench.path("orders.db")) as db:
                if db.execute("select count(*) from df_TradeLog where TradeID in "
                              "(select ID from df_Trade where PostID = ?)",
                              (WAYBILL,)).fetchone()[0]:
                    break
            time.sleep(0.2)
        else:
            print("the scan wrote nothing")
            return 1
        scan = screen.settle(window)
        screen.save("main-scan", scan)
        if docs:
            screen.save("scan", scan, half=True, folder=docs)

        harness.xdotool(display, "key", "ctrl+Tab")
        screen.shot("main-query-empty", window)
        click(display, window, 740, 55)  # 查询
        # The fill is over when the button's caption is dark again.
        deadline = time.time() + 120
        while time.time() < deadline:
            rows = screen.grab(window)
            if min(min(p) for row in rows[45:66] for p in row[725:756]) < 80:
                break
            time.sleep(0.3)
        else:
            print("the query did not end")
            return 1
        query = screen.settle(window)
        screen.save("main-query", query)
        if docs:
            screen.save("query", query, half=True, folder=docs)

        failures = []
        # The save dialog: found by its Chinese caption.
        click(display, window, 655, 55)  # 导出
        save = harness.wait_for_window(display, "另存为", timeout=15)
        if not save:
            print("no save dialog captioned 另存为")
            return 1
        screen.settle(save)
        screen.shot("save-dialog", save)
        target = os.path.join(bench.folder, "export.xls")
        harness.xdotool(display, "windowfocus", "--sync", save)
        harness.xdotool(display, "key", "ctrl+a")
        harness.xdotool(display, "type", "--delay", "5", target)
        harness.xdotool(display, "key", "Return")
        if not catch_progress(display, screen, app.pid):
            failures.append("no progress window with an advanced bar was seen")
        done = harness.wait_for_window(display, "TolvaneV1.0", timeout=120)
        if not done:
            print("no message at the end of the export")
            return 1
        screen.settle(done)
        screen.shot("export-done", done)
        harness.xdotool(display, "windowfocus", "--sync", done)
        harness.xdotool(display, "key", "Return")
        if not os.path.exists(target):
            failures.append("no workbook written")

        click(display, window, 569, 55)  # 设置
        dialog_shot(display, screen, "查询及导出设置", "cxdcsz", failures)

        harness.xdotool(display, "windowfocus", "--sync", window)
        harness.xdotool(display, "key", "ctrl+Tab")
        screen.shot("main-settings", window)
        click(display, window, 90, 62)  # 电子秤设置
        dialog_shot(display, screen, "电子秤设置", "dzcsz", failures)
        click(display, window, 90, 108)  # 登陆设置
        dialog_shot(display, screen, "登陆设置", "dlsz", failures)
        click(display, window, 90, 154)  # 邮资规则设置
        rules = dialog_shot(display, screen, "运费设置", "yfsz", failures, keep_open=True)
        if rules:
            click(display, rules, 60, 25)  # 添加规则
            editor = dialog_shot(display, screen, "添加规则", "bjgz", failures, keep_open=True)
            if editor:
                click(display, editor, 300, 56)  # the province field opens the picker
                screen.settle(editor)
                screen.shot("bjgz-provinces", editor)
                close(display, editor)
            close(display, rules)
        click(display, window, 90, 200)  # 发货检查设置
        dialog_shot(display, screen, "发货检查设置", "fhjcsz", failures)

        harness.xdotool(display, "windowfocus", "--sync", window)
        harness.xdotool(display, "key", "ctrl+Tab")
        screen.settle(window)
        screen.shot("main-stats-empty", window)
        click(display, window, 655, 55)  # 统计
        screen.save("main-stats", screen.settle(window))
        for f in failures:
            print(f)
        return 1 if failures else 0
    finally:
        if app and app.poll() is None:
            app.kill()
        if scale:
            scale.stop()
        bench.cleanup()
        display.stop()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
