#include "gui/trend_window.h"

#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "gui/colours.h"

#include <QButtonGroup>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <qwt_date.h>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_magnifier.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_map.h>
#include <qwt_text.h>

#include <cmath>
#include <functional>

namespace {

// Redraws at most this often while readings come in.
constexpr int kRefreshMs = 250;
// Markers drawn at most in one view, the newest first.
constexpr int kMaxMarkers = 200;
// The tracker takes the reading nearest the cursor within this many pixels, or two seconds.
constexpr int kTrackerPixels = 8;
constexpr qint64 kTrackerMinMs = 2000;
// The shortest time axis, for a history of one reading.
constexpr qint64 kMinSpanMs = 60 * 1000;

const Colours::Role kCurveColours[Trend::ChannelCount] = {Colours::Role::Temperature, Colours::Role::Humidity,
                                                          Colours::Role::DewPoint};
// The narrowest span of each value axis, so that a step of a tenth is not drawn as a cliff.
constexpr double kLeastDegrees = 2.0;
constexpr double kLeastPercent = 2.0;

// `interval` widened about its middle to at least `least`.
QwtInterval atLeast(const QwtInterval &interval, double least) {
    const QwtInterval normal = interval.normalized();
    if (normal.width() >= least) {
        return normal;
    }
    const double middle = (normal.minValue() + normal.maxValue()) / 2;
    return QwtInterval(middle - least / 2, middle + least / 2);
}

// Fits a value axis to what is shown, never narrower than its least span.
class LeastSpanEngine : public QwtLinearScaleEngine {
public:
    explicit LeastSpanEngine(double least) : least(least) {}

