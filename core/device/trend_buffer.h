#ifndef ZR_CORE_DEVICE_TREND_BUFFER_H
#define ZR_CORE_DEVICE_TREND_BUFFER_H

#include <QPointF>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

// The live readings of one recording for the trend: at most `capacity` points (a day at one
// reading a second by default), the oldest leaving first, and a bounded list of events. A gap
// point marks where readings stopped (no reply, poll stopped, port closed): the curves break
// there and never join the readings on either side.
class TrendBuffer {
public:
    enum Quantity { Temperature = 0, Humidity = 1, DewPoint = 2 };
    static constexpr int DayOfSeconds = 86400;
    static constexpr int MaxEvents = 1000;

    struct Point {
        qint64 ms = 0; // UTC milliseconds since the epoch
        double value[3] = {0, 0, 0};
        quint8 present = 0; // a bit a quantity; 0 with `gap` for a gap
        bool gap = false;
        bool has(Quantity q) const { return (present >> q) & 1; }
    };
    struct Event {
        qint64 ms = 0;
        QString text;
    };

    explicit TrendBuffer(int capacity = DayOfSeconds);

    // A reading; a quantity not polled is absent, and only the polled curves grow.
    void add(qint64 ms, std::optional<double> temperature, std::optional<double> humidity,
             std::optional<double> dewPoint);
    // Readings stop here; a second gap in a row adds nothing.
    void addGap(qint64 ms);
    void addEvent(qint64 ms, const QString &text);
    void clear();

    int size() const { return count; }
    int capacity() const { return points.size(); }
    // Point `i`, oldest first.
    const Point &at(int i) const { return points[(head + i) % points.size()]; }
    const QVector<Event> &events() const { return eventList; }
    // The newest point's time, or 0 when empty.
    qint64 lastMs() const;
    qint64 firstMs() const;

    // One quantity between `fromMs` and `toMs` drawn `columns` pixels wide: in each column the
    // first, the lowest, the highest and the last value, in time order, so that a curve through
    // them covers the same pixels as one through every reading. A point with NaN as its value
    // breaks the curve (a gap, or a run of readings without this quantity).
    QVector<QPointF> reduced(Quantity q, qint64 fromMs, qint64 toMs, int columns) const;
    // Every point as CSV: time (ISO-8601 UTC with milliseconds), temperature_c, humidity_pct,
    // dewpoint_c; cells of values not read empty, a decimal point whatever the locale.
    QByteArray csv() const;

private:
    QVector<Point> points;
    int head = 0;
    int count = 0;
    QVector<Event> eventList;
};

#endif
