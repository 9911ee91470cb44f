#include "core/device/search_schedule.h"

namespace Search {

const QVector<int> &rates() {
    static const QVector<int> order{115200, 19200, 9600, 4800, 2400, 1200};
    return order;
}

} // namespace Search
