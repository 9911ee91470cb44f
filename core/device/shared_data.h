#ifndef ZR_CORE_DEVICE_SHARED_DATA_H
#define ZR_CORE_DEVICE_SHARED_DATA_H

#include "core/storage/config_file.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

// State shared by the request side and the reply side: configuration, link state, the receive
// buffer and the last decoded copy of every device register.
class SharedDataClass : public QObject {
    Q_OBJECT

public:
    explicit SharedDataClass(QObject *parent = nullptr);

    // Ini/Config.ini under the working directory: created with its defaults when missing.
    // ProgramName and PortName are read and changed, Theme and TcpAnyId only read; every other byte of the
    // file is kept. When the file cannot be written the values stay in memory for the run,
    // configSaveError says why and configNotSaved() is emitted.
    void readConfig();
    void writeConfig();
    static QString configFilePath();

    // Why the latest write of the configuration file failed; empty after a good one.
    QString configSaveError;

signals:
    void configNotSaved();

public:
    QString programName;
    QString portName;
    // Read only; absent means the desktop's colours.
    ConfigFile::Theme theme = ConfigFile::Theme::System;
    // Read only: over Modbus TCP, replies whose transaction id is 0 or not echoed are taken.
    bool tcpAnyId = false;
    QString currentPortName;
    QList<QByteArray> txQueue;
    quint16 slaveAddress = 0;
    quint16 baudCode = 0;
    quint16 firmwareVersion = 0;
    quint16 deviceType = 0;
    quint16 clockYear = 0;
    quint16 clockMonth = 0;
    quint16 clockDay = 0;
    quint16 clockHour = 0;
    quint16 clockMinute = 0;
    quint16 clockSecond = 0;
    quint16 clockWeekday = 0;
    quint16 heaterStartMinutes = 0;
    quint16 heaterInterval = 0;
    quint16 heaterDuration = 0;
    qint16 rangeMin = 0;
    qint16 rangeMax = 0;
    quint16 heaterState = 0;
    QString serialNumber;
    int baudRate = 0;
    int baudCandidates[6] = {0, 0, 0, 0, 0, 0};
    quint8 baudIndex = 0;
    quint8 baudCount = 0;
    bool responseReceived = false;
    int temperatureRaw = 0;
    quint16 humidityRaw = 0;
    int dewPointRaw = 0;
    quint16 statusRaw = 0;
    quint16 calibration[45] = {};
    quint16 outputRegisters[17] = {};

    // Set once a read has filled the matching image; an apply is refused before that, so a
    // device's calibration or output settings are never overwritten with values never read.
    bool calibrationLoaded = false;
    bool outputRegistersLoaded = false;
};

#endif
