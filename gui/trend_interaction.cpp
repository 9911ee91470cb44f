#include "gui/trend_interaction.h"

#include "gui/colours.h"
#include "gui/trend_parts.h"
#include <QCoreApplication>

#include <QLocale>

#include <qwt_date.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_magnifier.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_map.h>
#include <qwt_text.h>

#include <cmath>
#include <functional>

namespace {

// The tracker takes the reading nearest the cursor within this many pixels, or two seconds.
constexpr int kTrackerPixels = 8;
constexpr qint64 kTrackerMinMs = 2000;

// The cursor's time and the three readings nearest it.
class Tracker : public QwtPlotPicker {
public:
    Tracker(const Trend::TrendBuffer &history, QWidget *canvas)
        : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::VLineRubberBand, QwtPicker::AlwaysOn,
                        canvas),
          history(history) {
        setStateMachine(new QwtPickerTrackerMachine);
    }

protected:
    QwtText trackerTextF(const QPointF &position) const override {
        using TrendParts::valueText;
        const QwtScaleMap map = plot()->canvasMap(QwtPlot::xBottom);
        const double msPerPixel = std::abs(map.invTransform(kTrackerPixels) - map.invTransform(0));
        const qint64 within = qMax(kTrackerMinMs, qint64(msPerPixel));
        const auto time = qint64(std::llround(position.x()));
        const QString when = QLocale().toString(QwtDate::toDateTime(double(time), Qt::LocalTime),
                                                QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QStringList lines{
            when,
            QCoreApplication::translate("TrendWindow", "Temperature: %1")
                .arg(valueText(history.nearest(Trend::Temperature, time, within), TrendParts::degrees())),
            QCoreApplication::translate("TrendWindow", "Humidity: %1")
                .arg(valueText(history.nearest(Trend::Humidity, time, within), TrendParts::percentRh())),
            QCoreApplication::translate("TrendWindow", "Dew point: %1")
                .arg(valueText(history.nearest(Trend::DewPoint, time, within), TrendParts::degrees()))};
        QwtText text(lines.join(QLatin1Char('\n')));
        text.setRenderFlags(Qt::AlignLeft);
        QColor behind = plot()->palette().color(QPalette::Base);
        behind.setAlpha(220);
        text.setBackgroundBrush(behind);
        text.setColor(Colours::colour(Colours::Role::EventText, plot()->palette()));
        return text;
    }

private:
    const Trend::TrendBuffer &history;
};

// The wheel zooms the time axis.
class Magnifier : public QwtPlotMagnifier {
public:
    Magnifier(QWidget *canvas, std::function<void()> moved)
        : QwtPlotMagnifier(canvas), moved(std::move(moved)) {
        setMouseButton(Qt::NoButton);
        // Wheel forward narrows the time axis, backward widens it.
        setWheelFactor(1.25);
        setAxisEnabled(QwtPlot::yLeft, false);
        setAxisEnabled(QwtPlot::yRight, false);
    }

protected:
    void rescale(double factor) override {
        moved();
        QwtPlotMagnifier::rescale(factor);
    }

private:
    std::function<void()> moved;
};

} // namespace

namespace TrendParts {

// The rubber-band zoom: the time axis and both value axes show what the box covered (the
// left axis given by the zoom rectangle, the right one kept beside it, level for level), each
// value axis at least its least span. The first zoom of a view starts from the view as it is
// then, as the axes change while the newest reading is followed.
class Zoomer : public QwtPlotZoomer {
public:
    explicit Zoomer(QWidget *canvas) : QwtPlotZoomer(QwtPlot::xBottom, QwtPlot::yLeft, canvas, false) {
        setTrackerMode(QwtPicker::AlwaysOff);
        // Right button: one zoom back; Ctrl + right button: back to the start. The middle
        // button pans.
        setMousePattern(QwtEventPattern::MouseSelect2, Qt::RightButton, Qt::ControlModifier);
        setMousePattern(QwtEventPattern::MouseSelect3, Qt::RightButton);
    }

    void setZoomBase(bool doReplot = true) override {
        if (doReplot) {
            plot()->replot();
        }
        rightStack = {plot()->axisScaleDiv(QwtPlot::yRight).interval()};
        QwtPlotZoomer::setZoomBase(false);
    }

