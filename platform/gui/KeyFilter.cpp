#include "platform/gui/KeyFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace tv {

KeyRoute routeKey(int key, Qt::KeyboardModifiers modifiers, const QString& text, bool dialogKeys) {
    if (key == Qt::Key_Backspace)
        return KeyRoute::Field;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return dialogKeys ? KeyRoute::Field : KeyRoute::Dropped;
    if (dialogKeys && key == Qt::Key_Escape)
        return KeyRoute::Field;
    if (text.isEmpty() || modifiers & (Qt::ControlModifier | Qt::AltModifier))
        return KeyRoute::Field;
    return KeyRoute::Rule;
}

KeyFilter::KeyFilter(QObject* parent, bool dialogKeys)
    : QObject(parent)
    , m_dialogKeys(dialogKeys) {}

void KeyFilter::watch(QLineEdit* field, Rule rule) {
    m_rules.insert(field, std::move(rule));
    field->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto it = m_rules.constFind(watched);
    if (it == m_rules.constEnd())
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    switch (routeKey(key->key(), key->modifiers(), key->text(), m_dialogKeys)) {
    case KeyRoute::Field:
        return false;
    case KeyRoute::Dropped:
        return true;
    case KeyRoute::Rule:
        return (*it)(static_cast<QLineEdit*>(watched), key->text());
    }
    return false;
}

} // namespace tv
