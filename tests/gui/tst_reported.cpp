// Values the transmitter reports that the window's lists or its date editor cannot show: the
// value is logged as received, and no Setting sends a value the user neither saw nor chose.
// Replies are pushed into the window's port exactly as a transmitter sends them; the line's reply
// windows pass on a clock the test moves.
#include "core/base/clock.h"
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"
#include "tests/support/fake_unit.h"
#include "tests/support/harness.h"
#include "ui_widget.h"

#include <QComboBox>
#include <QDateTime>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QtTest>

#include <ctime>

namespace {

QByteArray withCrc(const char *spaced) {
    QByteArray frame = hexBytes(spaced);
    appendCrc(frame);
    return frame;
}

// Clock block 0x0120..0x0129: date, time, weekday, heater start, interval, heating time.
QByteArray clockReply(int year, int month, int day, int hour, int minute, int second, quint16 interval = 6,
                      quint16 heating = 60, quint16 startMinutes = 90) {
    return readReplyFrame({quint16(year), quint16(month), quint16(day), quint16(hour), quint16(minute),
                           quint16(second), 1, startMinutes, interval, heating});
}

// The computer's time zone for one test, restored afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone)
        : had(qEnvironmentVariableIsSet("TZ")), previous(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone() {
        if (had) {
            qputenv("TZ", previous);
        } else {
            qunsetenv("TZ");
        }
        tzset();
    }

private:
    bool had;
    QByteArray previous;
};

// A window whose port is one side of a pseudo-terminal; the test plays the transmitter.
struct Line {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    // The test is the other end of the window's port, and moves the line's clock.
    FakeLineScope fake;
    Widget w;
    bool attached = false;

    Line() {
        attached = WidgetTestAccess::openPortAt(w, QStringLiteral("fake"), 9600);
        ui().groupBoxDevice->setEnabled(true);
        WidgetTestAccess::timer1S(w)->stop();
        WidgetTestAccess::autoRead(w) = false;
        ui().lineEditAddress->setText(QStringLiteral("1"));
    }
    WidgetUi &ui() { return *WidgetTestAccess::ui(w); }
    SharedDataClass &shared() { return *WidgetTestAccess::shared(w); }
    QStringList tx() { return loggedFrames(WidgetTestAccess::logFilePath(w), 0); }
    // Sends one reply to the request the window has just "sent" for `reg`.
    // Sends the read a 0x03 reply `frame` answers, then the reply.
    bool reply(quint16 reg, const QByteArray &frame) {
        // The read goes out when the line is free (an earlier request may still wait), then the
        // reply comes.
        const int sent = tx().size();
        WidgetTestAccess::readRegisters(w, reg, static_cast<quint16>(static_cast<quint8>(frame.at(2)) / 2));
        // An earlier request's reply window passes on the line's clock, not in real time.
        if (!fake.advanceUntil([&] { return tx().size() > sent; })) {
            return false;
        }
        shared().responseReceived = false;
        fake.port()->fake.push(frame);
        return QTest::qWaitFor([this] { return shared().responseReceived; }, 3000);
    }
    // Whether a status line ending in `text` reached both the log and the pane.
    bool noticed(const QString &text) {
        bool logged = false;
        for (const QString &entry : readLogLines(WidgetTestAccess::logFilePath(w))) {
            logged = logged || entry.endsWith(QStringLiteral("->") + text);
        }
        return logged && ui().textBrowser->toPlainText().contains(text);
    }
    QString lastBox() const { return watcher.seen.isEmpty() ? QString() : watcher.seen.last().text; }
};

} // namespace

class TstReported : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Clock::setFixedNow(QDateTime()); }
    void listValueOutsideList_data();
    void listValueOutsideList();
    void clockInDaylightSavingGapIsShown();
    void impossibleClockDate_data();
    void impossibleClockDate();
    void analogFromDeviceLimits();
    void startTimePastMidnight();
};

