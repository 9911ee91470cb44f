#ifndef ZR_GUI_TREND_PARTS_H
#define ZR_GUI_TREND_PARTS_H

#include "core/device/trend_buffer.h"

#include <QString>
#include <QVector>

#include <qwt_date_scale_draw.h>
#include <qwt_interval.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_engine.h>

#include <functional>
#include <optional>

// The pieces the trend's plot is made of.
namespace TrendParts {

// The narrowest span of each value axis, so that a step of a tenth is not drawn as a cliff.
constexpr double kLeastDegrees = 2.0;
constexpr double kLeastPercent = 2.0;

// Units, written the same in every language.
QString degrees();
QString percentRh();
// A value with its unit, "---" for none.
QString valueText(const std::optional<Trend::Sample> &sample, const QString &unit);

// `interval` widened about its middle to at least `least`.
QwtInterval atLeast(const QwtInterval &interval, double least);

// Fits a value axis to what is shown, never narrower than its least span.
class LeastSpanEngine : public QwtLinearScaleEngine {
public:
    explicit LeastSpanEngine(double least) : least(least) {}
    void autoScale(int maxNumSteps, double &x1, double &x2, double &stepSize) const override;

private:
    double least;
};

// Wall-clock labels; the date joins the time at midnight.
class TimeScaleDraw : public QwtDateScaleDraw {
public:
    TimeScaleDraw();

protected:
    QString dateFormatOfDate(const QDateTime &when, QwtDate::IntervalType type) const override;
};

// A plot that brings its curves up to date with the time axis before every redraw, whoever
// asks for it (zoom, pan, wheel, resize or new readings).
class Plot : public QwtPlot {
public:
    using QwtPlot::QwtPlot;
    std::function<void()> beforeReplot;

    void replot() override;
};

// A curve drawn run by run, so it is broken where the readings stopped; a run of one reading is
// a dot.
class Curve : public QwtPlotCurve {
public:
    using QwtPlotCurve::QwtPlotCurve;

    void setLine(const Trend::Polyline &line);
    const QVector<int> &runEnds() const { return ends; }

protected:
    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                    const QRectF &canvasRect, int from, int to) const override;

private:
    QVector<int> ends;
};

} // namespace TrendParts

#endif