    void autoScale(int maxNumSteps, double &x1, double &x2, double &stepSize) const override {
        const QwtInterval wide = atLeast(QwtInterval(x1, x2), least);
        x1 = wide.minValue();
        x2 = wide.maxValue();
        QwtLinearScaleEngine::autoScale(maxNumSteps, x1, x2, stepSize);
    }

private:
    double least;
};

qint64 spanMs(TrendWindow::Span span) {
    switch (span) {
    case TrendWindow::Span::OneMinute:
        return 60 * 1000;
    case TrendWindow::Span::TenMinutes:
        return 10 * 60 * 1000;
    case TrendWindow::Span::OneHour:
        return 60 * 60 * 1000;
    case TrendWindow::Span::Day:
        return 24 * 60 * 60 * 1000;
    case TrendWindow::Span::All:
        break;
    }
    return 0;
}

// Units, written the same in every language.
const QString kDegrees = QStringLiteral("\u00b0C");
const QString kPercentRh = QStringLiteral("%RH");

QString valueText(const std::optional<Trend::Sample> &sample, const QString &unit) {
    return sample ? QString::number(sample->value, 'f', 2) + QLatin1Char(' ') + unit : QStringLiteral("---");
}

// Wall-clock labels; the date joins the time at midnight.
class TimeScaleDraw : public QwtDateScaleDraw {
public:
    TimeScaleDraw() : QwtDateScaleDraw(Qt::LocalTime) {
        setDateFormat(QwtDate::Millisecond, QStringLiteral("hh:mm:ss.zzz"));
        setDateFormat(QwtDate::Second, QStringLiteral("hh:mm:ss"));
        setDateFormat(QwtDate::Minute, QStringLiteral("hh:mm"));
        setDateFormat(QwtDate::Hour, QStringLiteral("hh:mm"));
    }

protected:
    QString dateFormatOfDate(const QDateTime &when, QwtDate::IntervalType type) const override {
        const QString format = QwtDateScaleDraw::dateFormatOfDate(when, type);
        if (type <= QwtDate::Hour && when.time() == QTime(0, 0)) {
            return format + QStringLiteral("\nyyyy-MM-dd");
        }
        return format;
    }
};

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
        const QwtScaleMap map = plot()->canvasMap(QwtPlot::xBottom);
        const double msPerPixel = std::abs(map.invTransform(kTrackerPixels) - map.invTransform(0));
        const qint64 within = qMax(kTrackerMinMs, qint64(msPerPixel));
        const auto time = qint64(std::llround(position.x()));
        const QString when = QLocale().toString(QwtDate::toDateTime(double(time), Qt::LocalTime),
                                                QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QStringList lines{
            when,
            TrendWindow::tr("Temperature: %1")
                .arg(valueText(history.nearest(Trend::Temperature, time, within), kDegrees)),
            TrendWindow::tr("Humidity: %1")
                .arg(valueText(history.nearest(Trend::Humidity, time, within), kPercentRh)),
            TrendWindow::tr("Dew point: %1")
                .arg(valueText(history.nearest(Trend::DewPoint, time, within), kDegrees))};
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

// A plot that brings its curves up to date with the time axis before every redraw, whoever
// asks for it (zoom, pan, wheel, resize or new readings).
class Plot : public QwtPlot {
public:
    using QwtPlot::QwtPlot;
    std::function<void()> beforeReplot;

    void replot() override {
        updateAxes();
        if (beforeReplot) {
            beforeReplot();
        }
        QwtPlot::replot();
    }
};

// A curve drawn run by run, so it is broken where the readings stopped; a run of one reading is
// a dot.
class Curve : public QwtPlotCurve {
public:
    using QwtPlotCurve::QwtPlotCurve;

    void setLine(const Trend::Polyline &line) {
        ends = line.runEnds;
        setSamples(line.points);
    }
    const QVector<int> &runEnds() const { return ends; }

protected:
    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                    const QRectF &canvasRect, int from, int to) const override {
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

private:
    QVector<int> ends;
};

} // namespace TrendParts

TrendWindow::TrendWindow(QWidget *parent, int points) : QWidget(parent, Qt::Window), history(points) {
    setObjectName(QStringLiteral("trendWindow"));
    setWindowTitle(tr("Trend"));

    trendPlot = new TrendParts::Plot(this);
    trendPlot->setObjectName(QStringLiteral("trendPlot"));
    trendPlot->setAxisScaleDraw(QwtPlot::xBottom, new TimeScaleDraw);
    trendPlot->setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::LocalTime));
    trendPlot->setAxisScaleEngine(QwtPlot::yLeft, new LeastSpanEngine(kLeastDegrees));
    trendPlot->setAxisScaleEngine(QwtPlot::yRight, new LeastSpanEngine(kLeastPercent));
    trendPlot->enableAxis(QwtPlot::yRight);
    trendPlot->setAxisTitle(QwtPlot::yLeft, tr("Temperature, dew point (%1)").arg(kDegrees));
    trendPlot->setAxisTitle(QwtPlot::yRight, tr("Relative humidity (%1)").arg(kPercentRh));

    grid = new QwtPlotGrid;
    grid->attach(trendPlot);

    auto *legend = new QwtLegend;
    legend->setDefaultItemMode(QwtLegendData::Checkable);
    trendPlot->insertLegend(legend, QwtPlot::BottomLegend);

    const QString names[Trend::ChannelCount] = {tr("Temperature"), tr("Humidity"), tr("Dew point")};
    for (int c = 0; c < Trend::ChannelCount; ++c) {
        auto *curve = new TrendParts::Curve(names[c]);
        curve->setYAxis(c == Trend::Humidity ? QwtPlot::yRight : QwtPlot::yLeft);
        curve->setLegendAttribute(QwtPlotCurve::LegendShowLine);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased);
        curve->attach(trendPlot);
        curves[c] = curve;
        if (auto *label =
                qobject_cast<QwtLegendLabel *>(legend->legendWidget(trendPlot->itemToInfo(curve)))) {
            label->setChecked(true);
        }
    }
    connect(legend, &QwtLegend::checked, this, [this](const QVariant &info, bool on, int) {
        if (QwtPlotItem *item = trendPlot->infoToItem(info)) {
            item->setVisible(on);
            trendPlot->replot();
        }
    });

    QWidget *canvas = trendPlot->canvas();
    canvas->installEventFilter(this);
    zoomer = new Zoomer(canvas);
    zoomer->setRubberBandPen(QColor(Qt::darkGray));
    connect(zoomer, &QwtPlotZoomer::zoomed, this, [this] {
        if (zoomer->zoomRectIndex() > 0) {
            userMovedView();
        }
    });
    auto *panner = new QwtPlotPanner(canvas);
    panner->setMouseButton(Qt::MiddleButton);
    connect(panner, &QwtPanner::moved, this, [this] { userMovedView(); });
    new Magnifier(canvas, [this] { userMovedView(); });
    auto *tracker = new Tracker(history, canvas);
    tracker->setRubberBandPen(QColor(0x80, 0x80, 0x80));

    // The buttons above the plot.
    auto *bar = new QHBoxLayout;
    auto *follow = new QPushButton(tr("Follow"), this);
    follow->setObjectName(QStringLiteral("pushButtonFollow"));
    follow->setCheckable(true);
    follow->setChecked(true);
    follow->setToolTip(tr("Keep the newest reading in view"));
    connect(follow, &QPushButton::toggled, this, &TrendWindow::setFollow);
    followButton = follow;
    bar->addWidget(follow);

    spanButtons = new QButtonGroup(this);
    const struct {
        Span span;
        QString text;
        const char *name;
    } spans[] = {{Span::OneMinute, tr("1 min"), "pushButtonSpan1Min"},
                 {Span::TenMinutes, tr("10 min"), "pushButtonSpan10Min"},
                 {Span::OneHour, tr("1 h"), "pushButtonSpan1H"},
                 {Span::Day, tr("24 h"), "pushButtonSpan24H"},
                 {Span::All, tr("All"), "pushButtonSpanAll"}};
    for (const auto &s : spans) {
        auto *button = new QPushButton(s.text, this);
        button->setObjectName(QLatin1String(s.name));
        button->setCheckable(true);
        button->setChecked(s.span == shownSpan);
        spanButtons->addButton(button, int(s.span));
        bar->addWidget(button);
    }
    connect(spanButtons, &QButtonGroup::idClicked, this, [this](int id) { setSpan(Span(id)); });
    bar->addStretch();

    auto *exportCsvButton = new QPushButton(tr("Export CSV"), this);
    exportCsvButton->setObjectName(QStringLiteral("pushButtonExportCsv"));
    connect(exportCsvButton, &QPushButton::clicked, this, &TrendWindow::exportCsvWithDialog);
    bar->addWidget(exportCsvButton);
    auto *exportPngButton = new QPushButton(tr("Export PNG"), this);
    exportPngButton->setObjectName(QStringLiteral("pushButtonExportPng"));
    connect(exportPngButton, &QPushButton::clicked, this, &TrendWindow::exportPngWithDialog);
    bar->addWidget(exportPngButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(trendPlot, 1);
    resize(900, 560);

    refreshTimer.setSingleShot(true);
    refreshTimer.setInterval(kRefreshMs);
    connect(&refreshTimer, &QTimer::timeout, this, [this] {
        if (isVisible()) {
            refreshNow();
        }
    });
    trendPlot->beforeReplot = [this] { updateCurves(); };
    applyColours();
    applyFollowView();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::setDevice(const QString &model, int address, const QString &serial) {
    setWindowTitle(tr("Trend - %1 address %2").arg(model).arg(address));
    unit = serial.isEmpty() ? tr("%1, address %2").arg(model).arg(address)
                            : tr("%1, serial number %2, address %3").arg(model, serial).arg(address);
}

void TrendWindow::applyColours() {
    const QPalette colours = palette();
    trendPlot->setCanvasBackground(colours.color(QPalette::Base));
    grid->setMajorPen(Colours::colour(Colours::Role::Grid, colours), 0, Qt::DotLine);
    for (int c = 0; c < Trend::ChannelCount; ++c) {
        curves[c]->setPen(Colours::colour(kCurveColours[c], colours), 1.0);
    }
    // The markers are made again with the next redraw.
    reduced = Reduced();
    scheduleRefresh();
}

void TrendWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColours();
    }
}

