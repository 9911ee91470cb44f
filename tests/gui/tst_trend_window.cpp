// The trend window: readings into curves, breaks, following and the user's zoom and pan, the
// exports and the translated texts. Headless; exports go through the path-taking methods.
#include "core/base/clock.h"
#include "gui/trend_window.h"
#include "tests/support/harness.h"

#include <QAbstractButton>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTranslator>
#include <QWheelEvent>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>

#include <cmath>

Q_DECLARE_METATYPE(QVector<int>)
Q_DECLARE_METATYPE(QVector<QRectF>)

namespace {

// 2026-12-08 04:00:00 UTC.
const qint64 kStart = QDateTime(QDate(2026, 12, 8), QTime(4, 0), Qt::UTC).toMSecsSinceEpoch();

double temperatureAt(int i) {
    return 20.0 + (i % 17) * 0.25;
}
double humidityAt(int i) {
    return 40.0 + (i % 23) * 0.5;
}
double dewPointAt(int i) {
    return 5.0 - (i % 11) * 0.1;
}

// Reading i of a poll of `which` ("A" all three, "T" temperature, "H" humidity, "D" dew point).
Trend::Reading readingAt(int i, const QString &which) {
    Trend::Reading reading;
    if (which == QLatin1String("A") || which == QLatin1String("T")) {
        reading.set(Trend::Temperature, temperatureAt(i));
    }
    if (which == QLatin1String("A") || which == QLatin1String("H")) {
        reading.set(Trend::Humidity, humidityAt(i));
    }
    if (which == QLatin1String("A") || which == QLatin1String("D")) {
        reading.set(Trend::DewPoint, dewPointAt(i));
    }
    return reading;
}

// A shown window 1000 px wide in a working directory of its own.
struct Shown {
    explicit Shown(int points = Trend::TrendBuffer::DefaultPoints) : window(nullptr, points) {
        window.resize(1000, 600);
        window.show();
        ok = QTest::qWaitForWindowExposed(&window);
    }
    ScopedWorkDir dir;
    TrendWindow window;
    bool ok = false;
};

QwtInterval timeAxis(const TrendWindow &w) {
    return w.plot()->axisScaleDiv(QwtPlot::xBottom).interval();
}

// The temperature curve's colour, blended with white by antialiasing as it may be.
bool isRed(const QColor &c) {
    return c.red() - c.green() > 50 && c.red() - c.blue() > 50;
}

// Whether the canvas column at `x` holds a pixel of the temperature curve's red.
bool redInColumn(const QImage &canvas, int x) {
    for (int y = 0; y < canvas.height(); ++y) {
        if (isRed(canvas.pixelColor(x, y))) {
            return true;
        }
    }
    return false;
}

void sendMouse(QWidget *to, QEvent::Type type, const QPoint &at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, to->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &event);
}

} // namespace

class TstTrendWindow : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Clock::setFixedNow(QDateTime()); }
    void curvesHoldReadings_data();
    void curvesHoldReadings();
    void breakIsNotBridged_data();
    void breakIsNotBridged();
    void userViewStopsFollowing_data();
    void userViewStopsFollowing();
    void zoomShowsTheBox_data();
    void zoomShowsTheBox();
    void csvParsesBack_data();
    void csvParsesBack();
    void pngIsTheShownPlot_data();
    void pngIsTheShownPlot();
    void textsTranslated();
};

void TstTrendWindow::curvesHoldReadings_data() {
    QTest::addColumn<QString>("polls");
    QTest::addColumn<int>("readings");         // one a second
    QTest::addColumn<int>("span");             // TrendWindow::Span
    QTest::addColumn<QVector<int>>("samples"); // expected per curve; -1: reduced, not every reading
    QTest::newRow("all three") << "A" << 120 << int(TrendWindow::Span::All) << QVector<int>{120, 120, 120};
    QTest::newRow("temperature only") << "T" << 120 << int(TrendWindow::Span::All) << QVector<int>{120, 0, 0};
    QTest::newRow("humidity only") << "H" << 30 << int(TrendWindow::Span::OneMinute)
                                   << QVector<int>{0, 30, 0};
    // The last ten minutes and the reading before them, which carries the line to the edge.
    QTest::newRow("ten minutes of fifteen")
        << "A" << 900 << int(TrendWindow::Span::TenMinutes) << QVector<int>{602, 602, 602};
    QTest::newRow("a full day") << "A" << 86400 << int(TrendWindow::Span::Day) << QVector<int>{-1, -1, -1};
}

