#ifndef ZR_GUI_TREND_WINDOW_H
#define ZR_GUI_TREND_WINDOW_H

#include "core/device/trend_buffer.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotGrid;
class QwtPlotMarker;

namespace TrendParts {
class Plot;
class Curve;
class Interaction;
} // namespace TrendParts

// The trend of live readings: temperature and dew point against the left axis, relative
// humidity against the right one, over local wall-clock time. The window keeps the history
// whether it is shown or not and redraws a few times a second at most, only while it is shown
// and something new is in view.
class TrendWindow : public QWidget {
    Q_OBJECT

public:
    enum class Event { HeaterOn, HeaterOff, LinkOpened, LinkLost };
    enum class Span { OneMinute, TenMinutes, OneHour, Day, All };

    // A top-level window even with a parent (it closes and is deleted with it). `points` bounds
    // each curve; a day at one reading a second by default.
    explicit TrendWindow(QWidget *parent = nullptr, int points = Trend::TrendBuffer::DefaultPoints);
    ~TrendWindow() override;

    // Title "Trend - <model> address <n>"; the unit, its serial number as well, heads an
    // exported picture.
    void setDevice(const QString &model, int address, const QString &serial = QString());

    // Times are milliseconds since the epoch, UTC, and never go back (see Trend::TrendBuffer).
    void addReading(qint64 timeMs, const Trend::Reading &reading);
    // Breaks every curve: no reply, polling stopped, port closed.
    void addGap(qint64 timeMs);
    void addEvent(qint64 timeMs, Event event);
    void addEvent(qint64 timeMs, const QString &text);
    void clear();
    const Trend::TrendBuffer &buffer() const { return history; }
    static QString eventText(Event event);

    // Shows the window, brings it to the front and out of the task bar if it was minimised.
    void showAndRaise();

    // The newest reading kept in view over the last `span`; off once the user zooms or pans.
    void setFollow(bool on);
    bool follows() const { return following; }
    // Shows the last `span` and follows.
    void setSpan(Span span);
    Span span() const { return shownSpan; }

    // Writes the readings as CSV (Trend::TrendBuffer::csv) or the plot as it is shown as a PNG
    // image, creating the folder; false with the reason in `error` when the file cannot be
    // written. No dialog.
    bool exportCsv(const QString &path, QString *error = nullptr);
    bool exportPng(const QString &path, QString *error = nullptr);
    // "Data/Trend-<yyyyMMddhhmmss>.<suffix>" under the working directory, by the tool's clock.
    static QString defaultExportPath(const QString &suffix);

    // Brings the curves up to date and redraws now instead of at the next redraw tick.
    void refreshNow();
    // The plot as it is shown, rendered into an image of its size in device pixels; with a
    // heading (as exported), the unit and the span shown above it.
    QImage renderImage(bool heading = false) const;
    // The span of the time axis, "yyyy-MM-dd hh:mm:ss to hh:mm:ss, local time".
    QString spanText() const;

    QwtPlot *plot() const;
    const QwtPlotCurve *curve(Trend::Channel channel) const;
    // One past the last sample of each unbroken run of a curve.
    QVector<int> runEnds(Trend::Channel channel) const;
    int visibleMarkers() const;

protected:
    void showEvent(QShowEvent *event) override;
    // A new palette (the desktop changed its theme) recolours the canvas, grid, curves and events.
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void exportCsvWithDialog();
    void exportPngWithDialog();

private:
    void scheduleRefresh();
    void applyColours();
    // The time axis for the span ending at the newest reading, the value axes fitted to it.
    void applyFollowView();
    // Reduces every shown curve to the columns of the canvas over the time axis as it is.
    void updateCurves();
    void updateMarkers(qint64 from, qint64 to);
    // The user moved the view: stop following.
    void userMovedView();

    Trend::TrendBuffer history;
    TrendParts::Plot *trendPlot = nullptr;
    TrendParts::Curve *curves[Trend::ChannelCount] = {};
    QVector<QwtPlotMarker *> markers;
    QwtPlotGrid *grid = nullptr;
    TrendParts::Interaction *interaction = nullptr;
    // Who the readings are from, for the head of an exported picture.
    QString unit;
    QAbstractButton *followButton = nullptr;
    QButtonGroup *spanButtons = nullptr;
    QTimer refreshTimer;
    bool following = true;
    Span shownSpan = Span::TenMinutes;
    // What the curves were last reduced for.
    struct Reduced {
        qint64 from = 0, to = 0;
        int width = 0;
        quint64 revision = ~quint64(0);
        int shown = -1;
        bool operator==(const Reduced &o) const {
            return from == o.from && to == o.to && width == o.width && revision == o.revision &&
                   shown == o.shown;
        }
    } reduced;
};

#endif