QString TrendWindow::eventText(Event event) {
    switch (event) {
    case Event::HeaterOn:
        return tr("Heater on");
    case Event::HeaterOff:
        return tr("Heater off");
    case Event::LinkOpened:
        return tr("Link opened");
    case Event::LinkLost:
        return tr("Link lost");
    }
    return QString();
}

void TrendWindow::addReading(qint64 timeMs, const Trend::Reading &reading) {
    const qint64 previous = history.newestTime();
    if (!history.addReading(timeMs, reading) || !isVisible()) {
        return;
    }
    // Redrawn when following, or when the line to the new reading crosses the view.
    const QwtScaleDiv &x = trendPlot->axisScaleDiv(QwtPlot::xBottom);
    if (following || (double(previous) <= x.upperBound() && double(timeMs) >= x.lowerBound())) {
        scheduleRefresh();
    }
}

void TrendWindow::addGap(qint64 timeMs) {
    if (history.addGap(timeMs) && isVisible()) {
        scheduleRefresh();
    }
}

void TrendWindow::addEvent(qint64 timeMs, Event event) {
    addEvent(timeMs, eventText(event));
}

void TrendWindow::addEvent(qint64 timeMs, const QString &text) {
    if (history.addEvent(timeMs, text) && isVisible()) {
        scheduleRefresh();
    }
}

void TrendWindow::clear() {
    history.clear();
    if (isVisible()) {
        scheduleRefresh();
    }
}

