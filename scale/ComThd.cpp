#include "scale/ComThd.h"

#include "platform/AppFolders.h"
#include "platform/Messages.h"
#include "scale/ScaleDecoder.h"

#include <QElapsedTimer>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/ioctl.h>
#endif

namespace {

constexpr int WaitBoundMs = 500;

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

void TComThread::setDeviceFolder(const QString& folder) {
    deviceFolderOverride() = folder;
}

TComThread::TComThread(tv::TextTarget* weightEdit, int scaleType, int portNo, int baudRate,
                       char parity, int dataBits, int stopBits, bool createSuspended)
    : tv::Thread(createSuspended)
    , m_ScaleType(scaleType)
    , m_PortNo(portNo)
    , m_WeightEdit(weightEdit) {
    const QString portName = QStringLiteral("COM%1").arg(portNo);
    const QString device = portDevice(portNo);
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(device);
    // QSerialPort opens exclusively: a lock file and TIOCEXCL keep a second opener out.
    if (device.isEmpty() || !port->open(QIODevice::ReadWrite)) {
        tv::messageBoxes().information(portName + QStringLiteral(":无法连接，请检查!"));
        Terminate();
    } else {
        m_hComm = std::move(port);
        configurePort(baudRate, parity, dataBits, stopBits);
        m_hComm->clear();
        m_hComm->clearError();
        m_hComm->moveToThread(qThread());
    }
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

void TComThread::configurePort(int baudRate, char parity, int dataBits, int stopBits) {
    // The time-out and event-mask steps have no counterpart: the 500 ms bound lives in the wait.
    m_PortState.baudRate = m_hComm->baudRate();
    m_PortState.parity = m_hComm->parity();
    m_PortState.dataBits = m_hComm->dataBits();
    m_PortState.stopBits = m_hComm->stopBits();
    if (m_hComm->error() != QSerialPort::NoError) {
        ReportCommError(QStringLiteral("GetCommState()"));
        return;
    }
    m_PortState.rtsEnable = true;
    if (!applyLineSettings(baudRate, parity, dataBits, stopBits)) {
        ReportCommError(QStringLiteral("BuildCommDCB()"));
        return;
    }
    if (!applyRts())
        ReportCommError(QStringLiteral("SetCommState()"));
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

void TComThread::Execute() {
    if (m_hComm) {
        QMutexLocker lock(&m_Lock);
        m_hComm->clear();
    }
    while (m_hComm && pausePoint()) {
        QElapsedTimer turn;
        turn.start();
        if (m_hComm->bytesAvailable() > 0 || m_hComm->waitForReadyRead(WaitBoundMs)) {
            DrainInput();
            continue;
        }
        const QSerialPort::SerialPortError error = m_hComm->error();
        m_hComm->clearError();
        if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
            continue;
        ReportCommError(QStringLiteral("WaitCommEvent()"));
        // A device that stops answering reads (a scale unplugged, the pty's other end gone)
        // fails every wait at once: one box, and the reader ends instead of repeating it.
        if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
            Terminate();
            break;
        }
        sleepFor(int(WaitBoundMs - turn.elapsed()));
    }
    closePort();
}

void TComThread::DoTerminate() {
    closePort();
}

void TComThread::DrainInput() {
    // One byte per read and per hand-over; the next byte is read only after the last one has
    // been decoded. A pause or stop request holds back the bytes still queued.
    while (pausePoint()) {
        bool read = false;
        {
            QMutexLocker lock(&m_Lock);
            if (m_hComm->bytesAvailable() <= 0)
                return;
            char c = 0;
            read = m_hComm->read(&c, 1) == 1;
            if (read)
                m_RxChar = c;
        }
        if (!read) {
            // The byte field still holds the previous byte; it is not decoded twice.
            ReportCommError(QStringLiteral("ReadFile()"));
            return;
        }
        Synchronize([this] { DecodeChar(); });
    }
}

void TComThread::ReportCommError(const QString& step) {
    const QString text =
        QStringLiteral("WARNING:  %1 Failed with the following error: \n%2\nPort: %3\n")
            .arg(step, m_hComm ? m_hComm->errorString() : QString(), QString::number(m_PortNo));
    // The box runs on the UI thread; a reader thread waits until it is closed.
    Synchronize([&text] { tv::messageBoxes().applicationError(text); });
}

void TComThread::DecodeChar() {
    tv::decodeScaleByte(m_RxChar, m_ScaleType, m_PortNo, tv::scaleDecoderState(), m_WeightEdit);
}

void TComThread::closePort() {
    QMutexLocker lock(&m_Lock);
    if (m_hComm) {
        m_hComm->close();
        m_hComm.reset();
    }
}
