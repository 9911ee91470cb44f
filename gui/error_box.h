#ifndef ZR_GUI_ERROR_BOX_H
#define ZR_GUI_ERROR_BOX_H

#include <QCoreApplication>
#include <QString>

class QWidget;

// The box of every refused input and failed link: an information box titled "Error" over the
// window.
class ErrorBox {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    static void show(QWidget *window, const QString &text);
};

#endif
