#include "platform/Thread.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tv {

namespace {

using Clock = std::chrono::steady_clock;

struct HandOver {
    const std::function<void()>* fn;
    const void* owner;
    bool done = false;
    bool ran = false;
};

// One lock and one condition for every thread's flags and the queue of hand-overs: the traffic is
// at most a few thousand wake-ups a second, and a single lock keeps the waits simple to reason
// about. Allocated once and never freed, so a worker still blocked at process exit never waits on
// a destroyed condition.
struct Hub {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<HandOver*> queue;
    bool wakePosted = false;
    std::atomic<qint64> servedNs{0};
};

Hub& hub() {
    static Hub* h = new Hub;
    return *h;
}

// Runs the queued hand-overs on the UI thread, one at a time, in the order they came.
void serveHandOvers() {
    Hub& h = hub();
    std::unique_lock lock(h.mutex);
    h.wakePosted = false;
    while (!h.queue.empty()) {
        HandOver* r = h.queue.front();
        h.queue.pop_front();
        lock.unlock();
        const auto start = Clock::now();
        try {
            (*r->fn)();
        } catch (const std::exception& e) {
            qWarning() << "hand-over failed:" << e.what();
        } catch (...) {
            qWarning() << "hand-over failed";
        }
        h.servedNs +=
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        lock.lock();
        r->done = true;
        r->ran = true;
        h.changed.notify_all();
    }
}

constexpr int StopBoundMs = 10000;

} // namespace

struct Thread::State {
    bool constructed = false; // Start() was called: the derived object is complete
    bool started = false;
    bool finished = false;
    bool terminated = false;
    bool suspended = false;
    bool abandoned = false; // hand-overs are no longer run
};

class Thread::Runner : public QThread {
public:
    explicit Runner(Thread* owner)
        : m_owner(owner) {}

protected:
    void run() override { m_owner->run(); }

private:
    Thread* m_owner;
};

Thread::Thread(bool createSuspended)
    : m_state(std::make_shared<State>())
    , m_runner(new Runner(this)) {
    m_state->suspended = createSuspended;
}

Thread::~Thread() {
    stopAndWait();
    bool done;
    {
        std::lock_guard lock(hub().mutex);
        done = m_state->finished || !m_state->started;
    }
    // QThread aborts the process when destroyed while running; a thread that never ended is
    // left to itself instead.
    if (done && m_runner->wait(StopBoundMs))
        delete m_runner;
    else
        qCritical() << "thread still running at destruction; left to run out";
}

void Thread::Start() {
    bool launch;
    {
        std::lock_guard lock(hub().mutex);
        m_state->constructed = true;
        launch = !m_state->started && (!m_state->suspended || m_state->terminated);
        m_state->started = m_state->started || launch;
    }
    if (launch)
        m_runner->start();
}

void Thread::Terminate() {
    bool launch;
    {
        std::lock_guard lock(hub().mutex);
        m_state->terminated = true;
        launch = m_state->constructed && !m_state->started;
        m_state->started = m_state->started || launch;
        hub().changed.notify_all();
    }
    if (launch)
        m_runner->start();
}

bool Thread::Terminated() const {
    std::lock_guard lock(hub().mutex);
    return m_state->terminated;
}

bool Thread::Finished() const {
    std::lock_guard lock(hub().mutex);
    return m_state->finished;
}

void Thread::Suspend() {
    std::lock_guard lock(hub().mutex);
    m_state->suspended = true;
}

void Thread::Resume() {
    bool launch;
    {
        std::lock_guard lock(hub().mutex);
        m_state->suspended = false;
        launch = m_state->constructed && !m_state->started;
        m_state->started = m_state->started || launch;
        hub().changed.notify_all();
    }
    if (launch)
        m_runner->start();
}

bool Thread::WaitFor(int timeoutMs) {
    Hub& h = hub();
    const bool ui = isUiThread();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::unique_lock lock(h.mutex);
    while (!m_state->finished) {
        if (ui && !h.queue.empty()) {
            lock.unlock();
            serveHandOvers();
            lock.lock();
            continue;
        }
        const auto now = Clock::now();
        if (timeoutMs >= 0 && now >= deadline)
            return false;
        auto until = now + std::chrono::milliseconds(50);
        if (timeoutMs >= 0 && deadline < until)
            until = deadline;
        h.changed.wait_until(lock, until);
    }
    return true;
}

bool Thread::Synchronize(const std::function<void()>& fn) {
    if (isUiThread()) {
        fn();
        return true;
    }
    Hub& h = hub();
    HandOver request{&fn, m_state.get()};
    bool post = false;
    std::unique_lock lock(h.mutex);
    if (m_state->abandoned)
        return false;
    h.queue.push_back(&request);
    h.changed.notify_all(); // a WaitFor on the UI thread serves it without the event loop
    if (!h.wakePosted) {
        h.wakePosted = true;
        post = true;
    }
    if (post) {
        lock.unlock();
        if (auto* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &serveHandOvers, Qt::QueuedConnection);
        lock.lock();
    }
    h.changed.wait(lock, [&] { return request.done; });
    return request.ran;
}

bool Thread::isUiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

std::chrono::nanoseconds Thread::handOverTime() {
    return std::chrono::nanoseconds(hub().servedNs.load());
}

bool Thread::pausePoint() {
    std::unique_lock lock(hub().mutex);
    hub().changed.wait(lock, [&] { return !m_state->suspended || m_state->terminated; });
    return !m_state->terminated;
}

bool Thread::sleepFor(int ms) {
    std::unique_lock lock(hub().mutex);
    hub().changed.wait_for(lock, std::chrono::milliseconds(ms),
                           [&] { return m_state->terminated; });
    return !m_state->terminated;
}

void Thread::stopAndWait() {
    Terminate();
    {
        std::lock_guard lock(hub().mutex);
        if (!m_state->started || m_state->finished)
            return;
    }
    if (WaitFor(StopBoundMs))
        return;
    qWarning() << "thread did not stop in time; its hand-overs are dropped";
    {
        Hub& h = hub();
        std::lock_guard lock(h.mutex);
        m_state->abandoned = true;
        for (auto it = h.queue.begin(); it != h.queue.end();) {
            if ((*it)->owner == m_state.get()) {
                (*it)->done = true;
                it = h.queue.erase(it);
            } else {
                ++it;
            }
        }
        h.changed.notify_all();
    }
    WaitFor(StopBoundMs);
}

QThread* Thread::qThread() const {
    return m_runner;
}

void Thread::run() {
    try {
        if (!Terminated())
            Execute();
    } catch (const std::exception& e) {
        qWarning() << "thread body failed:" << e.what();
    } catch (...) {
        qWarning() << "thread body failed";
    }
    try {
        DoTerminate();
    } catch (...) {
        qWarning() << "thread clean-up failed";
    }
    std::lock_guard lock(hub().mutex);
    m_state->finished = true;
    hub().changed.notify_all();
}

} // namespace tv
