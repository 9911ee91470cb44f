#include "app/shared_data.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace {
const char kProgramNameKey[] = "System/ProgramName";
const char kPortNameKey[] = "System/PortName";
const char kDefaultProgramName[] = "ZRxxx test";
} // namespace

SharedDataClass::SharedDataClass(QObject *parent) : QObject(parent) {}

QString SharedDataClass::configFilePath() { return QDir::currentPath() + "/Ini/Config.ini"; }

void SharedDataClass::readConfig() {
    const QString path = configFilePath();
    if (!QFile::exists(path)) {
        {
            // Fails silently when Ini/ is missing; the settings object below creates both.
            QFile file(path);
            if (file.open(QIODevice::ReadWrite)) {
                file.close();
            }
        }
        programName = QString::fromLatin1(kDefaultProgramName);
        portName.clear();
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(kProgramNameKey, programName);
        settings.setValue(kPortNameKey, portName);
    }
    QSettings settings(path, QSettings::IniFormat);
    programName = settings.value(kProgramNameKey).toString();
    portName = settings.value(kPortNameKey).toString();
}

void SharedDataClass::writeConfig() {
    QSettings settings(configFilePath(), QSettings::IniFormat);
    settings.setValue(kProgramNameKey, programName);
    settings.setValue(kPortNameKey, portName);
}
