// Machine text under a locale whose digits are not 0-9. ctest runs this program with
// LC_ALL=ar_SA.UTF-8, so the system locale writes Arabic-Indic digits; the default locale is
// set to the same for the length of each test.
#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "gui/version_text.h"
#include "tests/support/harness.h"
#include "ui_widget.h"

#include <QLocale>
#include <QtTest>

namespace {

// The default locale for one test, put back afterwards.
class ScopedDefaultLocale {
public:
    explicit ScopedDefaultLocale(const QLocale &locale) : previous(QLocale()) { QLocale::setDefault(locale); }
    ~ScopedDefaultLocale() { QLocale::setDefault(previous); }

private:
    QLocale previous;
};

const QDateTime kTuesday(QDate(2026, 12, 8), QTime(4, 15, 33, 7));

} // namespace

class TstLocale : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY2(QLocale::system().zeroDigit() != QLatin1Char('0'), "run with LC_ALL=ar_SA.UTF-8");
    }
    void cleanup() { Clock::setFixedNow(QDateTime()); }
    void machineText_data();
    void machineText();
    void startAndSerialNumberFlow();
};

void TstLocale::machineText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("log stamp") << MachineText::logStamp(kTuesday) << "2026-12-08 04:15:33:007";
    QTest::newRow("log file stamp") << MachineText::logFileStamp(kTuesday) << "20261208041533";
    QTest::newRow("serial number") << MachineText::serialNumberFromClock(kTuesday) << "261208041533";
    QTest::newRow("version") << versionTextFrom("Oct  6 2025", "19:04:26") << " V2025.10.06.1904";
}

void TstLocale::machineText() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    ScopedDefaultLocale arabic(QLocale(QLocale::Arabic, QLocale::SaudiArabia));
    QCOMPARE(text, expected);
}

void TstLocale::startAndSerialNumberFlow() {
    ScopedDefaultLocale arabic(QLocale(QLocale::Arabic, QLocale::SaudiArabia));
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Clock::setFixedNow(kTuesday);
    Widget w;
    WidgetUi *ui = WidgetTestAccess::ui(w);
    const QString log = WidgetTestAccess::logFilePath(w);
    QCOMPARE(log, dir.path() + "/Data/Log-20261208041533.txt");
    QCOMPARE(readLogLines(log).first(), QString("2026-12-08 04:15:33:007->Application start!"));

    // AUTO setup: twelve decimal digits of the clock, sent as packed BCD.
    ui->groupBoxDevice->setEnabled(true);
    ui->lineEditAddress->setText("1");
    ui->pushButtonAUTO->click();
    QCOMPARE(WidgetTestAccess::shared(w)->serialNumber, QString("261208041533"));
    const QStringList sent = loggedFrames(log, 0);
    QVERIFY(!sent.isEmpty());
    QCOMPARE(QByteArray::fromHex(sent.last().toLatin1()),
             hexBytes("01 10 01 04 01 06 06 26 12 08 04 15 33 DC 27"));
    QVERIFY(readLogLines(log).last().startsWith("2026-12-08 04:15:33:007->TX  "));
    QVERIFY(ui->textBrowser->toPlainText().startsWith("2026-12-08 04:15:33:007->TX "));
}

QTEST_MAIN(TstLocale)
#include "tst_locale.moc"
