#pragma once

#include "platform/TextTarget.h"

#include <QStringList>

// A weight field that keeps every text it was given, in order.
class HistoryTarget : public tv::TextTarget {
public:
    QString text() const override { return shown.isEmpty() ? QString() : shown.last(); }
    void setText(const QString& text) override { shown.append(text); }
    QStringList shown;
};
