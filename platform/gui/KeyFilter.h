#pragma once

#include <QHash>
#include <QObject>
#include <functional>

class QLineEdit;

namespace tv {

// Where a key pressed in a filtered field goes.
enum class KeyRoute {
    Field,   // the field (or its window) handles it as usual
    Dropped, // nobody sees it
    Rule,    // the field's rule decides on the typed character
};

// Backspace, keys that type nothing (arrows) and shortcuts with Ctrl or Alt go to the field.
// Enter and Escape go to the window in a dialog (its default and cancel buttons); elsewhere
// Enter is dropped. Every other typed character goes to the rule.
KeyRoute routeKey(int key, Qt::KeyboardModifiers modifiers, const QString& text, bool dialogKeys);

// One event filter for the edits of a window whose typed characters a rule of the window
// decides.
class KeyFilter : public QObject {
public:
    // True when the typed character is dropped.
    using Rule = std::function<bool(QLineEdit* field, const QString& typed)>;

    KeyFilter(QObject* parent, bool dialogKeys);
    void watch(QLineEdit* field, Rule rule);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHash<QObject*, Rule> m_rules;
    bool m_dialogKeys;
};

} // namespace tv
