#include "core/base/catalogues.h"
#include "gui/widget.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[]) {
    // Sharp on high-density screens and with QT_SCALE_FACTOR: set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    // The catalogue is looked for under the working directory, not beside the executable; the
    // toolkit's own translations (standard buttons) come from where the toolkit keeps them.
    QTranslator translator;
    QTranslator toolkitTranslator;
    installCatalogues(translator, toolkitTranslator, QDir::currentPath() + "/Qm/Chinese.qm",
                      QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    Widget window;
    window.show();
    return app.exec();
}
