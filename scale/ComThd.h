#pragma once

#include "platform/Thread.h"

#include <QMutex>
#include <QSerialPort>
#include <QString>

#include <memory>

namespace tv {
class TextTarget;
}

// The scale reader: owns the scale's serial port, reads it one byte at a time on a thread of its
// own and hands every byte to the decoder on the UI thread.
class TComThread : public tv::Thread {
public:
    // Opens and configures port COM<portNo> on the calling thread. When the port cannot be opened
    // it says so in a plain box and the reader is dead: terminated, its thread ends at once.
    TComThread(tv::TextTarget* weightEdit, int scaleType, int portNo, int baudRate, char parity,
               int dataBits, int stopBits, bool createSuspended);
    ~TComThread() override;

    bool IsTerminated() const;

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

    void configurePort(int baudRate, char parity, int dataBits, int stopBits);
    bool applyLineSettings(int baudRate, char parity, int dataBits, int stopBits);
    bool applyRts();
    void DrainInput();
    void ReportCommError(const QString& step);
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
    char m_RxChar = 0;
};
