#include "core/device/trend_buffer.h"

#include "core/base/machine_text.h"
#include "core/device/readings.h"

#include <QDateTime>
#include <QLocale>

#include <limits>

namespace Trend {

namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

// Where a time falls among `width` columns over from..to (to > from), exactly; the time `to`
// itself belongs to the last column.
class ColumnMap {
public:
    ColumnMap(qint64 spanFrom, qint64 spanTo, int columns)
        : from(spanFrom), span(spanTo - spanFrom), width(columns),
          exact(span <= std::numeric_limits<qint64>::max() / columns) {}
    int operator()(qint64 timeMs) const {
        const qint64 offset = timeMs - from;
        const qint64 column =
            exact ? offset * width / span : qint64(double(offset) / double(span) * double(width));
        return int(qMin<qint64>(column, width - 1));
    }

private:
    qint64 from;
    qint64 span;
    int width;
    bool exact;
};

void addValue(Column &column, qint64 timeMs, double value) {
    if (column.points == 0) {
        column.firstTime = column.minTime = column.maxTime = timeMs;
        column.first = column.min = column.max = value;
    }
    if (value < column.min) {
        column.min = value;
        column.minTime = timeMs;
    }
    if (value > column.max) {
        column.max = value;
        column.maxTime = timeMs;
    }
    column.last = value;
    column.lastTime = timeMs;
    ++column.points;
}

QString number(double value) {
    // QString::number writes the C locale's digits and decimal point.
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

} // namespace

Reading readingFrom(ReadingBlock block, ReadingSelection selection, int temperatureRaw, int humidityRaw,
                    int dewPointRaw) {
    const bool hundredths = block == ReadingBlock::Hundredths;
    const bool all = selection == ReadingSelection::All;
    Reading reading;
    if (all || selection == ReadingSelection::Temperature) {
        reading.set(Temperature, Readings::scaled(temperatureRaw, hundredths));
    }
    if (all || selection == ReadingSelection::Humidity) {
        reading.set(Humidity, Readings::scaled(humidityRaw, hundredths));
    }
    if (all || selection == ReadingSelection::DewPoint) {
        reading.set(DewPoint, Readings::scaled(dewPointRaw, hundredths));
    }
    return reading;
}

Polyline polyline(const QVector<Column> &columns) {
    Polyline line;
    line.points.reserve(columns.size() * 4);
    const auto add = [&line](qint64 timeMs, double value) {
        const QPointF point(double(timeMs), value);
        if (line.points.isEmpty() || line.points.last() != point) {
            line.points.append(point);
        }
    };
    for (const Column &column : columns) {
        if (column.breakBefore && !line.points.isEmpty()) {
            line.runEnds.append(line.points.size());
        }
        add(column.firstTime, column.first);
        // Lowest and highest in the order they came.
        if (column.minTime <= column.maxTime) {
            add(column.minTime, column.min);
            add(column.maxTime, column.max);
        } else {
            add(column.maxTime, column.max);
            add(column.minTime, column.min);
        }
        add(column.lastTime, column.last);
    }
    if (line.runEnds.isEmpty() ? !line.points.isEmpty() : line.runEnds.last() != line.points.size()) {
        line.runEnds.append(line.points.size());
    }
    return line;
}

TrendBuffer::TrendBuffer(int points, int eventCount)
    : curves{Ring<Sample>(points), Ring<Sample>(points), Ring<Sample>(points)}, events(eventCount) {}

void TrendBuffer::stamp(qint64 timeMs) {
    newest = timeMs;
    hasAny = true;
    ++changes;
}

bool TrendBuffer::addReading(qint64 timeMs, const Reading &reading) {
    if (!accepts(timeMs)) {
        return false;
    }
    for (int c = 0; c < ChannelCount; ++c) {
        Ring<Sample> &curve = curves[c];
        const std::optional<double> &value = reading.values[c];
        if (value && !std::isnan(*value)) {
            curve.push(Sample{timeMs, *value});
        } else if (!curve.isEmpty() && !curve.last().isGap()) {
            curve.push(Sample{timeMs, kGap});
        }
    }
    stamp(timeMs);
    return true;
}

bool TrendBuffer::addGap(qint64 timeMs) {
    if (!accepts(timeMs)) {
        return false;
    }
    for (Ring<Sample> &curve : curves) {
        if (!curve.isEmpty() && !curve.last().isGap()) {
            curve.push(Sample{timeMs, kGap});
        }
    }
    stamp(timeMs);
    return true;
}

bool TrendBuffer::addEvent(qint64 timeMs, const QString &text) {
    if (!accepts(timeMs)) {
        return false;
    }
    events.push(Event{timeMs, text});
    stamp(timeMs);
    return true;
}

void TrendBuffer::clear() {
    for (Ring<Sample> &curve : curves) {
        curve.clear();
    }
    events.clear();
    newest = 0;
    hasAny = false;
    ++changes;
}

bool TrendBuffer::isEmpty() const {
    for (const Ring<Sample> &curve : curves) {
        if (!curve.isEmpty()) {
            return false;
        }
    }
    return events.isEmpty();
}

qint64 TrendBuffer::oldestTime() const {
    qint64 oldest = newest;
    for (const Ring<Sample> &curve : curves) {
        if (!curve.isEmpty()) {
            oldest = qMin(oldest, curve.at(0).timeMs);
        }
    }
    if (!events.isEmpty()) {
        oldest = qMin(oldest, events.at(0).timeMs);
    }
    return oldest;
}

int TrendBuffer::bound(Channel channel, qint64 timeMs, bool after) const {
    const Ring<Sample> &curve = curves[channel];
    int low = 0;
    int high = curve.size();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const qint64 t = curve.at(middle).timeMs;
        if (after ? t <= timeMs : t < timeMs) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

QPair<int, int> TrendBuffer::eventRange(qint64 from, qint64 to) const {
    const auto bound = [this](qint64 timeMs, bool after) {
        int low = 0;
        int high = events.size();
        while (low < high) {
            const int middle = low + (high - low) / 2;
            const qint64 t = events.at(middle).timeMs;
            if (after ? t <= timeMs : t < timeMs) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    };
    const int first = bound(from, false);
    return qMakePair(first, qMax(first, bound(to, true)));
}

std::optional<Sample> TrendBuffer::nearest(Channel channel, qint64 timeMs, qint64 withinMs) const {
    const int next = bound(channel, timeMs, false);
    std::optional<Sample> best;
    for (int index : {next - 1, next}) {
        if (index < 0 || index >= count(channel)) {
            continue;
        }
        const Sample &s = sample(channel, index);
        const qint64 distance = qAbs(s.timeMs - timeMs);
        if (!s.isGap() && distance <= withinMs && (!best || distance < qAbs(best->timeMs - timeMs))) {
            best = s;
        }
    }
    return best;
}

QVector<Column> TrendBuffer::reduce(Channel channel, qint64 from, qint64 to, int width) const {
    QVector<Column> out;
    const int n = count(channel);
    if (n == 0 || width <= 0 || to <= from) {
        return out;
    }
    const ColumnMap columnOf(from, to, width);
    const int begin = bound(channel, from, false);
    const int end = bound(channel, to, true);
    bool pendingBreak = false;
    const auto single = [&out, &pendingBreak](int column, const Sample &s) {
        Column edge;
        edge.column = column;
        edge.breakBefore = pendingBreak;
        addValue(edge, s.timeMs, s.value);
        out.append(edge);
        pendingBreak = false;
    };

    if (begin > 0 && !sample(channel, begin - 1).isGap()) {
        single(-1, sample(channel, begin - 1));
    }
    out.reserve(out.size() + qMin(end - begin, width * 2) + 1);
    Column current;
    const auto flush = [&out, &current] {
        if (current.points > 0) {
            out.append(current);
            current = Column();
        }
    };
    for (int i = begin; i < end; ++i) {
        const Sample &s = sample(channel, i);
        if (s.isGap()) {
            flush();
            pendingBreak = true;
            continue;
        }
        const int column = columnOf(s.timeMs);
        if (current.points > 0 && column != current.column) {
            flush();
        }
        if (current.points == 0) {
            current.column = column;
            current.breakBefore = pendingBreak;
            pendingBreak = false;
        }
        addValue(current, s.timeMs, s.value);
    }
    flush();
    // The neighbours outside the span only carry lines to its edges: each is kept when it joins
    // something inside or the other neighbour.
    if (end < n && !sample(channel, end).isGap() && !out.isEmpty() && !pendingBreak) {
        single(width, sample(channel, end));
    }
    if (!out.isEmpty() && out.first().column < 0 && (out.size() == 1 || out.at(1).breakBefore)) {
        out.removeFirst();
    }
    return out;
}

QByteArray TrendBuffer::csv() const {
    QByteArray text("time,temperature,humidity,dew_point\n");
    int next[ChannelCount] = {0, 0, 0};
    for (;;) {
        // The earliest point not written yet; every curve with a point at that time shares the row.
        qint64 time = std::numeric_limits<qint64>::max();
        bool any = false;
        for (int c = 0; c < ChannelCount; ++c) {
            while (next[c] < curves[c].size() && curves[c].at(next[c]).isGap()) {
                ++next[c];
            }
            if (next[c] < curves[c].size()) {
                time = qMin(time, curves[c].at(next[c]).timeMs);
                any = true;
            }
        }
        if (!any) {
            break;
        }
        QString row = MachineText::dateTime(QDateTime::fromMSecsSinceEpoch(time, Qt::UTC),
                                            QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz'Z'"));
        for (int c = 0; c < ChannelCount; ++c) {
            row += QLatin1Char(',');
            if (next[c] < curves[c].size() && curves[c].at(next[c]).timeMs == time) {
                row += number(curves[c].at(next[c]).value);
                ++next[c];
            }
        }
        row += QLatin1Char('\n');
        text += row.toLatin1();
    }
    return text;
}

} // namespace Trend
