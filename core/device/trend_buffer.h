#ifndef ZR_CORE_DEVICE_TREND_BUFFER_H
#define ZR_CORE_DEVICE_TREND_BUFFER_H

#include "core/device/reply_parser.h"

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <cmath>
#include <optional>
#include <vector>

// The history of live readings behind the trend window: one bounded curve a value, broken where
// the readings stopped, events along the time line, a reduction to what a plot of a given width
// can show, and the history as CSV. Times are milliseconds since the epoch, UTC.
namespace Trend {

enum Channel { Temperature = 0, Humidity = 1, DewPoint = 2 };
constexpr int ChannelCount = 3;

// One poll's values; a value that was not polled is absent.
struct Reading {
    std::optional<double> values[ChannelCount];

    Reading &set(Channel channel, double value) {
        values[channel] = value;
        return *this;
    }
};

// The values a decoded live reply carries, scaled as the window shows them. A single-value poll
// gives one value, the status poll none.
Reading readingFrom(ReadingBlock block, ReadingSelection selection, int temperatureRaw, int humidityRaw,
                    int dewPointRaw);

// A point of a curve, or the marker of a break in it (no reply, polling stopped, port closed, or
// the value no longer polled).
struct Sample {
    qint64 timeMs = 0;
    double value = 0; // NaN for a break
    bool isGap() const { return std::isnan(value); }
};

struct Event {
    qint64 timeMs = 0;
    QString text;
};

// The points of one curve that fall into one pixel column of a plot, between two breaks: the
// first, lowest, highest and last of them with their times. Drawn through in time order they
// give the same column of pixels as every point would.
struct Column {
    // 0 .. width - 1; -1 for the last point before the span and `width` for the first after it,
    // each alone, present only when no break separates them from the span.
    int column = 0;
    // The curve is broken between the previous entry and this one.
    bool breakBefore = false;
    int points = 0;
    qint64 firstTime = 0, minTime = 0, maxTime = 0, lastTime = 0;
    double first = 0, min = 0, max = 0, last = 0;
};

// Reduced columns as lines to draw: points (x = time in ms, y = value) and the index one past
// the end of each unbroken run.
struct Polyline {
    QVector<QPointF> points;
    QVector<int> runEnds;
};
Polyline polyline(const QVector<Column> &columns);

// A fixed-capacity ring: the oldest item leaves when a new one comes to a full ring.
template <typename T> class Ring {
public:
    explicit Ring(int capacity) : cap(qMax(1, capacity)) {}
    int size() const { return int(items.size()); }
    int capacity() const { return cap; }
    bool isEmpty() const { return items.empty(); }
    // 0 is the oldest.
    const T &at(int index) const {
        const int slot = head + index;
        return items[size_t(slot < cap ? slot : slot - cap)];
    }
    const T &last() const { return at(size() - 1); }
    void push(const T &item) {
        if (size() < cap) {
            items.push_back(item);
            return;
        }
        items[size_t(head)] = item;
        head = head + 1 == cap ? 0 : head + 1;
    }
    void clear() {
        items.clear();
        head = 0;
    }

private:
    std::vector<T> items;
    int head = 0;
    int cap;
};

class TrendBuffer {
public:
    // 24 hours at one reading a second.
    static constexpr int DefaultPoints = 86400;
    static constexpr int DefaultEvents = 1000;

    // `points` bounds each curve (break markers included), `events` the event list.
    explicit TrendBuffer(int points = DefaultPoints, int events = DefaultEvents);

    // A reading taken at `timeMs`. Only the curves of the values present grow; the curve of an
    // absent value is broken there once, so it is not joined across the time it was not polled.
    // Times never go back: a reading, break or event earlier than the newest one held is refused
    // (false) and changes nothing.
    bool addReading(qint64 timeMs, const Reading &reading);
    // Breaks every running curve at `timeMs`.
    bool addGap(qint64 timeMs);
    bool addEvent(qint64 timeMs, const QString &text);
    void clear();

    int capacity() const { return curves[0].capacity(); }
    int count(Channel channel) const { return curves[channel].size(); }
    const Sample &sample(Channel channel, int index) const { return curves[channel].at(index); }
    int eventCount() const { return events.size(); }
    const Event &event(int index) const { return events.at(index); }
    // Events with from <= time <= to, as a range of indices [first, end).
    QPair<int, int> eventRange(qint64 from, qint64 to) const;

    bool isEmpty() const;
    // Oldest and newest time of any point, break or event; 0 when empty.
    qint64 oldestTime() const;
    qint64 newestTime() const { return newest; }
    // Changes on every addition and on clear.
    quint64 revision() const { return changes; }

    // The point of `channel` nearest to `timeMs`, when one lies within `withinMs` of it.
    std::optional<Sample> nearest(Channel channel, qint64 timeMs, qint64 withinMs) const;

    // The points of `channel` with from <= time <= to reduced to pixel columns: column
    // floor((time - from) * width / (to - from)), the time `to` in the last one. Breaks are kept.
    QVector<Column> reduce(Channel channel, qint64 from, qint64 to, int width) const;

    // The readings as CSV: a header, then one row a time, oldest first: the time as ISO 8601 UTC
    // with milliseconds, then temperature, humidity and dew point, empty when absent, with a
    // decimal point whatever the locale. Breaks are not rows.
    QByteArray csv() const;

private:
    // First index of `channel` whose time is >= timeMs (or > timeMs when `after`).
    int bound(Channel channel, qint64 timeMs, bool after) const;
    bool accepts(qint64 timeMs) const { return !hasAny || timeMs >= newest; }
    void stamp(qint64 timeMs);

    Ring<Sample> curves[ChannelCount];
    Ring<Event> events;
    qint64 newest = 0;
    bool hasAny = false;
    quint64 changes = 0;
};

} // namespace Trend

#endif
