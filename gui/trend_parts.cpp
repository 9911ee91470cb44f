#include "gui/trend_parts.h"

#include <QPainter>
#include <QPen>
#include <QTime>

namespace TrendParts {

QString degrees() {
    return QStringLiteral("\u00b0C");
}

QString percentRh() {
    return QStringLiteral("%RH");
}

QString valueText(const std::optional<Trend::Sample> &sample, const QString &unit) {
    return sample ? QString::number(sample->value, 'f', 2) + QLatin1Char(' ') + unit : QStringLiteral("---");
}

QwtInterval atLeast(const QwtInterval &interval, double least) {
    const QwtInterval normal = interval.normalized();
    if (normal.width() >= least) {
        return normal;
    }
    const double middle = (normal.minValue() + normal.maxValue()) / 2;
    return QwtInterval(middle - least / 2, middle + least / 2);
}

void LeastSpanEngine::autoScale(int maxNumSteps, double &x1, double &x2, double &stepSize) const {
    const QwtInterval wide = atLeast(QwtInterval(x1, x2), least);
    x1 = wide.minValue();
    x2 = wide.maxValue();
    QwtLinearScaleEngine::autoScale(maxNumSteps, x1, x2, stepSize);
}

TimeScaleDraw::TimeScaleDraw() : QwtDateScaleDraw(Qt::LocalTime) {
    setDateFormat(QwtDate::Millisecond, QStringLiteral("hh:mm:ss.zzz"));
    setDateFormat(QwtDate::Second, QStringLiteral("hh:mm:ss"));
    setDateFormat(QwtDate::Minute, QStringLiteral("hh:mm"));
    setDateFormat(QwtDate::Hour, QStringLiteral("hh:mm"));
}

QString TimeScaleDraw::dateFormatOfDate(const QDateTime &when, QwtDate::IntervalType type) const {
    const QString format = QwtDateScaleDraw::dateFormatOfDate(when, type);
    if (type <= QwtDate::Hour && when.time() == QTime(0, 0)) {
        return format + QStringLiteral("\nyyyy-MM-dd");
    }
    return format;
}

void Plot::replot() {
    updateAxes();
    if (beforeReplot) {
        beforeReplot();
    }
    QwtPlot::replot();
}

void Curve::setLine(const Trend::Polyline &line) {
    ends = line.runEnds;
    setSamples(line.points);
}

void Curve::drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                       const QRectF &canvasRect, int from, int to) const {
    if (to < 0) {
        to = int(dataSize()) - 1;
    }
    int start = 0;
    for (int end : ends) {
        const int first = qMax(start, from);
        const int last = qMin(end - 1, to);
        if (first == last && end - start == 1) {
            const QPointF point = sample(first);
            painter->save();
            QPen dot = pen();
            dot.setWidthF(qMax(3.0, dot.widthF() * 3));
            dot.setCapStyle(Qt::RoundCap);
            painter->setPen(dot);
            painter->drawPoint(QPointF(xMap.transform(point.x()), yMap.transform(point.y())));
            painter->restore();
        } else if (first < last) {
            QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, first, last);
        }
        start = end;
    }
}

} // namespace TrendParts
