#include "core/device/trend_buffer.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace {
constexpr double kBreak = std::numeric_limits<double>::quiet_NaN();
} // namespace

TrendBuffer::TrendBuffer(int capacity) : points(qMax(1, capacity)) {}

void TrendBuffer::add(qint64 ms, std::optional<double> temperature, std::optional<double> humidity,
                      std::optional<double> dewPoint) {
    Point p;
    p.ms = ms;
    const std::optional<double> values[3] = {temperature, humidity, dewPoint};
    for (int q = 0; q < 3; ++q) {
        if (values[q]) {
            p.value[q] = *values[q];
            p.present |= quint8(1u << q);
        }
    }
    if (count < points.size()) {
        points[(head + count) % points.size()] = p;
        ++count;
    } else {
        points[head] = p;
        head = (head + 1) % points.size();
    }
}

void TrendBuffer::addGap(qint64 ms) {
    if (count == 0 || at(count - 1).gap) {
        return;
    }
    add(ms, std::nullopt, std::nullopt, std::nullopt);
    const int last = (head + count - 1) % points.size();
    points[last].gap = true;
}

void TrendBuffer::addEvent(qint64 ms, const QString &text) {
    if (eventList.size() >= MaxEvents) {
        eventList.removeFirst();
    }
    eventList.append({ms, text});
}

void TrendBuffer::clear() {
    head = 0;
    count = 0;
    eventList.clear();
}

qint64 TrendBuffer::lastMs() const {
    return count == 0 ? 0 : at(count - 1).ms;
}

qint64 TrendBuffer::firstMs() const {
    return count == 0 ? 0 : at(0).ms;
}

QVector<QPointF> TrendBuffer::reduced(Quantity q, qint64 fromMs, qint64 toMs, int columns) const {
    QVector<QPointF> out;
    if (count == 0 || columns < 1 || toMs <= fromMs) {
        return out;
    }
    // The first point at or after fromMs (binary search, the points are in time order), and the
    // one before it so the curve enters the view.
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (at(middle).ms < fromMs) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    int first = low;
    first = qMax(0, first - 1);
    const double span = static_cast<double>(toMs - fromMs);
    int column = -1;
    QPointF firstP, minP, maxP, lastP;
    bool open = false;  // a column has values
    bool broken = true; // the last thing written is a break
    const auto flush = [&] {
        if (!open) {
            return;
        }
        // Each distinct point once, in time order.
        const QPointF inOrder[4] = {firstP, minP.x() <= maxP.x() ? minP : maxP,
                                    minP.x() <= maxP.x() ? maxP : minP, lastP};
        for (const QPointF &p : inOrder) {
            if (out.isEmpty() || out.last() != p) {
                out << p;
            }
        }
        open = false;
        broken = false;
    };
    const auto breakCurve = [&](qint64 ms) {
        flush();
        if (!broken) {
            out << QPointF(static_cast<double>(ms), kBreak);
            broken = true;
        }
    };
    for (int i = first; i < count; ++i) {
        const Point &p = at(i);
        if (p.ms > toMs) {
            // One point past the view so the curve leaves it, then stop.
            if (!p.gap && p.has(q)) {
                flush();
                out << QPointF(static_cast<double>(p.ms), p.value[q]);
            }
            break;
        }
        if (p.gap || !p.has(q)) {
            breakCurve(p.ms);
            continue;
        }
        const int c = static_cast<int>(std::floor((static_cast<double>(p.ms - fromMs) / span) * columns));
        const QPointF point(static_cast<double>(p.ms), p.value[q]);
        if (!open || c != column) {
            flush();
            column = c;
            firstP = minP = maxP = lastP = point;
            open = true;
            continue;
        }
        if (point.y() < minP.y()) {
            minP = point;
        }
        if (point.y() > maxP.y()) {
            maxP = point;
        }
        lastP = point;
    }
    flush();
    return out;
}

QByteArray TrendBuffer::csv() const {
    QByteArray text("time,temperature_c,humidity_pct,dewpoint_c\n");
    for (int i = 0; i < count; ++i) {
        const Point &p = at(i);
        if (p.gap) {
            continue;
        }
        text += QDateTime::fromMSecsSinceEpoch(p.ms, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1();
        for (int q = 0; q < 3; ++q) {
            text += ',';
            if (p.has(Quantity(q))) {
                text += QByteArray::number(p.value[q], 'f', 2);
            }
        }
        text += '\n';
    }
    return text;
}
