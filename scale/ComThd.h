#pragma once

#include "platform/Thread.h"
#include "scale/ScaleSteadiness.h"

#include <QMutex>
#include <QSerialPort>
#include <QString>

#include <memory>

namespace tv {
class ScaleEvents;
class TextTarget;
} // namespace tv

// The scale reader: owns the scale's serial port, reads it one byte at a time on a thread of its
// own and hands every byte to the decoder on the UI thread. It reports through events (on the UI
// thread) and never waits for the user. When the device goes away it reports once, then reopens
// the same port every 2 s until the device is back.
class TComThread : public tv::Thread {
public:
    // Opens and configures port COM<portNo> on the calling thread. When the port cannot be opened
    // it reports so and the reader is dead: terminated, its thread ends at once. events may be
    // null (nothing is reported); it must outlive the reader.
    TComThread(tv::TextTarget* weightEdit, int scaleType, int portNo, int baudRate, char parity,
               int dataBits, int stopBits, bool createSuspended, tv::ScaleEvents* events = nullptr);
    ~TComThread() override;

    bool IsTerminated() const;

    // The last committed reading, its steadiness and age; callable from any thread.
    tv::ScaleReading lastReading() const;
    // The monotonic clock of readings, in milliseconds.
    static qint64 clockMs();

    // Time between two attempts to reopen a lost device.
    static constexpr int ReopenIntervalMs = 2000;
    // Replaces that time (tests); a negative value restores it.
    static void setReopenIntervalMs(int ms);

    // The device behind COMn: <folder>/comN where that entry exists (a link, as Wine keeps them),
    // else /dev/ttyS<n-1>; empty for n < 1. The folder is dosdevices/ in the
    // program's data folder (beside the executable unless installed).
    static QString portDevice(int portNo);
    // Replaces the dosdevices folder (tests, benchmarks); an empty folder restores the default.
    static void setDeviceFolder(const QString& folder);

protected:
    void Execute() override;
    void DoTerminate() override;

private:
    struct PortState {
        qint32 baudRate = 0;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
        bool rtsEnable = false;
    };

    struct LineSettings {
        int baudRate;
        char parity;
        int dataBits;
        int stopBits;
    };

    bool openPort(bool first);
    void configurePort();
    void deviceLost(const QString& step, const QString& errorText);
    static bool isDeviceLoss(QSerialPort::SerialPortError error);
    QString lossText(const QString& portText) const;
    bool applyLineSettings(int baudRate, char parity, int dataBits, int stopBits);
    bool applyRts();
    // False when the device went away while draining.
    bool DrainInput();
    void ReportCommError(const QString& step, const QString& errorText);
    void DecodeChar();
    void closePort();

    // The port lives on the reader's thread from construction on; null once closed or when the
    // open failed. Time-outs have no counterpart here: every wait is bounded by 500 ms itself.
    std::unique_ptr<QSerialPort> m_hComm;
    QMutex m_Lock;
    PortState m_PortState;
    qint32 m_ScaleType;
    qint32 m_PortNo;
    tv::TextTarget* m_WeightEdit;
    tv::ScaleEvents* m_Events;
    LineSettings m_Line;
    QString m_DevicePath; // the device the port was found at
    char m_RxChar = 0;
    qint64 m_RxMs = 0; // arrival of m_RxChar on clockMs()
    // Fed on the UI thread by the decoder, asked from any thread.
    tv::ScaleSteadiness m_Steadiness;
};