void TstTrendWindow::curvesHoldReadings() {
    QFETCH(QString, polls);
    QFETCH(int, readings);
    QFETCH(int, span);
    QFETCH(QVector<int>, samples);
    Shown shown;
    QVERIFY(shown.ok);
    TrendWindow &w = shown.window;
    w.setSpan(TrendWindow::Span(span));
    // One reading far above the others somewhere in the middle: a reduced curve still reaches it.
    const int spike = readings / 2 + 7;
    for (int i = 0; i < readings; ++i) {
        Trend::Reading reading = readingAt(i, polls);
        if (i == spike && reading.values[Trend::Temperature]) {
            reading.set(Trend::Temperature, 99.5);
        }
        w.addReading(kStart + qint64(i) * 1000, reading);
    }
    w.refreshNow();
    const qint64 newest = kStart + qint64(readings - 1) * 1000;
    QCOMPARE(timeAxis(w).maxValue(), double(newest));

    // Device pixels: twice the widget's width under QT_SCALE_FACTOR=2.
    const QWidget *canvas = w.plot()->canvas();
    const int width = qRound(canvas->contentsRect().width() * canvas->devicePixelRatioF());
    for (int c = 0; c < Trend::ChannelCount; ++c) {
        const QwtPlotCurve *curve = w.curve(Trend::Channel(c));
        const int n = int(curve->dataSize());
        if (samples[c] >= 0) {
            QCOMPARE(n, samples[c]);
            // Each sample is a reading as it was fed, the newest last.
            const int firstIndex = readings - n;
            for (int k = 0; k < n; ++k) {
                const int i = firstIndex + k;
                const QPointF p = curve->sample(size_t(k));
                QCOMPARE(p.x(), double(kStart + qint64(i) * 1000));
                const double expected = c == Trend::Temperature ? (i == spike ? 99.5 : temperatureAt(i))
                                        : c == Trend::Humidity  ? humidityAt(i)
                                                                : dewPointAt(i);
                QCOMPARE(p.y(), expected);
            }
        } else {
            // A day is drawn with a few points a pixel column, its extremes kept.
            QVERIFY2(n > width && n <= 4 * width + 2, qPrintable(QString::number(n)));
            double top = -1e9;
            for (int k = 0; k < n; ++k) {
                top = qMax(top, curve->sample(size_t(k)).y());
            }
            const double expectedTop = c == Trend::Temperature ? 99.5 : c == Trend::Humidity ? 51.0 : 5.0;
            QCOMPARE(top, expectedTop);
        }
    }
}

void TstTrendWindow::breakIsNotBridged_data() {
    // Readings of all three for a minute, then `between` for a minute, then all three again.
    QTest::addColumn<QString>("between"); // "gap", "nothing", "humidity", "event"
    QTest::addColumn<QVector<int>>("runEnds");
    QTest::addColumn<bool>("bridged"); // a temperature line crosses the middle minute
    QTest::newRow("no reply") << "gap" << QVector<int>{60, 120} << false;
    QTest::newRow("humidity polled alone") << "humidity" << QVector<int>{60, 120} << false;
    QTest::newRow("readings late, no break") << "nothing" << QVector<int>{120} << true;
    QTest::newRow("an event does not break") << "event" << QVector<int>{120} << true;
}