void TrendWindow::showAndRaise() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TrendWindow::setFollow(bool on) {
    following = on;
    if (followButton->isChecked() != on) {
        followButton->setChecked(on);
    }
    if (on) {
        trendPlot->setAxisAutoScale(QwtPlot::yLeft);
        trendPlot->setAxisAutoScale(QwtPlot::yRight);
        // Forget the zooms; the next one starts from the followed view.
        zoomer->setZoomBase(false);
        refreshNow();
    }
}

void TrendWindow::setSpan(Span span) {
    shownSpan = span;
    if (QAbstractButton *button = spanButtons->button(int(span))) {
        button->setChecked(true);
    }
    if (following) {
        refreshNow();
    } else {
        setFollow(true);
    }
}

void TrendWindow::userMovedView() {
    if (following) {
        setFollow(false);
    }
}

void TrendWindow::scheduleRefresh() {
    if (!refreshTimer.isActive()) {
        refreshTimer.start();
    }
}

void TrendWindow::refreshNow() {
    refreshTimer.stop();
    applyFollowView();
    trendPlot->replot();
}

void TrendWindow::applyFollowView() {
    if (!following) {
        return;
    }
    const qint64 newest = history.isEmpty() ? Clock::now().toMSecsSinceEpoch() : history.newestTime();
    qint64 from = newest - spanMs(shownSpan);
    if (shownSpan == Span::All) {
        from = history.isEmpty() ? newest - spanMs(Span::TenMinutes) : history.oldestTime();
    }
    from = qMin(from, newest - kMinSpanMs);
    trendPlot->setAxisScale(QwtPlot::xBottom, double(from), double(newest));
}

void TrendWindow::updateCurves() {
    const QwtScaleDiv &x = trendPlot->axisScaleDiv(QwtPlot::xBottom);
    Reduced now;
    now.from = qint64(std::floor(qMin(x.lowerBound(), x.upperBound())));
    now.to = qint64(std::ceil(qMax(x.lowerBound(), x.upperBound())));
    const QWidget *canvas = trendPlot->canvas();
    now.width = qMax(1, qRound(canvas->contentsRect().width() * canvas->devicePixelRatioF()));
    now.revision = history.revision();
    now.shown = 0;
    for (int c = 0; c < Trend::ChannelCount; ++c) {
        now.shown |= curves[c]->isVisible() ? 1 << c : 0;
    }
    if (now == reduced) {
        return;
    }
    reduced = now;
    for (int c = 0; c < Trend::ChannelCount; ++c) {
        // A hidden curve is reduced when it is shown again.
        curves[c]->setLine(curves[c]->isVisible() ? Trend::polyline(history.reduce(
                                                        Trend::Channel(c), now.from, now.to, now.width))
                                                  : Trend::Polyline());
    }
    updateMarkers(now.from, now.to);
}

void TrendWindow::updateMarkers(qint64 from, qint64 to) {
    const QPair<int, int> range = history.eventRange(from, to);
    const int first = qMax(range.first, range.second - kMaxMarkers);
    const int count = range.second - first;
    const QPalette colours = palette();
    QColor labelBehind = colours.color(QPalette::Base);
    labelBehind.setAlpha(200);
    while (markers.size() < count) {
        auto *marker = new QwtPlotMarker;
        marker->setLineStyle(QwtPlotMarker::VLine);
        marker->setLabelOrientation(Qt::Vertical);
        marker->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
        marker->attach(trendPlot);
        markers.append(marker);
    }
    for (int i = 0; i < markers.size(); ++i) {
        QwtPlotMarker *marker = markers[i];
        marker->setVisible(i < count);
        if (i < count) {
            const Trend::Event &event = history.event(first + i);
            marker->setXValue(double(event.timeMs));
            marker->setLinePen(Colours::colour(Colours::Role::EventLine, colours), 0, Qt::DashLine);
            // Readable over the curves it crosses.
            QwtText label(event.text);
            label.setColor(Colours::colour(Colours::Role::EventText, colours));
            label.setBackgroundBrush(labelBehind);
            marker->setLabel(label);
        }
    }
}

int TrendWindow::visibleMarkers() const {
    int shown = 0;
    for (const QwtPlotMarker *marker : markers) {
        shown += marker->isVisible() ? 1 : 0;
    }
    return shown;
}

void TrendWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    refreshNow();
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == trendPlot->canvas() && event->type() == QEvent::Resize) {
        scheduleRefresh();
    }
    return QWidget::eventFilter(watched, event);
}

