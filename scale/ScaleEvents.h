#pragma once

#include <QString>

namespace tv {

// What the scale reader tells the window side. Every call comes on the UI thread and must return
// at once: the reader never waits for the user.
class ScaleEvents {
public:
    virtual ~ScaleEvents() = default;
    // The port could not be opened ("COM3:无法连接，请检查!"); the reader is dead.
    virtual void portUnavailable(const QString& text) = 0;
    // A step on the port failed; text is the whole report ("WARNING:  … Port: n\n").
    virtual void commError(const QString& text) = 0;
    // The reader has no device any more (it lost it, or it ended): no reading stands.
    virtual void scaleLost() = 0;
};

} // namespace tv
