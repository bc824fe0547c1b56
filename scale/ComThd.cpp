#include "scale/ComThd.h"

#include "platform/AppFolders.h"
#include "scale/ScaleDecoder.h"
#include "scale/ScaleEvents.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <chrono>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int WaitBoundMs = 500;

std::atomic<int> g_reopenIntervalMs{TComThread::ReopenIntervalMs};

QString& deviceFolderOverride() {
    static QString folder;
    return folder;
}

} // namespace

QString TComThread::portDevice(int portNo) {
    if (portNo < 1)
        return {};
    QString folder = deviceFolderOverride();
    if (folder.isEmpty())
        folder = tv::AppFolders::current().devicesFolder();
    else if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString link = folder + QStringLiteral("com%1").arg(portNo);
    // A link that points nowhere still names the port (its open then fails), as it would in Wine.
    const QFileInfo info(link);
    if (info.exists() || info.isSymLink())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(portNo - 1);
}

void TComThread::setReopenIntervalMs(int ms) {
    g_reopenIntervalMs = ms < 0 ? ReopenIntervalMs : ms;
}

void TComThread::setDeviceFolder(const QString& folder) {
    deviceFolderOverride() = folder;
}

TComThread::TComThread(tv::TextTarget* weightEdit, int scaleType, int portNo, int baudRate,
                       char parity, int dataBits, int stopBits, bool createSuspended,
                       tv::ScaleEvents* events)
    : tv::Thread(createSuspended)
    , m_ScaleType(scaleType)
    , m_PortNo(portNo)
    , m_WeightEdit(weightEdit)
    , m_Events(events)
    , m_Line{baudRate, parity, dataBits, stopBits} {
    if (openPort(true))
        m_hComm->moveToThread(qThread());
    else
        Terminate();
    Start();
}

TComThread::~TComThread() {
    stopAndWait();
    // A thread that never ended may still use the port; it is not pulled from under it.
    if (!Finished())
        (void)m_hComm.release();
}

bool TComThread::IsTerminated() const {
    return Terminated();
}

tv::ScaleReading TComThread::lastReading() const {
    return m_Steadiness.reading(clockMs());
}

qint64 TComThread::clockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Opens and configures the port on the calling thread. The first open finds the device and
// reports a failure; a lost device is looked for again quietly under the same name (the link,
// never /dev/ttyS<n-1> in its place while the link is away).
bool TComThread::openPort(bool first) {
    if (first)
        m_DevicePath = portDevice(m_PortNo);
    const QString& device = m_DevicePath;
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(device);
    // QSerialPort opens exclusively: a lock file and TIOCEXCL keep a second opener out.
    if (device.isEmpty() || !port->open(QIODevice::ReadWrite)) {
        if (first && m_Events)
            m_Events->portUnavailable(QStringLiteral("COM%1:无法连接，请检查!").arg(m_PortNo));
        return false;
    }
    {
        QMutexLocker lock(&m_Lock);
        m_hComm = std::move(port);
    }
    configurePort();
    m_hComm->clear();
    m_hComm->clearError();
    return true;
}

void TComThread::configurePort() {
    // The time-out and event-mask steps have no counterpart: the 500 ms bound lives in the wait.
    m_PortState.baudRate = m_hComm->baudRate();
    m_PortState.parity = m_hComm->parity();
    m_PortState.dataBits = m_hComm->dataBits();
    m_PortState.stopBits = m_hComm->stopBits();
    if (m_hComm->error() != QSerialPort::NoError) {
        ReportCommError(QStringLiteral("GetCommState()"), m_hComm->errorString());
        return;
    }
    m_PortState.rtsEnable = true;
    if (!applyLineSettings(m_Line.baudRate, m_Line.parity, m_Line.dataBits, m_Line.stopBits)) {
        ReportCommError(QStringLiteral("BuildCommDCB()"), m_hComm->errorString());
        return;
    }
    if (!applyRts())
        ReportCommError(QStringLiteral("SetCommState()"), m_hComm->errorString());
}

