#ifndef ZR_CORE_STORAGE_CONFIG_FILE_H
#define ZR_CORE_STORAGE_CONFIG_FILE_H

#include <QByteArray>
#include <QString>

// Reading and changing single keys of an INI text such as Ini/Config.ini, keeping every other
// byte of the file as it was.
//
// Values are read as a person writes them: commas, quotes and any UTF-8 text are part of the
// value (bytes that are not UTF-8 are read as Latin-1). Files written by earlier versions of the
// tool through QSettings are read as QSettings wrote them: a value wholly in double quotes is
// unquoted, the escapes \\ \" \xHHHH (non-ASCII characters) and the like are decoded, and a
// leading "@@" stands for "@".
namespace ConfigFile {

// The value of `key` in `[section]`; empty, with *found false, when the key is absent.
QString value(const QByteArray &content, const QByteArray &section, const QByteArray &key,
              bool *found = nullptr);

// `content` with `key` in `[section]` set to `value`. A key whose line already reads as `value`
// keeps its bytes; otherwise its line is replaced, or the key is added at the end of its
// section, or the section is added at the end of the file. Line ends follow the file's own.
QByteArray withValue(const QByteArray &content, const QByteArray &section, const QByteArray &key,
                     const QString &value);

// The window's colours: the desktop's own, or the tool's light or dark palette.
enum class Theme { System, Light, Dark };
// "system", "light" or "dark" in any case; anything else, an empty or absent value included,
// is System.
Theme themeFrom(const QString &value);
// A yes/no key: "true" in any case is true; anything else, an empty or absent value included,
// is false.
bool switchFrom(const QString &value);

// The text of one value as it is read back, and the bytes written for a value.
QString decodeValue(const QByteArray &raw);
QByteArray encodeValue(const QString &value);

} // namespace ConfigFile

#endif
