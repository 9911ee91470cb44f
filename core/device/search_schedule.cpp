#include "core/device/search_schedule.h"

#include <QStringList>

namespace Search {

const QVector<int> &rates() {
    static const QVector<int> order{115200, 19200, 9600, 4800, 2400, 1200};
    return order;
}

QString ratesText() {
    QStringList said;
    for (int rate : rates()) {
        said << QString::number(rate);
    }
    return said.join(QStringLiteral(", "));
}

} // namespace Search