    void zoom(const QRectF &rect) override {
        // The right axis over the same rows of pixels, read while the axes are still those the
        // box was drawn on.
        const QwtScaleMap left = plot()->canvasMap(QwtPlot::yLeft);
        const QwtScaleMap right = plot()->canvasMap(QwtPlot::yRight);
        const QwtInterval rows(right.invTransform(left.transform(rect.top())),
                               right.invTransform(left.transform(rect.bottom())));
        rightStack.resize(int(zoomRectIndex()) + 1);
        rightStack.append(rows.normalized());
        QwtPlotZoomer::zoom(rect);
        rightStack.resize(zoomStack().size());
    }
    // The arrow keys move the zoomed view; the right axis moves along, level for level.
    void moveTo(const QPointF &position) override {
        const QRectF before = zoomRect();
        const int index = int(zoomRectIndex());
        QwtPlotZoomer::moveTo(position);
        const QRectF after = zoomRect();
        if (after.top() != before.top() && index < rightStack.size() && before.height() > 0) {
            const double shift = (after.top() - before.top()) / before.height() * rightStack[index].width();
            rightStack[index] =
                QwtInterval(rightStack[index].minValue() + shift, rightStack[index].maxValue() + shift);
            rescale();
        }
    }
    using QwtPlotZoomer::setZoomBase;
    using QwtPlotZoomer::zoom;

protected:
    void begin() override {
        if (zoomRectIndex() == 0) {
            setZoomBase(false);
        }
        QwtPlotZoomer::begin();
    }

    // The box as drawn, corner pixel to corner pixel (the toolkit's own adds a pixel to it).
    bool end(bool ok = true) override {
        if (!QwtPlotPicker::end(ok) || !plot()) {
            return false;
        }
        const QPolygon &corners = selection();
        if (corners.count() < 2) {
            return false;
        }
        zoom(QRectF(invTransform(corners.first()), invTransform(corners.last())).normalized());
        return true;
    }

    void rescale() override {
        QwtPlot *plt = plot();
        const QRectF rect = zoomRect();
        const int index = int(zoomRectIndex());
        const QwtInterval time(rect.left(), rect.right());
        const QwtInterval left = atLeast(QwtInterval(rect.top(), rect.bottom()), kLeastDegrees);
        const QwtInterval right = atLeast(
            index < rightStack.size() ? rightStack[index] : plt->axisScaleDiv(QwtPlot::yRight).interval(),
            kLeastPercent);
        if (time == plt->axisScaleDiv(QwtPlot::xBottom).interval() &&
            left == plt->axisScaleDiv(QwtPlot::yLeft).interval() &&
            right == plt->axisScaleDiv(QwtPlot::yRight).interval()) {
            return;
        }
        const bool autoReplot = plt->autoReplot();
        plt->setAutoReplot(false);
        plt->setAxisScale(QwtPlot::xBottom, time.minValue(), time.maxValue());
        plt->setAxisScale(QwtPlot::yLeft, left.minValue(), left.maxValue());
        plt->setAxisScale(QwtPlot::yRight, right.minValue(), right.maxValue());
        plt->setAutoReplot(autoReplot);
        plt->replot();
    }

private:
    // The right axis for each rectangle of the zoom stack.
    QVector<QwtInterval> rightStack;
};

Interaction::Interaction(QwtPlot *plot, const Trend::TrendBuffer &history, QObject *parent)
    : QObject(parent) {
    QWidget *canvas = plot->canvas();
    zoomer = new Zoomer(canvas);
    zoomer->setRubberBandPen(QColor(Qt::darkGray));
    connect(zoomer, &QwtPlotZoomer::zoomed, this, [this] {
        if (zoomer->zoomRectIndex() > 0) {
            emit moved();
        }
    });
    auto *panner = new QwtPlotPanner(canvas);
    panner->setMouseButton(Qt::MiddleButton);
    connect(panner, &QwtPanner::moved, this, &Interaction::moved);
    new Magnifier(canvas, [this] { emit moved(); });
    auto *tracker = new Tracker(history, canvas);
    tracker->setRubberBandPen(QColor(0x80, 0x80, 0x80));
}

void Interaction::forgetZooms() {
    zoomer->setZoomBase(false);
}

} // namespace TrendParts
