#ifndef ZR_GUI_VERSION_TEXT_H
#define ZR_GUI_VERSION_TEXT_H

#include <QString>

// Turns the compiler's build date ("Oct 16 2025", day space-padded below 10) and build time
// ("19:04:26") into the title's version text, " V2025.10.16.1904".
QString versionTextFrom(const QString &buildDate, const QString &buildTime);

#endif
