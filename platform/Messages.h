#pragma once

#include <QList>
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
    // "Application Error" box with the stop icon. Blocks the caller until it is closed, but is
    // not modal to the application: the main window stays usable meanwhile. Call it on the UI
    // thread (a reader thread hands it over).
    virtual void applicationError(const QString& text) = 0;
};

// The program-wide boxes; the GUI sets the real ones at start, tests set a recorder.
MessageBoxes& messageBoxes();
void setMessageBoxes(MessageBoxes* boxes);

// Test double: records every box and answers questions from a queue (Yes when empty).
class RecordingMessageBoxes : public MessageBoxes {
public:
    enum class Kind { Information, Question, Error, ApplicationError };
    struct Shown {
        Kind kind;
        QString text;
    };

    void information(const QString& text) override { m_shown.append({Kind::Information, text}); }
    bool question(const QString& text) override {
        m_shown.append({Kind::Question, text});
        return m_answers.isEmpty() ? true : m_answers.takeFirst();
    }
    void error(const QString& text) override { m_shown.append({Kind::Error, text}); }
    void applicationError(const QString& text) override {
        m_shown.append({Kind::ApplicationError, text});
    }

    void answerNext(bool yes) { m_answers.append(yes); }
    const QList<Shown>& shown() const { return m_shown; }
    QStringList texts() const {
        QStringList out;
        for (const auto& s : m_shown)
            out.append(s.text);
        return out;
    }
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
    QList<bool> m_answers;
};

// Installs a recorder for the lifetime of a test and restores the previous boxes after it.
class ScopedRecordingBoxes : public RecordingMessageBoxes {
public:
    ScopedRecordingBoxes();
    ~ScopedRecordingBoxes() override;

private:
    MessageBoxes* m_previous;
};

} // namespace tv
