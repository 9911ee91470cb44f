#include "core/base/catalogues.h"

#include <QCoreApplication>
#include <QTranslator>

int installCatalogues(QTranslator &tool, QTranslator &toolkit, const QString &toolFile,
                      const QString &toolkitDir) {
    if (!tool.load(toolFile) || !QCoreApplication::installTranslator(&tool)) {
        return 0;
    }
    if (!toolkit.load(QStringLiteral("qtbase_zh_CN"), toolkitDir) ||
        !QCoreApplication::installTranslator(&toolkit)) {
        return 1;
    }
    return 2;
}
