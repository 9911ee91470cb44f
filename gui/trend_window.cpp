#include "gui/trend_window.h"

#include "core/base/clock.h"
#include "gui/colours.h"
#include "gui/trend_export.h"
#include "gui/trend_interaction.h"
#include "gui/trend_parts.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_text.h>

#include <cmath>

using TrendParts::kLeastDegrees;
using TrendParts::kLeastPercent;

namespace {

// Redraws at most this often while readings come in.
constexpr int kRefreshMs = 250;
// Markers drawn at most in one view, the newest first.
constexpr int kMaxMarkers = 200;
// The shortest time axis, for a history of one reading.
constexpr qint64 kMinSpanMs = 60 * 1000;

const Colours::Role kCurveColours[Trend::ChannelCount] = {Colours::Role::Temperature, Colours::Role::Humidity,
                                                          Colours::Role::DewPoint};

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

} // namespace

TrendWindow::TrendWindow(QWidget *parent, int points) : QWidget(parent, Qt::Window), history(points) {
    setObjectName(QStringLiteral("trendWindow"));
    setWindowTitle(tr("Trend"));

    trendPlot = new TrendParts::Plot(this);
    trendPlot->setObjectName(QStringLiteral("trendPlot"));
    trendPlot->setAxisScaleDraw(QwtPlot::xBottom, new TrendParts::TimeScaleDraw);
    trendPlot->setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::LocalTime));
    trendPlot->setAxisScaleEngine(QwtPlot::yLeft, new TrendParts::LeastSpanEngine(kLeastDegrees));
    trendPlot->setAxisScaleEngine(QwtPlot::yRight, new TrendParts::LeastSpanEngine(kLeastPercent));
    trendPlot->enableAxis(QwtPlot::yRight);
    trendPlot->setAxisTitle(QwtPlot::yLeft, tr("Temperature, dew point (%1)").arg(TrendParts::degrees()));
    trendPlot->setAxisTitle(QwtPlot::yRight, tr("Relative humidity (%1)").arg(TrendParts::percentRh()));

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

    trendPlot->canvas()->installEventFilter(this);
    interaction = new TrendParts::Interaction(trendPlot, history, this);
    connect(interaction, &TrendParts::Interaction::moved, this, &TrendWindow::userMovedView);

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
        interaction->forgetZooms();
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
    return TrendExport::defaultPath(suffix);
}

bool TrendWindow::exportCsv(const QString &path, QString *error) {
    return TrendExport::writeCsv(history, path, error);
}

QString TrendWindow::spanText() const {
    return TrendExport::spanText(trendPlot);
}

QImage TrendWindow::renderImage(bool heading) const {
    return TrendExport::render(trendPlot, this,
                               heading ? (unit.isEmpty() ? windowTitle() : unit) : QString());
}

bool TrendWindow::exportPng(const QString &path, QString *error) {
    if (!TrendExport::makeFolderFor(path, error)) {
        return false;
    }
    refreshNow();
    return TrendExport::writePng(renderImage(true), path, error);
}

void TrendWindow::exportCsvWithDialog() {
    TrendExport::withDialog(this, tr("Export CSV"), QStringLiteral("csv"), tr("CSV files (*.csv)"),
                            [this](const QString &path, QString *error) { return exportCsv(path, error); });
}

void TrendWindow::exportPngWithDialog() {
    TrendExport::withDialog(this, tr("Export PNG"), QStringLiteral("png"), tr("PNG images (*.png)"),
                            [this](const QString &path, QString *error) { return exportPng(path, error); });
}
