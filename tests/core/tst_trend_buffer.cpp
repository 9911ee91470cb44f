// The trend's buffer: its bound, gaps, the per-column reducer against brute force, and its CSV.
#include "core/device/trend_buffer.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

class TstTrendBuffer : public QObject {
    Q_OBJECT

private slots:
    void wrapsAtTheBound();
    void reducerMatchesBruteForce_data();
    void reducerMatchesBruteForce();
    void gapsBreakTheCurve();
    void csvWithAnyLocale();
};

void TstTrendBuffer::wrapsAtTheBound() {
    TrendBuffer b(5);
    for (int i = 0; i < 12; ++i) {
        b.add(1000 * i, i, std::nullopt, std::nullopt);
    }
    QCOMPARE(b.size(), 5);
    QCOMPARE(b.at(0).ms, qint64(7000)); // the oldest left first
    QCOMPARE(b.at(4).value[TrendBuffer::Temperature], 11.0);
    QVERIFY(!b.at(4).has(TrendBuffer::Humidity)); // only the polled curve grows
    QCOMPARE(b.reduced(TrendBuffer::Humidity, 0, 20000, 100).size(), 0);
}

void TstTrendBuffer::reducerMatchesBruteForce_data() {
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("fromSecond");
    QTest::addColumn<int>("toSecond");
    QTest::newRow("a day on 1000 px") << 86400 << 1000 << 0 << 86400;
    QTest::newRow("fewer points than pixels") << 300 << 1000 << 0 << 300;
    QTest::newRow("a zoomed hour") << 86400 << 700 << 40000 << 43600;
    QTest::newRow("one column") << 5000 << 1 << 0 << 5000;
}

void TstTrendBuffer::reducerMatchesBruteForce() {
    QFETCH(int, points);
    QFETCH(int, columns);
    QFETCH(int, fromSecond);
    QFETCH(int, toSecond);
    TrendBuffer b(points);
    QRandomGenerator random(42);
    for (int i = 0; i < points; ++i) {
        b.add(qint64(i) * 1000, random.bounded(-400, 800) / 10.0, std::nullopt, std::nullopt);
    }
    const qint64 from = qint64(fromSecond) * 1000;
    const qint64 to = qint64(toSecond) * 1000;
    const QVector<QPointF> reduced = b.reduced(TrendBuffer::Temperature, from, to, columns);
    QVERIFY2(reduced.size() <= 4 * columns + 8, qPrintable(QString::number(reduced.size())));
    // Brute force: every column's lowest and highest reading in view; the reduced points of that
    // column hold the same two values.
    const double span = double(to - from);
    QMap<int, QPair<double, double>> want;
    QMap<int, QPair<double, double>> got;
    const auto note = [&](QMap<int, QPair<double, double>> &m, double ms, double v) {
        if (ms < from || ms > to) {
            return;
        }
        const int c = int(std::floor((ms - from) / span * columns));
        if (!m.contains(c)) {
            m[c] = {v, v};
        }
        m[c].first = qMin(m[c].first, v);
        m[c].second = qMax(m[c].second, v);
    };
    for (int i = 0; i < b.size(); ++i) {
        note(want, double(b.at(i).ms), b.at(i).value[TrendBuffer::Temperature]);
    }
    for (const QPointF &p : reduced) {
        note(got, p.x(), p.y());
    }
    QCOMPARE(got, want);
    // In time order, so the polyline goes left to right.
    for (int i = 1; i < reduced.size(); ++i) {
        QVERIFY(reduced[i].x() >= reduced[i - 1].x());
    }
}

void TstTrendBuffer::gapsBreakTheCurve() {
    TrendBuffer b;
    b.add(0, 20.0, 50.0, 10.0);
    b.add(1000, 21.0, 51.0, 11.0);
    b.addGap(1500);
    b.addGap(1600); // a second gap in a row adds nothing
    b.add(60000, 30.0, 60.0, 20.0);
    QCOMPARE(b.size(), 4);
    const QVector<QPointF> line = b.reduced(TrendBuffer::Temperature, 0, 60000, 1000);
    // The readings before, one break, the reading after: never joined across the gap.
    int breaks = 0;
    for (const QPointF &p : line) {
        breaks += std::isnan(p.y()) ? 1 : 0;
    }
    QCOMPARE(breaks, 1);
    QCOMPARE(line.size(), 4);
    QCOMPARE(line.at(0), QPointF(0, 20.0));
    QCOMPARE(line.at(1), QPointF(1000, 21.0));
    QVERIFY(std::isnan(line.at(2).y()));
    QCOMPARE(line.at(3), QPointF(60000, 30.0));
}

void TstTrendBuffer::csvWithAnyLocale() {
    QLocale::setDefault(QLocale(QLocale::German));
    TrendBuffer b;
    b.add(1796840000123, 23.45, std::nullopt, -1.5);
    b.addGap(1796840001000);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(b.csv(), QByteArray("time,temperature_c,humidity_pct,dewpoint_c\n"
                                 "2026-12-09T18:13:20.123Z,23.45,,-1.50\n"));
}

QTEST_MAIN(TstTrendBuffer)
#include "tst_trend_buffer.moc"
