#ifndef ZR_CORE_DEVICE_SEARCH_SCHEDULE_H
#define ZR_CORE_DEVICE_SEARCH_SCHEDULE_H

#include <QString>
#include <QVector>

// The baud-rate search: the six rates of the family, fastest first, tried in passes with one
// probe a step.
namespace Search {

constexpr int Passes = 3;
constexpr int StepMs = 500;
constexpr int RateCount = 6;

// 115200, 19200, 9600, 4800, 2400, 1200.
const QVector<int> &rates();
// The same, as they are said: "115200, 19200, 9600, 4800, 2400, 1200".
QString ratesText();

} // namespace Search

#endif
