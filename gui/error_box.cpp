#include "gui/error_box.h"

#include <QMessageBox>

void ErrorBox::show(QWidget *window, const QString &text) {
    QMessageBox::information(window, tr("Error"), text);
}
