#pragma once

#include "platform/Messages.h"

#include <QList>
#include <QStringList>

namespace tv {

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
    ScopedRecordingBoxes()
        : m_previous(&messageBoxes()) {
        setMessageBoxes(this);
    }
    ~ScopedRecordingBoxes() override { setMessageBoxes(m_previous); }

private:
    MessageBoxes* m_previous;
};

} // namespace tv