QwtPlot *TrendWindow::plot() const {
    return trendPlot;
}

const QwtPlotCurve *TrendWindow::curve(Trend::Channel channel) const {
    return curves[channel];
}

QVector<int> TrendWindow::runEnds(Trend::Channel channel) const {
    return curves[channel]->runEnds();
}

QString TrendWindow::defaultExportPath(const QString &suffix) {
    return QDir::current().absoluteFilePath(
        QStringLiteral("Data/Trend-") + MachineText::logFileStamp(Clock::now()) + QLatin1Char('.') + suffix);
}

namespace {

bool makeFolderFor(const QString &path, QString *error) {
    const QDir folder = QFileInfo(path).absoluteDir();
    if (folder.exists() || QDir().mkpath(folder.path())) {
        return true;
    }
    if (error) {
        *error = TrendWindow::tr("cannot create the folder %1").arg(QDir::toNativeSeparators(folder.path()));
    }
    return false;
}

} // namespace

bool TrendWindow::exportCsv(const QString &path, QString *error) {
    if (!makeFolderFor(path, error)) {
        return false;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray text = history.csv();
        if (file.write(text) == text.size() && file.commit()) {
            return true;
        }
    }
    if (error) {
        *error = file.errorString();
    }
    return false;
}

QString TrendWindow::spanText() const {
    const QwtInterval shown = trendPlot->axisScaleDiv(QwtPlot::xBottom).interval().normalized();
    const QDateTime from = QwtDate::toDateTime(shown.minValue(), Qt::LocalTime);
    const QDateTime to = QwtDate::toDateTime(shown.maxValue(), Qt::LocalTime);
    const QString full = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return tr("%1 to %2, local time")
        .arg(from.toString(full), to.toString(from.date() == to.date() ? QStringLiteral("hh:mm:ss") : full));
}

QImage TrendWindow::renderImage(bool heading) const {
    // Laid out as on the screen and drawn at the screen's device pixel ratio: the renderer
    // scales by the image's resolution against the plot's.
    const qreal ratio = trendPlot->devicePixelRatioF();
    QImage image(trendPlot->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    const auto dotsPerMeter = [ratio](int dpi) { return qRound(dpi * ratio / 0.0254); };
    image.setDotsPerMeterX(dotsPerMeter(trendPlot->logicalDpiX()));
    image.setDotsPerMeterY(dotsPerMeter(trendPlot->logicalDpiY()));
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    QRectF plotArea(QPointF(0, 0), QSizeF(image.size()));
    if (heading) {
        // Who the readings are from and when, above the plot; the value axes name their units.
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        const QString lines = (unit.isEmpty() ? windowTitle() : unit) + QLatin1Char('\n') + spanText();
        const qreal margin = painter.fontMetrics().height() / 2.0;
        const QRectF text = painter.boundingRect(plotArea.adjusted(margin, margin, -margin, 0),
                                                 Qt::AlignLeft | Qt::AlignTop, lines);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, lines);
        plotArea.setTop(text.bottom() + margin);
    }
    QwtPlotRenderer renderer;
    renderer.render(trendPlot, &painter, plotArea);
    painter.end();
    return image;
}

bool TrendWindow::exportPng(const QString &path, QString *error) {
    if (!makeFolderFor(path, error)) {
        return false;
    }
    refreshNow();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && renderImage(true).save(&file, "PNG") && file.commit()) {
        return true;
    }
    if (error) {
        *error = file.errorString();
    }
    return false;
}

void TrendWindow::showExportError(const QString &path, const QString &error) {
    QMessageBox::information(
        this, tr("Error"),
        tr("The trend cannot be written to %1: %2").arg(QDir::toNativeSeparators(path), error));
}

void TrendWindow::exportCsvWithDialog() {
    QDir().mkpath(QFileInfo(defaultExportPath(QStringLiteral("csv"))).path());
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export CSV"), defaultExportPath(QStringLiteral("csv")), tr("CSV files (*.csv)"));
    QString error;
    if (!path.isEmpty() && !exportCsv(path, &error)) {
        showExportError(path, error);
    }
}

void TrendWindow::exportPngWithDialog() {
    QDir().mkpath(QFileInfo(defaultExportPath(QStringLiteral("png"))).path());
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export PNG"), defaultExportPath(QStringLiteral("png")), tr("PNG images (*.png)"));
    QString error;
    if (!path.isEmpty() && !exportPng(path, &error)) {
        showExportError(path, error);
    }
}
