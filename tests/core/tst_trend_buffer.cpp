// The history behind the trend window: its bound, its breaks, the reduction to pixel columns
// and the CSV text, without a window.
#include "core/device/trend_buffer.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QtTest>

#include <clocale>

using Trend::Channel;
using Trend::Column;
using Trend::TrendBuffer;

Q_DECLARE_METATYPE(QVector<int>)

namespace {

// Feeds a buffer from a script of tokens, one second apart from time 0: a number is a
// temperature reading, "|" a break.
void feed(TrendBuffer &buffer, const QString &script) {
    qint64 time = 0;
    for (const QString &token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token == QLatin1String("|")) {
            QVERIFY(buffer.addGap(time));
        } else {
            QVERIFY(buffer.addReading(time, Trend::Reading().set(Trend::Temperature, token.toDouble())));
        }
        time += 1000;
    }
}

// The number of points in each unbroken run of the reduced temperature curve.
QVector<int> runLengths(const TrendBuffer &buffer, qint64 from, qint64 to, int width) {
    const Trend::Polyline line = Trend::polyline(buffer.reduce(Trend::Temperature, from, to, width));
    QVector<int> lengths;
    int start = 0;
    for (int end : line.runEnds) {
        lengths.append(end - start);
        start = end;
    }
    return lengths;
}

// The default locale and the C library's numeric locale for one test, put back afterwards.
class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale &locale, const char *cName) : previous(QLocale()) {
        QLocale::setDefault(locale);
        previousC = std::setlocale(LC_NUMERIC, nullptr);
        std::setlocale(LC_NUMERIC, cName);
    }
    ~ScopedLocale() {
        QLocale::setDefault(previous);
        std::setlocale(LC_NUMERIC, previousC.constData());
    }

private:
    QLocale previous;
    QByteArray previousC;
};

} // namespace

class TstTrendBuffer : public QObject {
    Q_OBJECT

private slots:
    void wrapAround_data();
    void wrapAround();
    void breaks_data();
    void breaks();
    void reducerMatchesBruteForce_data();
    void reducerMatchesBruteForce();
    void onlyPolledCurveGrows_data();
    void onlyPolledCurveGrows();
    void csvWhateverTheLocale_data();
    void csvWhateverTheLocale();
};

void TstTrendBuffer::wrapAround_data() {
    QTest::addColumn<int>("bound");
    QTest::addColumn<int>("readings");
    QTest::newRow("below the bound") << 5 << 3;
    QTest::newRow("exactly full") << 5 << 5;
    QTest::newRow("one over") << 5 << 6;
    QTest::newRow("several turns") << 5 << 23;
    QTest::newRow("bound of one") << 1 << 4;
    QTest::newRow("large") << 1000 << 2501;
}

void TstTrendBuffer::wrapAround() {
    QFETCH(int, bound);
    QFETCH(int, readings);
    TrendBuffer buffer(bound, 2);
    for (int i = 0; i < readings; ++i) {
        QVERIFY(buffer.addReading(i * 1000, Trend::Reading().set(Trend::Humidity, i)));
        QVERIFY(buffer.addEvent(i * 1000, QString::number(i)));
    }
    const int kept = qMin(bound, readings);
    QCOMPARE(buffer.count(Trend::Humidity), kept);
    // The newest stay, oldest first.
    for (int i = 0; i < kept; ++i) {
        const int expected = readings - kept + i;
        QCOMPARE(buffer.sample(Trend::Humidity, i).timeMs, qint64(expected) * 1000);
        QCOMPARE(buffer.sample(Trend::Humidity, i).value, double(expected));
    }
    QCOMPARE(buffer.eventCount(), qMin(2, readings));
    QCOMPARE(buffer.event(buffer.eventCount() - 1).text, QString::number(readings - 1));
    QCOMPARE(buffer.oldestTime(), qint64(readings - qMin(readings, qMax(bound, 2))) * 1000);
    // The reduction and the CSV see exactly what is kept.
    int reduced = 0;
    for (const Column &column : buffer.reduce(Trend::Humidity, 0, qint64(readings) * 1000, 10 * readings)) {
        reduced += column.points;
    }
    QCOMPARE(reduced, kept);
    QCOMPARE(buffer.csv().count('\n'), kept + 1);
    // Time does not go back.
    QVERIFY(!buffer.addReading(qint64(readings - 2) * 1000, Trend::Reading().set(Trend::Humidity, 1)));
    QCOMPARE(buffer.count(Trend::Humidity), kept);
}

