#include "core/device/shared_data.h"

#include "core/storage/config_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
const char kSection[] = "System";
const char kProgramNameKey[] = "ProgramName";
const char kPortNameKey[] = "PortName";
const char kThemeKey[] = "Theme";
const char kTcpAnyIdKey[] = "TcpAnyId";
const char kDefaultProgramName[] = "ZRxxx test";
} // namespace

SharedDataClass::SharedDataClass(QObject *parent) : QObject(parent) {}

QString SharedDataClass::configFilePath() {
    return QDir::currentPath() + "/Ini/Config.ini";
}

void SharedDataClass::readConfig() {
    const QString path = configFilePath();
    if (!QFileInfo::exists(path)) {
        // First start: the defaults are written, and kept in memory even if that fails.
        programName = QString::fromLatin1(kDefaultProgramName);
        portName.clear();
        writeConfig();
        return;
    }
    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly)) {
        content = file.readAll();
    }
    // A file that cannot be read yields empty values, as one without the keys does.
    programName = ConfigFile::value(content, kSection, kProgramNameKey);
    portName = ConfigFile::value(content, kSection, kPortNameKey);
    theme = ConfigFile::themeFrom(ConfigFile::value(content, kSection, kThemeKey));
    tcpAnyId = ConfigFile::switchFrom(ConfigFile::value(content, kSection, kTcpAnyIdKey));
}

void SharedDataClass::writeConfig() {
    const QString path = configFilePath();
    QByteArray content;
    if (QFileInfo::exists(path)) {
        QFile existing(path);
        if (!existing.open(QIODevice::ReadOnly)) {
            // Writing without what the file holds would lose its other keys.
            configSaveError = existing.errorString();
            emit configNotSaved();
            return;
        }
        content = existing.readAll();
    }
    QByteArray updated = ConfigFile::withValue(content, kSection, kProgramNameKey, programName);
    updated = ConfigFile::withValue(updated, kSection, kPortNameKey, portName);
    if (QFileInfo::exists(path) && updated == content) {
        configSaveError.clear();
        return;
    }
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    // A directory that only lets the file itself be written still gets the new values.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(updated) != updated.size() || !file.commit()) {
        configSaveError = file.errorString();
        emit configNotSaved();
        return;
    }
    configSaveError.clear();
}