// Applies the line settings; false for a parity letter, data or stop bits the port cannot take.
bool TComThread::applyLineSettings(int baudRate, char parity, int dataBits, int stopBits) {
    m_PortState.baudRate = baudRate;
    switch (QChar::toUpper(char16_t(parity))) {
    case u'N':
        m_PortState.parity = QSerialPort::NoParity;
        break;
    case u'E':
        m_PortState.parity = QSerialPort::EvenParity;
        break;
    case u'O':
        m_PortState.parity = QSerialPort::OddParity;
        break;
    case u'M':
        m_PortState.parity = QSerialPort::MarkParity;
        break;
    case u'S':
        m_PortState.parity = QSerialPort::SpaceParity;
        break;
    default:
        return false;
    }
    if (dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return false;
    m_PortState.dataBits = static_cast<QSerialPort::DataBits>(dataBits);
    m_PortState.stopBits = stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop;
    // RTS is held on by hand, so the port must not drive it for flow control.
    return m_hComm->setBaudRate(m_PortState.baudRate) &&
           m_hComm->setDataBits(m_PortState.dataBits) && m_hComm->setParity(m_PortState.parity) &&
           m_hComm->setStopBits(m_PortState.stopBits) &&
           m_hComm->setFlowControl(QSerialPort::NoFlowControl);
}

bool TComThread::applyRts() {
    if (m_hComm->setRequestToSend(m_PortState.rtsEnable))
        return true;
#ifdef Q_OS_UNIX
    // A pseudo-terminal has no modem lines at all: that is the line's absence, not a failure.
    int lines = 0;
    if (::ioctl(m_hComm->handle(), TIOCMGET, &lines) != 0 && errno == ENOTTY) {
        m_hComm->clearError();
        return true;
    }
#endif
    return false;
}

// A hang-up shows in the wait only as a generic resource error ("Unknown error"). The system's
// own text comes from reading the descriptor: it fails with the reason, or gives end of file
// for a terminal that hung up, whose writes the system fails with EIO.
QString TComThread::lossText(const QString& portText) const {
#ifdef Q_OS_UNIX
    if (m_hComm) {
        char c = 0;
        const ssize_t n = ::read(m_hComm->handle(), &c, 1);
        if (n == 0)
            return QString::fromLocal8Bit(std::strerror(EIO));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
#endif
    return portText;
}

bool TComThread::isDeviceLoss(QSerialPort::SerialPortError error) {
    // A device that stops answering (a scale unplugged, the pty's other end gone) fails every
    // wait and read at once with one of these.
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
}

void TComThread::Execute() {
    if (m_hComm) {
        QMutexLocker lock(&m_Lock);
        m_hComm->clear();
    }
    while (pausePoint()) {
        if (!m_hComm) {
            // Lost: look for the device again, quietly; a stop request cuts the pause short.
            if (!sleepFor(g_reopenIntervalMs) || !pausePoint())
                break;
            openPort(false);
            continue;
        }
        QElapsedTimer turn;
        turn.start();
        if (m_hComm->bytesAvailable() > 0 || m_hComm->waitForReadyRead(WaitBoundMs)) {
            DrainInput();
            continue;
        }
        const QSerialPort::SerialPortError error = m_hComm->error();
        // The text is taken before the error is cleared, which would turn it into "No error".
        const QString errorText = m_hComm->errorString();
        m_hComm->clearError();
        if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
            continue;
        if (isDeviceLoss(error)) {
            deviceLost(QStringLiteral("WaitCommEvent()"), lossText(errorText));
            continue;
        }
        ReportCommError(QStringLiteral("WaitCommEvent()"), errorText);
        sleepFor(int(WaitBoundMs - turn.elapsed()));
    }
    closePort();
}

// One report for the loss, then the port is closed and looked for again every 2 s. The line
// that was being read is dropped, as a line feed would, so no half of it joins the next one.
void TComThread::deviceLost(const QString& step, const QString& errorText) {
    ReportCommError(step, errorText);
    closePort();
    Synchronize([this] {
        tv::ScaleDecoderState& state = tv::scaleDecoderState();
        state.ScaleText.clear();
        state.ScaleWarning = 0;
        m_Steadiness.reset();
        if (m_Events)
            m_Events->scaleLost();
    });
}

void TComThread::DoTerminate() {
    closePort();
    m_Steadiness.reset();
    if (m_Events)
        Synchronize([this] { m_Events->scaleLost(); });
}

bool TComThread::DrainInput() {
    // One byte per read and per hand-over; the next byte is read only after the last one has
    // been decoded. A pause or stop request holds back the bytes still queued.
    while (pausePoint()) {
        bool read = false;
        QSerialPort::SerialPortError error = QSerialPort::NoError;
        QString errorText;
        {
            QMutexLocker lock(&m_Lock);
            if (m_hComm->bytesAvailable() <= 0)
                return true;
            char c = 0;
            read = m_hComm->read(&c, 1) == 1;
            if (read) {
                m_RxChar = c;
                m_RxMs = clockMs();
            } else {
                error = m_hComm->error();
                errorText = m_hComm->errorString();
                m_hComm->clearError();
            }
        }
        if (!read) {
            // The byte field still holds the previous byte; it is not decoded twice.
            if (isDeviceLoss(error)) {
                deviceLost(QStringLiteral("ReadFile()"), errorText);
                return false;
            }
            ReportCommError(QStringLiteral("ReadFile()"), errorText);
            return true;
        }
        Synchronize([this] { DecodeChar(); });
    }
    return true;
}

void TComThread::ReportCommError(const QString& step, const QString& errorText) {
    const QString text =
        QStringLiteral("WARNING:  %1 Failed with the following error: \n%2\nPort: %3\n")
            .arg(step, errorText, QString::number(m_PortNo));
    // Shown by the window side, which does not keep the reader waiting.
    if (m_Events)
        Synchronize([&] { m_Events->commError(text); });
}

void TComThread::DecodeChar() {
    tv::decodeScaleByte(m_RxChar, m_RxMs, m_ScaleType, m_PortNo, tv::scaleDecoderState(),
                        m_WeightEdit, m_Steadiness);
}

void TComThread::closePort() {
    QMutexLocker lock(&m_Lock);
    if (m_hComm) {
        m_hComm->close();
        m_hComm.reset();
    }
}
