"""Drives the real executable like a packer: a pseudo-terminal scale sends a weight, xdotool
types a waybill and Enter into the focused window, and the order database then holds the
shipped order. Closing the window afterwards ends the program with exit code 0."""
import sqlite3
import sys
import time

import harness

WAYBILL = "880000000001"  # the first demo waybill: packed out, waiting to be completed


def main(bin_dir, tools_dir, source_dir):
    display = harness.Display()
    bench = harness.Bench(bin_dir, tools_dir, source_dir)
    app = scale = None
    try:
        with sqlite3.connect(bench.path("db.mdb")) as db:
            db.execute("update pwd set check3 = 1, DefaultOpr = '张三', Com = 1")
        scale = harness.Scale(bench)
        scale.plug_in()

        app = bench.start(display)
        window = harness.wait_for_window(display, "Ver.Build201109020800")
        if not window:
            print("no main window")
            return 1
        scale.send("1.250", 6)
        harness.scan(display, window, WAYBILL)

        deadline = time.time() + 20
        row = None
        while time.time() < deadline:
            with sqlite3.connect(bench.path("orders.db")) as db:
                row = db.execute("select ID, TradeStatus, weight2, sndOperator from df_Trade "
                                 "where PostID = ?", (WAYBILL,)).fetchone()
                if row and row[1] == "交易完成":
                    logs = db.execute("select Event, User from df_TradeLog where TradeID = ?",
                                      (row[0],)).fetchall()
                    moved = db.execute("select count(*) from es_TradeLog where SndID = ? and "
                                       "PostStatus = 1", (WAYBILL,)).fetchone()[0]
                    break
            time.sleep(0.2)
        else:
            print("the order was not shipped:", row)
            return 1
        print("shipped:", row, logs)
        if row[2] != 1250 or logs != [("完成关闭", "张三")] or moved != 0:
            print("unexpected rows", row, logs, moved)
            return 1

        harness.close_window(display, window)
        code = app.wait(20)
        if code != 0:
            print("exit code", code, app.stdout.read().decode(errors="replace"))
            return 1
        return 0
    finally:
        if app and app.poll() is None:
            app.kill()
        if scale:
            scale.stop()
        bench.cleanup()
        display.stop()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