void TstTrendWindow::breakIsNotBridged() {
    QFETCH(QString, between);
    QFETCH(QVector<int>, runEnds);
    QFETCH(bool, bridged);
    Shown shown;
    QVERIFY(shown.ok);
    TrendWindow &w = shown.window;
    w.setSpan(TrendWindow::Span::All);
    for (int i = 0; i < 180; ++i) {
        const qint64 time = kStart + qint64(i) * 1000;
        if (i >= 60 && i < 120) {
            if (i == 60 && between == QLatin1String("gap")) {
                w.addGap(time);
            } else if (between == QLatin1String("humidity")) {
                w.addReading(time, readingAt(i, QStringLiteral("H")));
            } else if (i == 90 && between == QLatin1String("event")) {
                w.addEvent(time, TrendWindow::Event::HeaterOn);
            }
            continue;
        }
        // A flat temperature line, so the middle minute has nothing of it unless bridged.
        w.addReading(time, readingAt(i, QStringLiteral("A")).set(Trend::Temperature, 21.0));
    }
    w.refreshNow();
    QCOMPARE(w.runEnds(Trend::Temperature), runEnds);
    QCOMPARE(w.visibleMarkers(), between == QLatin1String("event") ? 1 : 0);

    // What the canvas shows: nothing red strictly inside the middle minute unless bridged,
    // the line itself on both sides of it.
    const QImage canvas = w.plot()->canvas()->grab().toImage();
    const qreal ratio = canvas.devicePixelRatioF();
    const auto column = [&w, ratio](int i) {
        return qRound(w.plot()->transform(QwtPlot::xBottom, double(kStart + qint64(i) * 1000)) * ratio);
    };
    int redInside = 0;
    for (int x = column(60) + 3; x < column(119) - 3; ++x) {
        redInside += redInColumn(canvas, x) ? 1 : 0;
    }
    QCOMPARE(redInside > 0, bridged);
    QVERIFY(redInColumn(canvas, column(30)));
    QVERIFY(redInColumn(canvas, column(150)));
}

void TstTrendWindow::userViewStopsFollowing_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("follows");
    QTest::addColumn<qint64>("spanMs"); // the time axis afterwards; 0: narrower than before
    QTest::newRow("rubber band zoom") << "zoom" << false << 0LL;
    QTest::newRow("wheel") << "wheel" << false << 0LL;
    QTest::newRow("middle-button pan") << "pan" << false << 600000LL;
    QTest::newRow("zoom, then 1 min") << "zoom,1min" << true << 60000LL;
    QTest::newRow("pan, then Follow") << "pan,follow" << true << 600000LL;
}

