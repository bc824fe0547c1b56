#pragma once

#include "scale/ScaleEvents.h"
#include "scale/ScaleSteadiness.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;

// A small dot at the right end of the weight field: green when the scale calls its weight
// steady, amber while it swings, grey when no reading came in the last 2 s. The field keeps a
// margin for it, so no text runs under it.
class ScaleIndicator : public QWidget {
    Q_OBJECT
public:
    enum class State { NoReading, Steady, Unsteady };
    static constexpr qint64 kFreshMs = 2000;

    // Placed inside field, at its right end.
    explicit ScaleIndicator(QLineEdit* field);
    State state() const { return m_state; }
    void setState(State state);
    // The state a reading calls for.
    static State stateOf(const tv::ScaleReading& reading);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    QLineEdit* m_field;
    State m_state = State::NoReading;
};

// The window side of the scale reader's reports: its boxes, and the weight field emptied of a
// reading that no longer stands (unless the weight is being typed by hand).
class FormScaleEvents : public tv::ScaleEvents {
public:
    FormScaleEvents(QLineEdit* weightEdit, QCheckBox* manualWeight)
        : m_weightEdit(weightEdit)
        , m_manualWeight(manualWeight) {}
    void portUnavailable(const QString& text) override;
    void commError(const QString& text) override;
    void scaleLost() override;

private:
    QLineEdit* m_weightEdit;
    QCheckBox* m_manualWeight;
};

// The weight field's text when no scale reading stands.
extern const QString kScaleNotConnected;