void TstReported::listValueOutsideList_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<quint16>("reg");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QByteArray>("frame");
    QVector<quint16> output(17, 0);
    output[1] = 3;
    const QString schedule =
        QStringLiteral("Please choose a heating interval and a heating time from the list!");
    QTest::newRow("baud code 0") << "comboBoxBaudRate" << Reg::SlaveAddress
                                 << readReplyFrame({1, 0, 100, 0, 0x2612, 0x0804, 0x1533, 0xFE70, 0x0320, 0})
                                 << "The device reports a baud rate code that is not in the list: 0"
                                 << "Please choose a baud rate from the list!"
                                 << "19200" << hexBytes("01 06 01 01 00 05 19 F5");
    QTest::newRow("baud code 7") << "comboBoxBaudRate" << Reg::SlaveAddress
                                 << readReplyFrame({1, 7, 100, 0, 0x2612, 0x0804, 0x1533, 0xFE70, 0x0320, 0})
                                 << "The device reports a baud rate code that is not in the list: 7"
                                 << "Please choose a baud rate from the list!"
                                 << "1200" << hexBytes("01 06 01 01 00 01 18 36");
    QTest::newRow("interval 0") << "comboBoxInterval" << Reg::ClockYear
                                << clockReply(2026, 12, 8, 4, 15, 33, 0, 60)
                                << "The device reports a heating interval that is not in the list: 0"
                                << schedule << "24H" << withCrc("01 10 01 27 01 29 06 00 5A 00 18 00 3C");
    QTest::newRow("heating time 65535")
        << "comboBoxHeaterTime" << Reg::ClockYear << clockReply(2026, 12, 8, 4, 15, 33, 6, 0xFFFF)
        << "The device reports a heating time that is not in the list: 65535" << schedule << "480S"
        << withCrc("01 10 01 27 01 29 06 00 5A 00 06 01 E0");
    QTest::newRow("output data 3") << "comboBoxOutputData" << Reg::OutputBlock << readReplyFrame(output)
                                   << "The device reports an output data code that is not in the list: 3"
                                   << "Please choose the output data from the list!"
                                   << "Humidity" << hexBytes("01 06 01 0B 00 01 38 34");
}

void TstReported::listValueOutsideList() {
    QFETCH(QString, list);
    QFETCH(quint16, reg);
    QFETCH(QByteArray, reply);
    QFETCH(QString, notice);
    QFETCH(QString, refusal);
    QFETCH(QString, choice);
    QFETCH(QByteArray, frame);
    Line l;
    QVERIFY(l.attached);
    auto *box = l.w.findChild<QComboBox *>(list);
    QVERIFY(box);
    QVERIFY(box->currentIndex() >= 0);
    QVERIFY(l.reply(reg, reply));
    // Shown as received; no item stands for it, so none is selected.
    QCOMPARE(box->currentIndex(), -1);
    QVERIFY2(l.noticed(notice), qPrintable(notice));

    QPushButton *setting = list == "comboBoxBaudRate"     ? l.ui().pushButtonBaudRate
                           : list == "comboBoxOutputData" ? l.ui().pushButtonOutputData
                                                          : l.ui().pushButtonHeaterTime;
    setting->setEnabled(true);
    const int sent = l.tx().size();
    const int boxes = l.watcher.seen.size();
    setting->click();
    QCOMPARE(l.watcher.seen.size(), boxes + 1);
    QCOMPARE(l.watcher.seen.last().title, QString("Error"));
    QCOMPARE(l.lastBox(), refusal);
    QCOMPARE(l.tx().size(), sent);

    // A choice by the user writes as usual.
    box->setCurrentIndex(box->findText(choice));
    setting->click();
    QCOMPARE(l.watcher.seen.size(), boxes + 1);
    QCOMPARE(QByteArray::fromHex(l.tx().last().toLatin1()), frame);
}

void TstReported::clockInDaylightSavingGapIsShown() {
    // 02:30 on 29 March 2026 does not exist in Berlin: the clocks go from 02:00 to 03:00. The
    // device has no zone and may well hold it.
    ScopedTimeZone zone("Europe/Berlin");
    Line l;
    QVERIFY(l.attached);
    QDateTimeEdit *editor = l.ui().dateTimeEditDeviceTime;
    QVERIFY(l.reply(Reg::ClockYear, clockReply(2025, 1, 1, 0, 0, 0)));
    QVERIFY(l.reply(Reg::ClockYear, clockReply(2026, 3, 29, 2, 30, 0)));
    QCOMPARE(editor->date(), QDate(2026, 3, 29));
    QCOMPARE(editor->time(), QTime(2, 30, 0));
    // Written back unchanged when the user sets the clock from the editor.
    l.ui().checkBoxSystemTime->setChecked(false);
    l.ui().pushButtonDeviceTime->click();
    QCOMPARE(QByteArray::fromHex(l.tx().last().toLatin1()).mid(7, 14),
             hexBytes("07 EA 00 03 00 1D 00 02 00 1E 00 00 00 07"));
}