void TstTrendWindow::userViewStopsFollowing() {
    QFETCH(QString, action);
    QFETCH(bool, follows);
    QFETCH(qint64, spanMs);
    Shown shown;
    QVERIFY(shown.ok);
    TrendWindow &w = shown.window;
    for (int i = 0; i < 900; ++i) {
        w.addReading(kStart + qint64(i) * 1000, readingAt(i, QStringLiteral("A")));
    }
    w.refreshNow();
    QVERIFY(w.follows());
    const QwtInterval before = timeAxis(w);
    QCOMPARE(before.width(), 600000.0);

    QWidget *canvas = w.plot()->canvas();
    const QPoint middle = canvas->rect().center();
    for (const QString &step : action.split(QLatin1Char(','))) {
        if (step == QLatin1String("zoom")) {
            const QPoint from = middle - QPoint(100, 80);
            const QPoint to = middle + QPoint(100, 80);
            sendMouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
            sendMouse(canvas, QEvent::MouseMove, middle, Qt::NoButton, Qt::LeftButton);
            sendMouse(canvas, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
            sendMouse(canvas, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        } else if (step == QLatin1String("wheel")) {
            QWheelEvent wheel(middle, canvas->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(canvas, &wheel);
        } else if (step == QLatin1String("pan")) {
            sendMouse(canvas, QEvent::MouseButtonPress, middle, Qt::MiddleButton, Qt::MiddleButton);
            sendMouse(canvas, QEvent::MouseMove, middle + QPoint(150, 0), Qt::NoButton, Qt::MiddleButton);
            sendMouse(canvas, QEvent::MouseButtonRelease, middle + QPoint(150, 0), Qt::MiddleButton,
                      Qt::NoButton);
        } else if (step == QLatin1String("1min")) {
            QVERIFY(clickEnabled(w.findChild<QAbstractButton *>(QStringLiteral("pushButtonSpan1Min"))));
        } else if (step == QLatin1String("follow")) {
            QVERIFY(clickEnabled(w.findChild<QAbstractButton *>(QStringLiteral("pushButtonFollow"))));
        }
    }
    // New readings arrive meanwhile.
    for (int i = 900; i < 960; ++i) {
        w.addReading(kStart + qint64(i) * 1000, readingAt(i, QStringLiteral("A")));
    }
    w.refreshNow();
    QCOMPARE(w.follows(), follows);
    QCOMPARE(w.findChild<QAbstractButton *>(QStringLiteral("pushButtonFollow"))->isChecked(), follows);
    const QwtInterval after = timeAxis(w);
    if (spanMs == 0) {
        QVERIFY2(after.width() < before.width() * 0.9, qPrintable(QString::number(after.width())));
    } else {
        QCOMPARE(qRound64(after.width()), spanMs);
    }
    const double newest = double(kStart + 959 * 1000);
    if (follows) {
        QCOMPARE(after.maxValue(), newest);
    } else {
        // Left where the user put it: the newest readings are not brought into view.
        QVERIFY(after.maxValue() < newest);
        QVERIFY(after != before);
    }
}

void TstTrendWindow::zoomShowsTheBox_data() {
    // Boxes drawn one after the other: x in seconds of the readings, y in degrees (left axis).
    QTest::addColumn<bool>("flat"); // temperature 21.0/21.1 and humidity 40.0/40.1 by turns
    QTest::addColumn<QVector<QRectF>>("boxes");
    QTest::addColumn<int>("backs"); // right clicks after them
    QTest::newRow("followed, flat readings") << true << QVector<QRectF>{} << 0;
    QTest::newRow("twenty seconds") << false << QVector<QRectF>{QRectF(QPointF(620, 21), QPointF(640, 23.5))}
                                    << 0;
    QTest::newRow("a box thinner than the least span")
        << false << QVector<QRectF>{QRectF(QPointF(700, 21.5), QPointF(760, 21.8))} << 0;
    QTest::newRow("flat readings, the box over them")
        << true << QVector<QRectF>{QRectF(QPointF(500, 20.5), QPointF(800, 21.6))} << 0;
    QTest::newRow("twice, one back") << false
                                     << QVector<QRectF>{QRectF(QPointF(400, 20.5), QPointF(800, 23.5)),
                                                        QRectF(QPointF(600, 21), QPointF(610, 22))}
                                     << 1;
    QTest::newRow("twice, back to the start")
        << false
        << QVector<QRectF>{QRectF(QPointF(400, 20.5), QPointF(800, 23.5)),
                           QRectF(QPointF(600, 21), QPointF(610, 22))}
        << 2;
}

void TstTrendWindow::zoomShowsTheBox() {
    QFETCH(bool, flat);
    QFETCH(QVector<QRectF>, boxes);
    QFETCH(int, backs);
    Shown shown;
    QVERIFY(shown.ok);
    TrendWindow &w = shown.window;
    for (int i = 0; i < 900; ++i) {
        Trend::Reading reading = readingAt(i, QStringLiteral("A"));
        if (flat) {
            reading.set(Trend::Temperature, 21.0 + (i % 2) * 0.1)
                .set(Trend::DewPoint, 21.05)
                .set(Trend::Humidity, 40.0 + (i % 2) * 0.1);
        }
        w.addReading(kStart + qint64(i) * 1000, reading);
    }
    w.refreshNow();
    QwtPlot *plot = w.plot();
    QWidget *canvas = plot->canvas();
    const int axes[3] = {QwtPlot::xBottom, QwtPlot::yLeft, QwtPlot::yRight};
    using View = QVector<QwtInterval>;
    const auto shownView = [&] {
        View view;
        for (int axis : axes) {
            view << plot->axisScaleDiv(axis).interval();
        }
        return view;
    };
    // What a box covers: its corner pixels read on the axes it was drawn on, each value axis
    // widened about its middle to 2 degrees or 2 %RH.
    QVector<View> views{shownView()};
    for (const QRectF &box : boxes) {
        const auto pixel = [plot](int axis, double value) { return qRound(plot->transform(axis, value)); };
        const QPoint from(pixel(QwtPlot::xBottom, kStart + box.left() * 1000),
                          pixel(QwtPlot::yLeft, box.bottom()));
        const QPoint to(pixel(QwtPlot::xBottom, kStart + box.right() * 1000),
                        pixel(QwtPlot::yLeft, box.top()));
        View expected;
        for (int axis : axes) {
            const bool x = axis == QwtPlot::xBottom;
            const double a = plot->invTransform(axis, x ? from.x() : to.y());
            const double b = plot->invTransform(axis, x ? to.x() : from.y());
            const double half = x ? (b - a) / 2 : qMax(b - a, 2.0) / 2;
            expected << QwtInterval((a + b) / 2 - half, (a + b) / 2 + half);
        }
        // The box's own times, to the pixel.
        const double msPerPixel = expected[0].width() / (to.x() - from.x());
        QVERIFY(std::abs(expected[0].minValue() - (kStart + box.left() * 1000)) <= msPerPixel);
        QVERIFY(std::abs(expected[0].maxValue() - (kStart + box.right() * 1000)) <= msPerPixel);
        sendMouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        views << expected;
    }
    for (int i = 0; i < backs; ++i) {
        const QPoint middle = canvas->rect().center();
        sendMouse(canvas, QEvent::MouseButtonPress, middle, Qt::RightButton, Qt::RightButton);
        sendMouse(canvas, QEvent::MouseButtonRelease, middle, Qt::RightButton, Qt::NoButton);
    }
    w.refreshNow();
    const View now = shownView();
    const View expected = views[views.size() - 1 - backs];
    QCOMPARE(w.follows(), boxes.isEmpty());
    for (int a = 0; a < 3; ++a) {
        QVERIFY(a == 0 || now[a].width() >= 2.0);
        QVERIFY2(boxes.isEmpty() || (qFuzzyCompare(now[a].minValue(), expected[a].minValue()) &&
                                     qFuzzyCompare(now[a].maxValue(), expected[a].maxValue())),
                 qPrintable(QString::number(a)));
    }
    if (flat && boxes.isEmpty()) {
        // Followed: the readings inside, and no more than the least span and a tick either side.
        QVERIFY(now[1].contains(21.0) && now[1].contains(21.1) && now[1].width() <= 4.0);
        QVERIFY(now[2].contains(40.0) && now[2].contains(40.1) && now[2].width() <= 4.0);
    }
}

void TstTrendWindow::csvParsesBack_data() {
    QTest::addColumn<QString>("polls"); // one letter a reading: A, T, H, D, or "|" a break
    QTest::addColumn<QString>("file");
    QTest::newRow("all three") << "AAAAA"
                               << "Data/trend.csv";
    QTest::newRow("mixed polls and a break") << "ATT|HHDA|A"
                                             << "Data/trend.csv";
    QTest::newRow("folder made") << "AT"
                                 << "Data/new/deeper/trend.csv";
    QTest::newRow("nothing read") << ""
                                  << "out.csv";
}

void TstTrendWindow::csvParsesBack() {
    QFETCH(QString, polls);
    QFETCH(QString, file);
    ScopedWorkDir dir;
    // A locale that writes decimal commas: the file keeps points.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TrendWindow w(nullptr, 1000);
    struct Row {
        qint64 time;
        std::optional<double> values[Trend::ChannelCount];
    };
    QVector<Row> expected;
    for (int i = 0; i < polls.size(); ++i) {
        const qint64 time = kStart + qint64(i) * 1500 + 7;
        if (polls[i] == QLatin1Char('|')) {
            w.addGap(time);
            continue;
        }
        const Trend::Reading reading = readingAt(i, polls.mid(i, 1));
        w.addReading(time, reading);
        expected.append(Row{time, {reading.values[0], reading.values[1], reading.values[2]}});
    }
    QString error;
    const bool written = w.exportCsv(file, &error);
    QLocale::setDefault(previous);
    QVERIFY2(written, qPrintable(error));

    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("time,temperature,humidity,dew_point"));
    QCOMPARE(lines.size() - 1, expected.size());
    for (int r = 0; r < expected.size(); ++r) {
        const QStringList cells = lines[r + 1].split(QLatin1Char(','));
        QCOMPARE(cells.size(), 4);
        const QDateTime when = QDateTime::fromString(cells[0], Qt::ISODateWithMs);
        QVERIFY2(when.isValid() && when.timeSpec() == Qt::UTC, qPrintable(cells[0]));
        QCOMPARE(when.toMSecsSinceEpoch(), expected[r].time);
        for (int c = 0; c < Trend::ChannelCount; ++c) {
            if (!expected[r].values[c]) {
                QCOMPARE(cells[c + 1], QString());
            } else {
                // The very value, back from its text.
                bool ok = false;
                QCOMPARE(cells[c + 1].toDouble(&ok), *expected[r].values[c]);
                QVERIFY(ok);
            }
        }
    }
}

void TstTrendWindow::pngIsTheShownPlot_data() {
    QTest::addColumn<int>("readings");
    QTest::addColumn<bool>("curveDrawn");
    QTest::newRow("empty") << 0 << false;
    QTest::newRow("an hour") << 3600 << true;
}

void TstTrendWindow::pngIsTheShownPlot() {
    QFETCH(int, readings);
    QFETCH(bool, curveDrawn);
    Shown shown;
    QVERIFY(shown.ok);
    TrendWindow &w = shown.window;
    w.setSpan(TrendWindow::Span::OneHour);
    for (int i = 0; i < readings; ++i) {
        w.addReading(kStart + qint64(i) * 1000, readingAt(i, QStringLiteral("T")));
    }
    QString error;
    QVERIFY2(w.exportPng(QStringLiteral("Data/plot.png"), &error), qPrintable(error));
    QImage image;
    QVERIFY(image.load(QStringLiteral("Data/plot.png"), "PNG"));
    QCOMPARE(image.size(), w.plot()->size() * w.plot()->devicePixelRatioF());
    // Axes and their labels at least; the temperature curve when there are readings.
    int dark = 0;
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            dark += c.lightness() < 100 ? 1 : 0;
            red += isRed(c) ? 1 : 0;
        }
    }
    QVERIFY(dark > 500);
    QCOMPARE(red > 200, curveDrawn);
    if (readings > 0) {
        // The heading's span: the hour up to the newest reading, in local time.
        const auto local = [](qint64 s, const char *format) {
            return QDateTime::fromMSecsSinceEpoch(kStart + s * 1000).toLocalTime().toString(format);
        };
        QCOMPARE(w.spanText(),
                 local(-1, "yyyy-MM-dd hh:mm:ss") + " to " + local(3599, "hh:mm:ss") + ", local time");
    }
    // A file that cannot be written says why.
    QVERIFY(!w.exportPng(QStringLiteral("/proc/no/such/plot.png"), &error));
    QVERIFY(!error.isEmpty());
}

