"""Starts the real executable twice: the second copy exits 0 at once, the first keeps running."""
import sys
import time

import harness


def main(bin_dir, tools_dir, source_dir):
    display = harness.Display()
    bench = harness.Bench(bin_dir, tools_dir, source_dir)
    first = None
    try:
        first = bench.start(display)
        if not harness.wait_for_window(display, "Ver.Build201109020800"):
            print("the first copy shows no main window")
            return 1
        started = time.time()
        second = bench.start(display)
        try:
            code = second.wait(15)
        except Exception:
            second.kill()
            print("the second copy did not exit")
            return 1
        print("second copy exited with %d after %.2f s" % (code, time.time() - started))
        if code != 0:
            return 1
        if first.poll() is not None:
            print("the first copy ended")
            return 1
        return 0
    finally:
        if first and first.poll() is None:
            first.terminate()
            try:
                first.wait(10)
            except Exception:
                first.kill()
        bench.cleanup()
        display.stop()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