void TstReported::impossibleClockDate_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::newRow("month 13") << clockReply(2026, 13, 1, 4, 15, 33) << "2026-13-01 04:15:33";
    QTest::newRow("30 February") << clockReply(2026, 2, 30, 4, 15, 33) << "2026-02-30 04:15:33";
    QTest::newRow("hour 24") << clockReply(2026, 12, 8, 24, 0, 0) << "2026-12-08 24:00:00";
    QTest::newRow("year 0") << clockReply(0, 1, 1, 0, 0, 0) << "0000-01-01 00:00:00";
}

void TstReported::impossibleClockDate() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    Line l;
    QVERIFY(l.attached);
    QDateTimeEdit *editor = l.ui().dateTimeEditDeviceTime;
    // A time read earlier must not survive as if the device still held it.
    QVERIFY(l.reply(Reg::ClockYear, clockReply(2025, 1, 1, 8, 0, 0)));
    QCOMPARE(editor->date(), QDate(2025, 1, 1));
    QVERIFY(l.reply(Reg::ClockYear, reply));
    QVERIFY(l.noticed(QStringLiteral("The device clock holds an impossible date: ") + shown));
    QCOMPARE(editor->text(), QString("Not read"));

    l.ui().checkBoxSystemTime->setChecked(false);
    const int sent = l.tx().size();
    l.ui().pushButtonDeviceTime->click();
    QCOMPARE(l.lastBox(), QString("The device time has not been read, please enter a time!"));
    QCOMPARE(l.tx().size(), sent);

    // A time the user enters is written; so is the computer's time.
    editor->setDateTime(QDateTime(QDate(2026, 12, 13), QTime(10, 20, 30), Qt::UTC));
    l.ui().pushButtonDeviceTime->click();
    QCOMPARE(QByteArray::fromHex(l.tx().last().toLatin1()),
             hexBytes("01 10 01 20 01 26 0E 07 EA 00 0C 00 0D 00 0A 00 14 00 1E 00 07 06 2A"));
    QVERIFY(l.reply(Reg::ClockYear, reply));
    l.ui().checkBoxSystemTime->setChecked(true);
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 8), QTime(4, 15, 33)));
    l.ui().pushButtonDeviceTime->click();
    QCOMPARE(QByteArray::fromHex(l.tx().last().toLatin1()),
             hexBytes("01 10 01 20 01 26 0E 07 EA 00 0C 00 08 00 04 00 0F 00 21 00 02 42 B7"));
}

void TstReported::analogFromDeviceLimits() {
    Line l;
    QVERIFY(l.attached);
    // Device information with the range -40.0 .. 80.0; then the fields are edited but not set.
    QVERIFY(l.reply(Reg::SlaveAddress,
                    readReplyFrame({1, 4, 100, 0, 0x2612, 0x0804, 0x1533, 0xFE70, 0x0320, 0})));
    l.ui().lineEditRangeMin->setText(QStringLiteral("abc"));
    l.ui().lineEditRangeMax->setText(QStringLiteral("150"));
    // 20.0 degrees is half-way through -40 .. 80: 12 mA, 2.5 V, 5 V.
    QVERIFY(l.reply(Reg::LiveTenths, readReplyFrame({200, 500, 100, 0})));
    const QString text = QTextDocumentFragment::fromHtml(l.ui().labelTemperature->text()).toPlainText();
    QVERIFY2(text.contains(QStringLiteral("12.000mA")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("2.500V")) && text.contains(QStringLiteral("5.000V")),
             qPrintable(text));
}

// A heating start past 23:59 is shown as 23:59 and said, not left as the editor held it.
void TstReported::startTimePastMidnight() {
    Line l;
    QVERIFY(l.attached);
    l.ui().timeEditStartTime->setTime(QTime(6, 30));
    QVERIFY(l.reply(Reg::ClockYear, clockReply(2026, 12, 8, 4, 15, 33, 6, 60, 1500)));
    QCOMPARE(l.ui().timeEditStartTime->time(), QTime(23, 59));
    QVERIFY(l.noticed("The device reports a heating start time past 23:59 (1500 minutes): shown as 23:59"));
}

QTEST_MAIN(TstReported)
#include "tst_reported.moc"