void TstTrendBuffer::breaks_data() {
    QTest::addColumn<QString>("script"); // one token a second from 0: a temperature or "|"
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("width");
    QTest::addColumn<QVector<int>>("runs"); // points of each unbroken run drawn
    QTest::newRow("no break") << "1 2 3 4" << 0LL << 3000LL << 100 << QVector<int>{4};
    QTest::newRow("break between") << "1 2 | 3 4" << 0LL << 4000LL << 100 << QVector<int>{2, 2};
    QTest::newRow("breaks in a row") << "1 | | | 2 3" << 0LL << 5000LL << 100 << QVector<int>{1, 2};
    QTest::newRow("break first and last") << "| 1 2 |" << 0LL << 3000LL << 100 << QVector<int>{2};
    QTest::newRow("break inside one column") << "1 2 | 3 4" << 0LL << 4000LL << 1 << QVector<int>{2, 2};
    QTest::newRow("all in one column") << "5 1 9 2" << 0LL << 3000LL << 1 << QVector<int>{4};
    QTest::newRow("flat column") << "3 3 3 3" << 0LL << 3000LL << 1 << QVector<int>{2};
    // Points just outside the span are drawn to its edges, unless a break lies between.
    QTest::newRow("neighbours outside") << "1 2 3 4 5" << 1000LL << 3000LL << 100 << QVector<int>{5};
    QTest::newRow("break after the span") << "1 2 3 | 5" << 0LL << 2000LL << 100 << QVector<int>{3};
    QTest::newRow("break at the end of the span") << "1 2 3 | 5" << 0LL << 3500LL << 100 << QVector<int>{3};
    QTest::newRow("break before the span") << "1 | 3 4 5" << 2000LL << 4000LL << 100 << QVector<int>{3};
    QTest::newRow("span inside a break") << "1 2 | | | 6" << 2500LL << 3500LL << 100 << QVector<int>{};
    QTest::newRow("span between two points") << "1 2" << 200LL << 800LL << 100 << QVector<int>{2};
}

void TstTrendBuffer::breaks() {
    QFETCH(QString, script);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, width);
    QFETCH(QVector<int>, runs);
    TrendBuffer buffer(64);
    feed(buffer, script);
    QCOMPARE(runLengths(buffer, from, to, width), runs);
}

void TstTrendBuffer::reducerMatchesBruteForce_data() {
    QTest::addColumn<int>("points");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("width");
    // Readings a second apart from 0; one in 50 is a break.
    QTest::newRow("a day, 1000 px") << 86400 << 0LL << 86400000LL << 1000;
    QTest::newRow("a day, 1 px") << 86400 << 0LL << 86400000LL << 1;
    QTest::newRow("a day, 7 px") << 86400 << 0LL << 86400000LL << 7;
    QTest::newRow("an hour inside, 1920 px") << 86400 << 3600500LL << 7200500LL << 1920;
    QTest::newRow("fewer points than columns") << 500 << 0LL << 500000LL << 3000;
    QTest::newRow("ten minutes, 333 px") << 5000 << 1234LL << 601234LL << 333;
    QTest::newRow("span past the data") << 3000 << -1000000LL << 9000000LL << 640;
    QTest::newRow("odd span") << 20000 << 17LL << 19999999LL << 997;
}

void TstTrendBuffer::reducerMatchesBruteForce() {
    QFETCH(int, points);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, width);
    QRandomGenerator random(points ^ width);
    TrendBuffer buffer(points);
    QVector<Trend::Sample> all;
    int breaksInSpan = 0;
    for (int i = 0; i < points; ++i) {
        const qint64 time = qint64(i) * 1000 + random.bounded(1000);
        if (random.bounded(50) == 0) {
            QVERIFY(buffer.addGap(time));
            breaksInSpan += time >= from && time <= to;
            continue;
        }
        const double value = random.bounded(20000) / 100.0 - 50.0;
        QVERIFY(buffer.addReading(time, Trend::Reading().set(Trend::DewPoint, value)));
        all.append(Trend::Sample{time, value});
    }

    // Brute force: every point of the span into its column.
    struct Expected {
        int points = 0;
        double first = 0, min = 0, max = 0, last = 0;
    };
    QVector<Expected> expected(width);
    for (const Trend::Sample &s : all) {
        if (s.timeMs < from || s.timeMs > to) {
            continue;
        }
        Expected &e = expected[int(qMin<qint64>((s.timeMs - from) * width / (to - from), width - 1))];
        if (e.points == 0) {
            e.first = e.min = e.max = s.value;
        }
        e.min = qMin(e.min, s.value);
        e.max = qMax(e.max, s.value);
        e.last = s.value;
        ++e.points;
    }

    // The reducer's entries of a column (one between two breaks) together.
    QVector<Expected> got(width);
    int previousColumn = -2;
    for (const Column &column : buffer.reduce(Trend::DewPoint, from, to, width)) {
        QVERIFY2(column.column >= previousColumn, "columns in order");
        previousColumn = column.column;
        if (column.column < 0 || column.column >= width) {
            QCOMPARE(column.points, 1);
            continue;
        }
        QVERIFY(column.firstTime <= column.minTime && column.minTime <= column.lastTime);
        QVERIFY(column.firstTime <= column.maxTime && column.maxTime <= column.lastTime);
        Expected &g = got[column.column];
        if (g.points == 0) {
            g.first = column.first;
            g.min = column.min;
            g.max = column.max;
        }
        g.min = qMin(g.min, column.min);
        g.max = qMax(g.max, column.max);
        g.last = column.last;
        g.points += column.points;
    }
    for (int c = 0; c < width; ++c) {
        QCOMPARE(got[c].points, expected[c].points);
        if (expected[c].points > 0) {
            QCOMPARE(got[c].min, expected[c].min);
            QCOMPARE(got[c].max, expected[c].max);
            QCOMPARE(got[c].first, expected[c].first);
            QCOMPARE(got[c].last, expected[c].last);
        }
    }
    // A plot draws at most four points a column and run, not the whole day.
    QVERIFY(Trend::polyline(buffer.reduce(Trend::DewPoint, from, to, width)).points.size() <=
            4 * (width + breaksInSpan) + 2);
}

