#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace tv::test {

// Runs the event loop, as the application does, until done() holds or timeoutMs have passed;
// returns done(). (QTRY_ sleeps between turns, which would slow a reader's hand-overs down.)
bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A scale on a socat pseudo-terminal pair: its port end is <folder>/com1 (a dosdevices
// folder), the test writes the other end. The device can vanish and come back under the same
// links.
class PtyPair {
public:
    // How long a test watches for something that must not happen once it has written: a reader
    // that wrongly goes on shows a line within milliseconds.
    static constexpr int QuietMs = 500;

    PtyPair(); // plugged in
    ~PtyPair();
    bool ready() const { return m_fd >= 0; }
    // The dosdevices folder holding com1.
    QString folder() const { return m_folder; }
    void write(const QByteArray& bytes);
    // A scale's reading line for the given weight text, "1.250" for example.
    static QByteArray reading(const char* kg);
    // Writes bytes again and again, one turn of the event loop of intervalMs apart, until done()
    // holds: a reader that has just started discards what arrived before it, as a real one does,
    // and a scale sends its reading over and over.
    bool sendUntil(const QByteArray& bytes, const std::function<bool()>& done,
                   int timeoutMs = 20000, int intervalMs = 200);

    // The device vanishes: socat ends and both ends go.
    void kill();
    // The device comes back under the same links; true once it can be written.
    bool plugIn();

    // Keeps the port end open, never read, so that queuedAtPort() can count the bytes waiting
    // there; call before a reader opens the port for itself.
    bool watchPort();
    int queuedAtPort() const;
    // The cable is pulled: socat is asked to end and removes both links, as udev removes a
    // device's links. plugIn() puts it back.
    void unplug();

private:
    void closeFeed();

    QTemporaryDir m_dir;
    QString m_folder;
    QProcess m_socat;
    int m_fd = -1;
    int m_watch = -1;
};

} // namespace tv::test
