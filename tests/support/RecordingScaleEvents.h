#pragma once

#include "platform/Messages.h"
#include "scale/ScaleEvents.h"

#include <atomic>

namespace tv {

// Test double for the window side of the scale reader: its boxes go to the program-wide boxes
// (a recorder in tests), as the window's do; losses are counted.
class RecordingScaleEvents : public ScaleEvents {
public:
    void portUnavailable(const QString& text) override { messageBoxes().information(text); }
    void commError(const QString& text) override { messageBoxes().applicationError(text); }
    void scaleLost() override { ++lost; }
    std::atomic<int> lost{0};
};

} // namespace tv
