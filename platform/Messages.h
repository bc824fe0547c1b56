#pragma once

#include <QString>

namespace tv {

// Every message box of the program goes through this interface, so that tests answer them
// and no test ever blocks on a real modal box.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Plain box: no icon, an OK button, the application title as caption; waits until closed.
    virtual void information(const QString& text) = 0;
    // Yes/No box captioned with the application title; true for Yes.
    virtual bool question(const QString& text) = 0;
    // The standard error report of an error that ended a handler.
    virtual void error(const QString& text) = 0;
    // "Application Error" box with the stop icon, not modal and with no owner. Returns at once:
    // the box stays up until the user closes it or the program ends, and nothing waits for it.
    // One such box at a time: a new text replaces the one still shown. Call it on the UI thread.
    virtual void applicationError(const QString& text) = 0;
};

// The program-wide boxes; the GUI sets the real ones at start, tests set a recorder.
MessageBoxes& messageBoxes();
void setMessageBoxes(MessageBoxes* boxes);

} // namespace tv
