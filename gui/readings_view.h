#ifndef ZR_GUI_READINGS_VIEW_H
#define ZR_GUI_READINGS_VIEW_H

#include "core/device/readings_file.h"
#include "core/device/reply_parser.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <functional>

class MessageLog;
class QLabel;
class QWidget;
class SharedDataClass;
class TrendWindow;

// The live readings of the linked unit: the three labels with their analog equivalents, greyed
// with their age once they stop coming, a row of the run's readings file for every poll, and the
// trend fed with every reading, gap and event.
class ReadingsView {
    Q_DECLARE_TR_FUNCTIONS(Widget)

public:
    // `labels` temperature, humidity, dew point, on `window` (its palette, the trend's parent);
    // `now` the line's monotonic milliseconds; `pollMs` the poll period.
    ReadingsView(QWidget *window, QLabel *const labels[3], const SharedDataClass &shared, MessageLog &log,
                 std::function<qint64()> now, int pollMs);

    // The run's files are named by its start (the log's).
    void setRunStart(const QDateTime &start) { runStart = start; }

    // A reading decoded into the shared state: shown; resumed readings are said once.
    void show(ReadingBlock block, ReadingSelection selection);
    // Readings two poll periods old while polling are greyed, with their age; said once.
    void checkAge(bool polling);
    void showStale(qint64 ageMs);
    // One reading in the colours of the window's palette: value, mA, 5 V and 10 V.
    QString format(float min, float max, float value, quint8 decimals, bool percent) const;
    // The labels' colours follow a new palette.
    void recolour();
    // Link starts afresh: old readings are no readings.
    void reset();
    // Another unit: the labels read "---".
    void clear();

    // A live poll went out; its outcome (record) is awaited.
    void pollSent() { awaitingReply = true; }
    bool pollAwaited() const { return awaitingReply; }
    // The outcome of a live poll: a row of the readings file, and a reading or a break of the
    // trend; the poll no longer waits for its reply.
    void record(ReadingStatus status, ReadingBlock block = ReadingBlock::Hundredths,
                ReadingSelection selection = ReadingSelection::All);

    // The trend: its window made at the first use, an event (TrendWindow::Event) or a break, and a
    // new recording for another unit (after the device information).
    TrendWindow &trend();
    TrendWindow *trendIfMade() const { return trendWindow; }
    void showTrend();
    void trendGap();
    void trendEvent(int event);
    void trendUnit();

private:
    QWidget *window;
    QLabel *labels[3];
    const SharedDataClass &shared;
    MessageLog &log;
    std::function<qint64()> nowMs;
    int pollMs;
    QString texts[3];
    qint64 lastReadingMs = -1;
    bool stale = false;
    bool awaitingReply = false;
    QDateTime runStart;
    ReadingsFile file;
    bool fileSaid = false;
    TrendWindow *trendWindow = nullptr;
    QString trendSerial;
};

#endif
