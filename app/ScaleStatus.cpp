#include "app/ScaleStatus.h"

#include "platform/Messages.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>

const QString kScaleNotConnected = QStringLiteral("电子秤未连接");

namespace {

constexpr int kDiameter = 12;
constexpr int kGap = 3;

} // namespace

ScaleIndicator::ScaleIndicator(QLineEdit* field)
    : QWidget(field)
    , m_field(field) {
    setFixedSize(kDiameter, kDiameter);
    const QMargins text = field->textMargins();
    field->setTextMargins(text.left(), text.top(), text.right() + kDiameter + kGap, text.bottom());
    field->installEventFilter(this);
    setState(State::NoReading);
    follow();
}

bool ScaleIndicator::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_field && event->type() == QEvent::Resize)
        follow();
    return QWidget::eventFilter(watched, event);
}

// Inside the field's frame at its right end, centred on its height.
void ScaleIndicator::follow() {
    move(m_field->width() - kDiameter - kGap - 2, (m_field->height() - kDiameter) / 2);
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