void TstTrendBuffer::onlyPolledCurveGrows_data() {
    QTest::addColumn<QString>("polls");        // A all, T, H, D single values, S status
    QTest::addColumn<QVector<int>>("counts");  // temperature, humidity, dew point (breaks included)
    QTest::addColumn<QVector<double>>("last"); // the newest value of each, NaN for a break
    const double gap = qQNaN();
    QTest::newRow("temperature only") << "TTTTT" << QVector<int>{5, 0, 0} << QVector<double>{12.34, 0, 0};
    QTest::newRow("status only") << "SSS" << QVector<int>{0, 0, 0} << QVector<double>{0, 0, 0};
    QTest::newRow("all, then temperature")
        << "AAATTTT" << QVector<int>{7, 4, 4} << QVector<double>{12.34, gap, gap};
    QTest::newRow("alternating") << "THTH" << QVector<int>{4, 3, 0} << QVector<double>{gap, 56.78, 0};
    QTest::newRow("dew point, status, dew point")
        << "DSD" << QVector<int>{0, 0, 3} << QVector<double>{0, 0, -1.5};
}

void TstTrendBuffer::onlyPolledCurveGrows() {
    QFETCH(QString, polls);
    QFETCH(QVector<int>, counts);
    QFETCH(QVector<double>, last);
    TrendBuffer buffer(100);
    const QMap<QChar, ReadingSelection> selections{{'A', ReadingSelection::All},
                                                   {'T', ReadingSelection::Temperature},
                                                   {'H', ReadingSelection::Humidity},
                                                   {'D', ReadingSelection::DewPoint},
                                                   {'S', ReadingSelection::Status}};
    qint64 time = 1000;
    for (QChar poll : polls) {
        const Trend::Reading reading =
            Trend::readingFrom(ReadingBlock::Hundredths, selections.value(poll), 1234, 5678, -150);
        QVERIFY(buffer.addReading(time, reading));
        time += 1000;
    }
    for (int c = 0; c < Trend::ChannelCount; ++c) {
        const auto channel = Channel(c);
        QCOMPARE(buffer.count(channel), counts[c]);
        if (counts[c] > 0) {
            const double newest = buffer.sample(channel, counts[c] - 1).value;
            QVERIFY2(qIsNaN(last[c]) ? qIsNaN(newest) : newest == last[c],
                     qPrintable(QString::number(newest)));
        }
    }
}

void TstTrendBuffer::csvWhateverTheLocale_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("cLocale");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << QByteArray("de_DE.UTF-8");
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << QByteArray("fr_FR.UTF-8");
    QTest::newRow("Arabic") << QLocale(QLocale::Arabic, QLocale::SaudiArabia) << QByteArray("ar_SA.UTF-8");
}

void TstTrendBuffer::csvWhateverTheLocale() {
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, cLocale);
    ScopedLocale scoped(locale, cLocale.constData());
    QVERIFY(QLocale().decimalPoint() != QLatin1Char('.') || QLocale().zeroDigit() != QLatin1Char('0'));
    const qint64 start = QDateTime(QDate(2026, 12, 8), QTime(4, 15, 33, 7), Qt::UTC).toMSecsSinceEpoch();
    TrendBuffer buffer(10);
    Trend::Reading first;
    first.set(Trend::Temperature, -12.5).set(Trend::Humidity, 45.25);
    QVERIFY(buffer.addReading(start, first));
    QVERIFY(buffer.addGap(start + 500));
    QVERIFY(buffer.addReading(start + 1000, Trend::Reading().set(Trend::Temperature, 23.4)));
    QVERIFY(buffer.addEvent(start + 1500, QStringLiteral("heater on")));
    QVERIFY(buffer.addReading(start + 86400000 + 993, Trend::Reading().set(Trend::DewPoint, 1234.56)));
    QCOMPARE(buffer.csv(), QByteArray("time,temperature,humidity,dew_point\n"
                                      "2026-12-08T04:15:33.007Z,-12.5,45.25,\n"
                                      "2026-12-08T04:15:34.007Z,23.4,,\n"
                                      "2026-12-09T04:15:34.000Z,,,1234.56\n"));
}

QTEST_GUILESS_MAIN(TstTrendBuffer)
#include "tst_trend_buffer.moc"
