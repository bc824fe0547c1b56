#include "app/ScaleStatus.h"

#include "platform/Messages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>

const QString kScaleNotConnected = QStringLiteral("电子秤未连接");

namespace {

constexpr int kDiameter = 14;

} // namespace

ScaleIndicator::ScaleIndicator(QWidget* parent)
    : QWidget(parent) {
    setFixedSize(kDiameter, kDiameter);
    setState(State::NoReading);
}

void ScaleIndicator::setState(State state) {
    if (state == m_state && !toolTip().isEmpty())
        return;
    m_state = state;
    switch (state) {
    case State::Steady:
        setToolTip(QStringLiteral("重量稳定"));
        break;
    case State::Unsteady:
        setToolTip(QStringLiteral("重量不稳定"));
        break;
    case State::NoReading:
        setToolTip(QStringLiteral("2秒内无读数"));
        break;
    }
    setAccessibleName(toolTip());
    update();
}

ScaleIndicator::State ScaleIndicator::stateOf(const tv::ScaleReading& reading) {
    if (!reading.present || reading.ageMs > kFreshMs)
        return State::NoReading;
    return reading.hasWeight && reading.stable ? State::Steady : State::Unsteady;
}

void ScaleIndicator::paintEvent(QPaintEvent*) {
    QColor fill;
    switch (m_state) {
    case State::Steady:
        fill = QColor(0x2e, 0xa0, 0x43);
        break;
    case State::Unsteady:
        fill = QColor(0xf0, 0xa0, 0x20);
        break;
    case State::NoReading:
        fill = QColor(0xb4, 0xb4, 0xb4);
        break;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(0.5, 0.5, kDiameter - 1, kDiameter - 1));
}

void FormScaleEvents::portUnavailable(const QString& text) {
    tv::messageBoxes().information(text);
}

void FormScaleEvents::commError(const QString& text) {
    tv::messageBoxes().applicationError(text);
}

void FormScaleEvents::scaleLost() {
    // A weight typed by hand stays: it is not the scale's.
    if (!m_manualWeight->isChecked())
        m_weightEdit->setText(kScaleNotConnected);
}
