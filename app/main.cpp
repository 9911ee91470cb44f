#include "app/widget.h"

#include <QApplication>
#include <QDir>
#include <QTranslator>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // The catalogue is looked for under the working directory, not beside the executable.
    QTranslator translator;
    translator.load(QDir::currentPath() + "/Qm/Chinese.qm");
    app.installTranslator(&translator);
    Widget window;
    window.show();
    return app.exec();
}
