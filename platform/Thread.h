#pragma once

#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

namespace tv {

// A worker thread in the manner of a classic thread class: the body is Execute(), which runs on a
// thread of its own and checks Terminated() regularly; Synchronize() hands work to the UI thread
// and blocks until it has run there.
//
// A derived class starts the thread by calling Start() at the end of its constructor (unless it
// was created suspended, in which case Resume() starts it), and calls stopAndWait() first in its
// destructor, so that Execute never runs on members that are already gone.
class Thread {
public:
    explicit Thread(bool createSuspended);
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Asks the body to end; also wakes a paused thread and starts one that was created suspended,
    // so that either ends at once.
    void Terminate();
    bool Terminated() const;

    // Blocks until the thread has ended; true when it has. On the UI thread it keeps running
    // hand-overs meanwhile, so a worker blocked in Synchronize() can still finish.
    // timeoutMs < 0 waits without bound.
    bool WaitFor(int timeoutMs = -1);
    bool Finished() const;

    // Linux cannot suspend a thread from outside: Suspend() makes the body wait at its next
    // pausePoint(), Resume() lets it go on (and starts a thread created suspended).
    void Suspend();
    void Resume();

    // Runs fn on the UI thread and returns when it has run; on the UI thread itself it runs fn
    // directly. False when fn did not run because the thread object is being destroyed.
    bool Synchronize(const std::function<void()>& fn);

    // True on the thread of the application object (the UI thread).
    static bool isUiThread();
    // Total time the UI thread has spent running hand-overs, for measurements.
    static std::chrono::nanoseconds handOverTime();

protected:
    virtual void Execute() = 0;
    // Runs on the thread after Execute, or in its place when the thread was terminated before it
    // ran; releases what the thread owns.
    virtual void DoTerminate() {}

    void Start();
    // Waits while suspended; returns false once Terminate() was called.
    bool pausePoint();
    // Sleeps up to ms milliseconds, cut short by Terminate(); false once terminated.
    bool sleepFor(int ms);
    // Terminate, then wait (serving hand-overs on the UI thread); after a generous bound,
    // hand-overs stop running so the body can run out, and a thread that still does not end is
    // left to itself rather than aborting the process.
    void stopAndWait();
    // The Qt thread the body runs on, so that objects the body uses can be moved to it.
    QThread* qThread() const;

private:
    struct State;
    class Runner;
    void run();

    std::shared_ptr<State> m_state;
    Runner* m_runner;
};

} // namespace tv
