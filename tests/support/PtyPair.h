#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tv::test {

// A socat pseudo-terminal pair standing in for a scale: its port end is <folder>/com1
// (a dosdevices folder), the test writes the other end.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    bool ready() const { return m_fd >= 0; }
    // The dosdevices folder holding com1.
    QString folder() const { return m_folder; }
    void write(const QByteArray& bytes);
    // The device vanishes: socat ends and both links go.
    void kill();
    // The cable is pulled: socat is asked to end and removes both links, as udev removes a
    // device's links.
    void unplug();
    // The cable goes back in: a new socat on the same links; true when both are there again.
    bool plugBack();

private:
    void closeFeed();

    QTemporaryDir m_dir;
    QString m_folder;
    QProcess m_socat;
    int m_fd = -1;
};

} // namespace tv::test