void TstTrendWindow::textsTranslated() {
    ScopedWorkDir dir;
    QVERIFY(dir.installCatalogue());
    QStringList english;
    {
        TrendWindow w;
        w.setDevice(QStringLiteral("ZR200Pro"), 7);
        QCOMPARE(w.windowTitle(), QStringLiteral("Trend - ZR200Pro address 7"));
        for (const QAbstractButton *button : w.findChildren<QAbstractButton *>()) {
            english << button->text();
        }
        for (int c = 0; c < Trend::ChannelCount; ++c) {
            english << w.curve(Trend::Channel(c))->title().text();
        }
        english << w.plot()->axisTitle(QwtPlot::yLeft).text() << w.plot()->axisTitle(QwtPlot::yRight).text()
                << w.windowTitle() << TrendWindow::eventText(TrendWindow::Event::LinkLost);
    }
    QTranslator chinese;
    QVERIFY(chinese.load(QStringLiteral("Qm/Chinese.qm")));
    QCoreApplication::installTranslator(&chinese);
    QStringList translated;
    {
        TrendWindow w;
        w.setDevice(QStringLiteral("ZR200Pro"), 7);
        for (const QAbstractButton *button : w.findChildren<QAbstractButton *>()) {
            translated << button->text();
        }
        for (int c = 0; c < Trend::ChannelCount; ++c) {
            translated << w.curve(Trend::Channel(c))->title().text();
        }
        translated << w.plot()->axisTitle(QwtPlot::yLeft).text()
                   << w.plot()->axisTitle(QwtPlot::yRight).text() << w.windowTitle()
                   << TrendWindow::eventText(TrendWindow::Event::LinkLost);
    }
    QCoreApplication::removeTranslator(&chinese);
    QCOMPARE(translated.size(), english.size());
    for (int i = 0; i < english.size(); ++i) {
        // Numbers and units stay as they are; every word is translated.
        const bool hasWord = english[i].contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")));
        if (hasWord && english[i] != QLatin1String("CSV") && english[i] != QLatin1String("PNG")) {
            QVERIFY2(translated[i] != english[i], qPrintable(english[i]));
        }
    }
}

QTEST_MAIN(TstTrendWindow)
#include "tst_trend_window.moc"
