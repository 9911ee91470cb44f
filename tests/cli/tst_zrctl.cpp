// zrctl: its argument rules as tables, then the program itself against simulated transmitters
// on one pseudo-terminal line.
#include "cli/cli_args.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/settings_frames.h"
#include "core/modbus/modbus_frame.h"
#include "sim/tcp_transmitter.h"
#include "tests/support/harness.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

#include <csignal>
#include <grp.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Waits for the end of a zrctl started in `process` while this thread's event loop keeps serving
// the simulated line.
Run finish(QProcess &process, int ms = 30000) {
    Run run;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, ms)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

Run zrctl(const QStringList &arguments, int ms = 30000) {
    QProcess process;
    process.start(QStringLiteral(ZRCTL_PATH), arguments);
    return finish(process, ms);
}

QList<QJsonObject> jsonLines(const QByteArray &out) {
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (!line.isEmpty()) {
            objects << QJsonDocument::fromJson(line).object();
        }
    }
    return objects;
}

TransmitterConfig unit(quint16 type, quint8 address, int baud, quint16 firmware, const char *serial) {
    TransmitterConfig config;
    config.deviceType = type;
    config.address = address;
    config.baudRate = baud;
    config.firmware = firmware;
    config.serialNumber = QByteArray::fromHex(serial);
    return config;
}

// Short reply windows for the windows made while it lives: on a line where nothing answers,
// each frame would otherwise wait out a whole turnaround before the next one goes.
class ShortReplyWindows {
public:
    ShortReplyWindows() : previous(LineTiming::current()) { LineTiming::current().line.turnaroundMs = 20; }
    ~ShortReplyWindows() { LineTiming::current() = previous; }
    ShortReplyWindows(const ShortReplyWindows &) = delete;
    ShortReplyWindows &operator=(const ShortReplyWindows &) = delete;

private:
    LineTiming previous;
};

QByteArray concat(const QVector<QByteArray> &frames) {
    QByteArray all;
    for (const QByteArray &frame : frames) {
        all += frame;
    }
    return all;
}

// A row of overTcp.
struct TcpRow {
    QString sim;
    QStringList arguments;
};

// One row's run of setRefusesBeforeSending or exitCodes, started before its row.
struct RefusalRun {
    PtyTransmitter sim{TransmitterConfig()};
    QProcess process;
};

// One row's run of overTcp, started before its row: the server, what it got and when.
struct TcpRun {
    TcpTransmitter server{unit(3, 7, 9600, 105, "261208041533")};
    int delayMs = 0;
    QVector<QByteArray> got;
    QVector<qint64> at;
    QElapsedTimer clock;
    QProcess process;
};

} // namespace

class TstZrctl : public QObject {
    Q_OBJECT

private slots:
    void addressArgument_data();
    void addressArgument();
    void baudListArgument_data();
    void baudListArgument();
    void otherArguments_data();
    void otherArguments();

    void scanFindsEveryUnit();
    void infoFrames();
    void setWritesTheWindowsFrames();
    void setRefusesBeforeSending_data();
    void setRefusesBeforeSending();
    void watchWritesCsv();
    void watchEndsCleanlyOnInterrupt();
    void exitCodes_data();
    void exitCodes();
    void portNamedAsGiven_data();
    void portNamedAsGiven();
    void portWithoutPermission_data();
    void portWithoutPermission();
    void overTcp_data();
    void overTcp();

private:
    std::map<QByteArray, QStringList> refusalOptions; // setRefusesBeforeSending's rows
    std::map<QByteArray, std::unique_ptr<RefusalRun>> refusalRuns;
    std::map<QByteArray, QPair<QStringList, int>> exitCodeRows; // exitCodes' arguments and fault
    std::map<QByteArray, std::unique_ptr<RefusalRun>> exitCodeRuns;
    std::map<QByteArray, TcpRow> tcpRows;
    std::map<QByteArray, std::unique_ptr<TcpRun>> tcpRuns;
};

void TstZrctl::addressArgument_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: refused
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("247") << "247" << 247;
    QTest::newRow("0") << "0" << -1;
    QTest::newRow("248") << "248" << -1;
    QTest::newRow("signed") << "+5" << -1;
    QTest::newRow("hex") << "0x10" << -1;
    QTest::newRow("blank") << "" << -1;
    QTest::newRow("space") << " 5" << -1;
}

void TstZrctl::addressArgument() {
    QFETCH(QString, text);
    QFETCH(int, value);
    int out = 0;
    QString error;
    const bool ok = CliArgs::address(QStringLiteral("address"), text, &out, &error);
    QCOMPARE(ok, value >= 0);
    if (ok) {
        QCOMPARE(out, value);
    } else {
        QVERIFY(error.startsWith(QStringLiteral("--address: expected a slave address from 1 to 247")));
        QVERIFY(!error.contains(QLatin1Char('\n')));
    }
}

void TstZrctl::baudListArgument_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<int>>("rates"); // empty: refused
    QTest::newRow("all, fastest first") << "all" << QVector<int>{115200, 19200, 9600, 4800, 2400, 1200};
    QTest::newRow("one") << "9600" << QVector<int>{9600};
    QTest::newRow("two, in the order given") << "1200,115200" << QVector<int>{1200, 115200};
    QTest::newRow("a repeat is tried once") << "9600,9600" << QVector<int>{9600};
    QTest::newRow("not a rate of the family") << "38400" << QVector<int>{};
    QTest::newRow("empty item") << "9600," << QVector<int>{};
    QTest::newRow("words") << "fast" << QVector<int>{};
}

void TstZrctl::baudListArgument() {
    QFETCH(QString, text);
    QFETCH(QVector<int>, rates);
    QVector<int> out;
    QString error;
    const bool ok = CliArgs::baudList(QStringLiteral("baud"), text, &out, &error);
    QCOMPARE(ok, !rates.isEmpty());
    if (ok) {
        QCOMPARE(out, rates);
    } else {
        QVERIFY(error.contains(QStringLiteral("1200, 2400, 4800, 9600, 19200, 115200")));
    }
}

void TstZrctl::otherArguments_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("range 1-247") << "addresses"
                                 << "1-247" << true;
    QTest::newRow("range of one") << "addresses"
                                  << "17" << true;
    QTest::newRow("range backwards") << "addresses"
                                     << "20-10" << false;
    QTest::newRow("range past 247") << "addresses"
                                    << "1-300" << false;
    QTest::newRow("range from 0") << "addresses"
                                  << "0-10" << false;
    QTest::newRow("seconds 0.5") << "seconds"
                                 << "0.5" << true;
    QTest::newRow("seconds 0") << "seconds"
                               << "0" << false;
    QTest::newRow("seconds negative") << "seconds"
                                      << "-1" << false;
    QTest::newRow("seconds with a comma") << "seconds"
                                          << "1,5" << false;
    QTest::newRow("heater on") << "onoff"
                               << "on" << true;
    QTest::newRow("heater ON") << "onoff"
                               << "ON" << false;
    QTest::newRow("output dewpoint") << "output"
                                     << "dewpoint" << true;
    QTest::newRow("output 2") << "output"
                              << "2" << true;
    QTest::newRow("output 3") << "output"
                              << "3" << false;
    QTest::newRow("clock now") << "clock"
                               << "now" << true;
    QTest::newRow("clock in a daylight-saving gap elsewhere") << "clock"
                                                              << "2026-03-29T02:30:00" << true;
    QTest::newRow("clock 30 February") << "clock"
                                       << "2026-02-30T10:00:00" << false;
    QTest::newRow("clock month 13") << "clock"
                                    << "2026-13-01T10:00:00" << false;
    QTest::newRow("clock without seconds") << "clock"
                                           << "2026-12-09T10:00" << false;
    QTest::newRow("schedule") << "schedule"
                              << "06:30,12,120" << true;
    QTest::newRow("schedule interval 0") << "schedule"
                                         << "06:30,0,120" << false;
    QTest::newRow("schedule interval 25") << "schedule"
                                          << "06:30,25,120" << false;
    QTest::newRow("schedule heating 481 s") << "schedule"
                                            << "06:30,12,481" << false;
    QTest::newRow("schedule at 24:00") << "schedule"
                                       << "24:00,12,120" << false;
}

void TstZrctl::otherArguments() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QString error;
    bool result = false;
    if (kind == "addresses") {
        int first = 0;
        int last = 0;
        result = CliArgs::addressRange(kind, text, &first, &last, &error);
    } else if (kind == "seconds") {
        double value = 0;
        result = CliArgs::seconds(kind, text, &value, &error);
    } else if (kind == "onoff") {
        bool value = false;
        result = CliArgs::onOff(kind, text, &value, &error);
    } else if (kind == "output") {
        int value = 0;
        result = CliArgs::outputData(kind, text, &value, &error);
    } else if (kind == "clock") {
        bool now = false;
        QDateTime when;
        result = CliArgs::clock(kind, text, &now, &when, &error);
        if (result && !now) {
            QCOMPARE(when.toString(Qt::ISODate).left(19), text);
        }
    } else {
        QTime start;
        int hours = 0;
        int duration = 0;
        result = CliArgs::schedule(kind, text, &start, &hours, &duration, &error);
    }
    QCOMPARE(result, ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok) {
        QVERIFY2(error.startsWith("--" + kind + ": expected "), qPrintable(error));
    }
}

void TstZrctl::scanFindsEveryUnit() {
    ScopedWorkDir dir;
    // Silent addresses before, between and after the units at either rate; each silent one waits
    // out its window, so the range is no wider than that.
    SimFixture sim(unit(1, 3, 9600, 110, "000000000003"));
    QVERIFY(sim.ok());
    sim.transmitter().addUnit(unit(3, 5, 19200, 105, "000000000005"));
    sim.transmitter().addUnit(unit(5, 6, 9600, 200, "000000000006"));
    const Run run = zrctl({"scan", "--port", sim.port(), "--baud", "9600,19200", "--addresses", "2-7",
                           "--timeout", "80", "--json"});
    QCOMPARE(run.exitCode, 0);
    const QList<QJsonObject> found = jsonLines(run.out);
    QStringList seen;
    for (const QJsonObject &o : found) {
        seen << QStringLiteral("%1@%2 %3 %4 %5")
                    .arg(o["address"].toInt())
                    .arg(o["rate"].toInt())
                    .arg(o["model"].toString(), o["firmware"].toString(), o["serial"].toString());
    }
    QCOMPARE(seen, (QStringList{"3@9600 ZR200 V1.1.0 000000000003", "6@9600 ZR200Mini_M V2.0.0 000000000006",
                                "5@19200 ZR200Pro V1.0.5 000000000005"}));
    // One probe per address and rate, each to its own address, nothing else on the line.
    QVector<QByteArray> probes;
    for (int rate = 0; rate < 2; ++rate) {
        for (int address = 2; address <= 7; ++address) {
            probes << buildReadRequest(static_cast<quint8>(address), Reg::SlaveAddress, Reg::DeviceInfoCount);
        }
    }
    QCOMPARE(sim.transmitter().received().toHex(), concat(probes).toHex());
}

void TstZrctl::infoFrames() {
    ScopedWorkDir dir;
    SimFixture sim(unit(3, 7, 19200, 105, "261208041533"));
    QVERIFY(sim.ok());
    const Run run = zrctl({"info", "--port", sim.port(), "--address", "7", "--baud", "19200", "--json",
                           "--log", dir.path() + "/frames.txt"});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject info = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(info["model"].toString(), QString("ZR200Pro"));
    QCOMPARE(info["firmware"].toString(), QString("V1.0.5"));
    QCOMPARE(info["serial"].toString(), QString("261208041533"));
    QCOMPARE(info["baudRate"].toInt(), 19200);
    QCOMPARE(info["rangeMin"].toDouble(), -40.0);
    QCOMPARE(info["heater"].toBool(), false);
    QVERIFY(info.contains("clock"));
    // The window's "Read info" (with the clock read that follows) and its output-block read.
    const QVector<QByteArray> frames{buildReadRequest(7, Reg::SlaveAddress, Reg::DeviceInfoCount),
                                     buildReadRequest(7, Reg::ClockYear, Reg::ClockBlockCount),
                                     buildReadRequest(7, Reg::OutputBlock, Reg::OutputBlockCount)};
    QCOMPARE(sim.transmitter().received().toHex(), concat(frames).toHex());
    // The log holds them in the window's format, each followed by its reply.
    const QStringList tx = loggedFrames(dir.path() + "/frames.txt", 0);
    QCOMPARE(tx, (QStringList{frameToHex(frames[0]), frameToHex(frames[1]), frameToHex(frames[2])}));
    QCOMPARE(loggedFrames(dir.path() + "/frames.txt", 1).size(), 3);
    QVERIFY(readLogLines(dir.path() + "/frames.txt")
                .first()
                .endsWith("port " + sim.port() + " opened at 19200 baud"));
}

void TstZrctl::setWritesTheWindowsFrames() {
    ScopedWorkDir dir;
    // The window's frames for each operation, as it puts them on a line.
    QByteArray window;
    {
        ShortReplyWindows shortWindows;
        ModalWatcher watcher;
        Widget w;
        PtyLine line;
        QVERIFY(line.attach(w));
        WidgetUi *ui = WidgetTestAccess::ui(w);
        WidgetTestAccess::timer1S(w)->stop();
        line.drain();
        ui->lineEditAddress->setText("1");
        ui->lineEditRangeMin->setText("-20,5");
        ui->lineEditRangeMax->setText("85");
        WidgetTestAccess::invoke(w, "PushButtonTempRangeSlot");
        ui->comboBoxChannel->setCurrentIndex(0);
        ui->comboBoxOutputData->setCurrentIndex(1);
        WidgetTestAccess::invoke(w, "PushButtonOutputSlot");
        WidgetTestAccess::invoke(w, "PushButtonHeaterONSlot");
        ui->lineEditSN->setText("ABCDEF012345");
        WidgetTestAccess::invoke(w, "PushButtonMANUSetupSlot");
        ui->checkBoxSystemTime->setChecked(false);
        ui->dateTimeEditDeviceTime->setDateTime(QDateTime(QDate(2026, 3, 29), QTime(2, 30, 0), Qt::UTC));
        WidgetTestAccess::invoke(w, "PushButtonDeviceTimeSlot");
        ui->timeEditStartTime->setTime(QTime(6, 30));
        ui->comboBoxInterval->setCurrentIndex(11);
        ui->comboBoxHeaterTime->setCurrentIndex(120);
        WidgetTestAccess::invoke(w, "PushButtonHeaterTimeSlot");
        ui->comboBoxBaudRate->setCurrentIndex(4);
        WidgetTestAccess::invoke(w, "PushButtonBaudRateSlot");
        ui->lineEditAddress->setText("9");
        WidgetTestAccess::invoke(w, "PushButtonAddressSlot");
        QTRY_COMPARE(line.drain().size(), 13 + 8 + 8 + 15 + 23 + 15 + 8 + 8);
        window = line.drain();
        QCOMPARE(watcher.count("QMessageBox"), 0);
    }

    // zrctl's writes for the same values; its read-backs in between are left out.
    SimFixture sim;
    QVERIFY(sim.ok());
    QByteArray writes;
    QObject::connect(&sim.transmitter(), &PtyTransmitter::requestReceived,
                     [&writes](const QByteArray &request) {
                         if (static_cast<quint8>(request.at(1)) != Fn::Read) {
                             writes += request;
                         }
                     });
    const Run run = zrctl({"set",
                           "--port",
                           sim.port(),
                           "--address",
                           "1",
                           "--baud",
                           "9600",
                           "--range",
                           "-20,5:85",
                           "--output-data",
                           "humidity",
                           "--channel",
                           "1",
                           "--heater",
                           "on",
                           "--serial",
                           "ABCDEF012345",
                           "--clock",
                           "2026-03-29T02:30:00",
                           "--schedule",
                           "06:30,12,120",
                           "--new-baud",
                           "19200",
                           "--new-address",
                           "9",
                           "--broadcast"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(writes.toHex(), window.toHex());
    // Each was read back: the device holds what was written and answers at 19200 on address 9.
    Transmitter &device = sim.transmitter().model();
    QCOMPARE(int(device.address()), 9);
    QCOMPARE(device.baudRate(), 19200);
    QCOMPARE(qint16(device.registerValue(Reg::RangeMin)), qint16(-205));
    QCOMPARE(device.registerValue(Reg::SerialNumber), quint16(0xABCD));
    QCOMPARE(run.out.count('\n'), 8);
    QVERIFY(run.out.contains(
        "new-baud set: 19200 (the unit answers at 19200 baud now, read back at that rate)\n"));
}

void TstZrctl::setRefusesBeforeSending_data() {
    QTest::addColumn<QString>("message");
    const auto add = [this](const char *name, const QStringList &options, const QString &message) {
        QTest::newRow(name) << message;
        refusalOptions[name] = options;
    };
    add("range not a number", QStringList{"--range", "abc:10"}, "--range: expected MIN:MAX");
    add("range hexadecimal", QStringList{"--range", "0x10:20"}, "--range: expected MIN:MAX");
    add("range too wide", QStringList{"--range", "-10:3276.8"}, "--range: expected MIN:MAX");
    add("range with one limit", QStringList{"--range", "10"}, "--range: expected MIN:MAX");
    add("range without span", QStringList{"--range", "10:10"}, "--range: expected MIN:MAX");
    add("range upside down", QStringList{"--range", "80:-40"}, "--range: expected MIN:MAX");
    add("address 0 without broadcast", QStringList{"--address", "0", "--new-address", "5"},
        "--address 0 reaches every unit");
    add("serial of 11 digits", QStringList{"--serial", "ABCDEF01234"}, "--serial: expected AUTO");
    add("serial not hexadecimal", QStringList{"--serial", "ABCDEF01234Z"}, "--serial: expected AUTO");
    add("heater yes", QStringList{"--heater", "yes"}, "--heater: expected on or off");
    add("clock 30 February", QStringList{"--clock", "2026-02-30T10:00:00"}, "--clock: expected now");
    add("schedule every 0 hours", QStringList{"--schedule", "06:30,0,120"}, "--schedule: expected");
    add("new baud 38400", QStringList{"--new-baud", "38400"}, "--new-baud: expected one of");
    add("broadcast alone", QStringList{"--broadcast"}, "--broadcast: goes with --new-address");
    add("channel 3", QStringList{"--output-data", "0", "--channel", "3"}, "--channel: expected");
    add("nothing to set", QStringList{}, "set: nothing to set");
    // A bad value anywhere stops all of them: the good ones are not sent either.
    add("good heater, bad range", QStringList{"--heater", "on", "--range", "1:x"},
        "--range: expected MIN:MAX");
}

// Each row starts zrctl and its transmitter: the first row starts them all side by side, each row
// then checks its own.
void TstZrctl::setRefusesBeforeSending() {
    QFETCH(QString, message);
    ScopedWorkDir dir;
    if (refusalRuns.empty()) {
        for (const auto &[name, options] : refusalOptions) {
            auto run = std::make_unique<RefusalRun>();
            QVERIFY(run->sim.start());
            run->process.start(QStringLiteral(ZRCTL_PATH), QStringList{"set", "--port", run->sim.slavePath(),
                                                                       "--address", "1", "--baud", "9600"} +
                                                               options);
            refusalRuns[name] = std::move(run);
        }
    }
    const std::unique_ptr<RefusalRun> started = std::move(refusalRuns[QTest::currentDataTag()]);
    QVERIFY(started);
    const Run run = finish(started->process);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith("zrctl: " + message.toUtf8()), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(started->sim.received().isEmpty());
}

void TstZrctl::watchWritesCsv() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    const QString csv = dir.path() + "/readings.csv";
    const Run run = zrctl({"watch", "--port", sim.port(), "--address", "1", "--baud", "9600", "--count", "4",
                           "--interval", "0.1", "--csv", csv});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.count('\n'), 4);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 6); // header, four readings, the empty rest after the last line feed
    QVERIFY(lines.last().isEmpty());
    QCOMPARE(lines.first().split(',').size(), 15);
    QVERIFY(lines.first().startsWith("time,address,status,temperature_c,temperature_ma"));
    for (int i = 1; i <= 4; ++i) {
        const QList<QByteArray> cells = lines.at(i).split(',');
        QCOMPARE(cells.size(), 15);
        QVERIFY(QDateTime::fromString(QString::fromLatin1(cells.first()), Qt::ISODateWithMs).isValid());
        QVERIFY(cells.first().endsWith('Z'));
        QCOMPARE(cells.at(1), QByteArray("1"));
        QCOMPARE(cells.at(2), QByteArray("ok"));
        for (int c = 3; c < cells.size(); ++c) {
            bool ok = false;
            cells.at(c).toDouble(&ok);
            QVERIFY2(ok, cells.at(c).constData());
        }
        // Humidity against 0..100 %: 4 mA + 0.16 mA a percent.
        const double humidity = cells.at(7).toDouble();
        QVERIFY(qAbs(cells.at(8).toDouble() - (4.0 + 0.16 * humidity)) < 0.002);
    }
}

void TstZrctl::watchEndsCleanlyOnInterrupt() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    const QString csv = dir.path() + "/night.csv";
    QProcess process;
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(QStringLiteral(ZRCTL_PATH), {"watch", "--port", sim.port(), "--address", "1", "--baud",
                                               "9600", "--interval", "0.1", "--csv", csv});
    QByteArray out;
    QVERIFY(QTest::qWaitFor(
        [&] {
            out += process.readAllStandardOutput();
            return out.count('\n') >= 3;
        },
        10000));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(finished.wait(5000));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    // Every reading printed is in the file, each line whole.
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    QVERIFY(all.endsWith('\n'));
    QCOMPARE(all.count('\n') - 1, out.count('\n'));
    for (const QByteArray &line : all.split('\n').mid(1)) {
        QVERIFY(line.isEmpty() || line.split(',').size() == 15);
    }
}

void TstZrctl::exitCodes_data() {
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("sends");
    // In `arguments`, PORT stands for the simulated line; `fault` is the transmitter's.
    const auto add = [this](const char *name, const QStringList &arguments, int fault, int exitCode,
                            bool sends) {
        QTest::newRow(name) << exitCode << sends;
        exitCodeRows[name] = qMakePair(arguments, fault);
    };
    add("done", QStringList{"info", "--port", "PORT", "--address", "1", "--baud", "9600"},
        int(SimFault::None), 0, true);
    add("bad usage: address", QStringList{"info", "--port", "PORT", "--address", "0", "--baud", "9600"},
        int(SimFault::None), 2, false);
    add("bad usage: option of another command",
        QStringList{"info", "--port", "PORT", "--address", "1", "--baud", "9600", "--csv", "x"},
        int(SimFault::None), 2, false);
    add("bad usage: unknown command", QStringList{"reset", "--port", "PORT"}, int(SimFault::None), 2, false);
    add("no reply",
        QStringList{"info", "--port", "PORT", "--address", "2", "--baud", "9600", "--timeout", "100"},
        int(SimFault::None), 3, true);
    add("refused", QStringList{"info", "--port", "PORT", "--address", "1", "--baud", "9600"},
        int(SimFault::ExceptionAll), 4, true);
    add("port error", QStringList{"info", "--port", "/nonexistent/tty", "--address", "1", "--baud", "9600"},
        int(SimFault::None), 5, false);
    add("flooding adapter", QStringList{"info", "--port", "PORT", "--address", "1", "--baud", "9600"},
        int(SimFault::FloodFF), 5, true);
}

// The first row starts every row's zrctl and transmitter side by side, each row checks its own.
void TstZrctl::exitCodes() {
    QFETCH(int, exitCode);
    QFETCH(bool, sends);
    ScopedWorkDir dir;
    if (exitCodeRuns.empty()) {
        for (const auto &[name, row] : exitCodeRows) {
            auto run = std::make_unique<RefusalRun>();
            QVERIFY(run->sim.start());
            run->sim.setFault(SimFault(row.second));
            run->process.start(
                QStringLiteral(ZRCTL_PATH),
                QStringList(row.first).replaceInStrings(QRegularExpression("^PORT$"), run->sim.slavePath()));
            exitCodeRuns[name] = std::move(run);
        }
    }
    const std::unique_ptr<RefusalRun> started = std::move(exitCodeRuns[QTest::currentDataTag()]);
    QVERIFY(started);
    const Run run = finish(started->process);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(!started->sim.received().isEmpty(), sends);
    if (exitCode != 0) {
        // One clear line first, naming what went wrong.
        QVERIFY(run.err.startsWith("zrctl: "));
        QVERIFY(run.out.isEmpty());
    }
}

void TstZrctl::portNamedAsGiven_data() {
    QTest::addColumn<QString>("port");
    QTest::newRow("a path") << "/nonexistent/tty";
    QTest::newRow("a bare name, taken under /dev/") << "zrtool-no-such-port";
}

void TstZrctl::portNamedAsGiven() {
    QFETCH(QString, port);
    ScopedWorkDir dir;
    const Run run = zrctl({"info", "--port", port, "--address", "1", "--baud", "9600"});
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(QString::fromLocal8Bit(run.err), "zrctl: cannot open " + port + ": no such device\n");
}

void TstZrctl::portWithoutPermission_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("info") << "info" << 5;
    QTest::newRow("ports") << "ports" << 0;
}

void TstZrctl::portWithoutPermission() {
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    const QByteArray node = QFile::encodeName(sim.port());
    // Root may open any node: zrctl runs as nobody then, and the node goes to the group dialout.
    QStringList prefix;
    const bool root = ::geteuid() == 0;
    if (root) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty()) {
            QSKIP("running as root without setpriv to drop to an unprivileged user");
        }
        if (const struct group *dialout = ::getgrnam("dialout")) {
            QCOMPARE(::chown(node.constData(), 0, dialout->gr_gid), 0);
        }
        prefix = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", QStringLiteral(ZRCTL_PATH)};
    }
    QCOMPARE(::chmod(node.constData(), root ? 0660 : 0), 0);
    const QString group = QFileInfo(sim.port()).group();
    QProcess process;
    process.setWorkingDirectory("/");
    const QStringList arguments =
        command == "ports" ? QStringList{"ports"}
                           : QStringList{"info", "--port", sim.port(), "--address", "1", "--baud", "9600"};
    process.start(root ? QStringLiteral("setpriv") : QStringLiteral(ZRCTL_PATH), prefix + arguments);
    QVERIFY(process.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    const QString fix = "run sudo usermod -aG " + group + " $USER, then log out and in again\n";
    if (command == "ports") {
        QVERIFY2(out.split('\n').contains(sim.port() + " (no permission) group " + group), qPrintable(out));
        QVERIFY2(err.contains("zrctl: to open the ports of the group " + group + ", " + fix),
                 qPrintable(err));
    } else {
        QCOMPARE(err, "zrctl: cannot open " + sim.port() +
                          ": no permission, the device belongs to the group " + group + "; " + fix);
    }
    QVERIFY(sim.transmitter().received().isEmpty());
}

// The commands against the simulated transmitter behind a serial server on loopback (PORT): "rtu"
// frames raw, else Modbus TCP; "tid0" replies with transaction id 0; "slow" replies 60 ms late;
// "refused" nothing listens. The server must get `requests`, none before the one ahead was answered.
void TstZrctl::overTcp_data() {
    QTest::addColumn<QString>("sim");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QVector<QByteArray>>("requests");
    QTest::addColumn<QString>("said"); // on standard output, or the first line on standard error
    const auto add = [this](const char *name, const QString &sim, const QStringList &arguments, int exitCode,
                            const QVector<QByteArray> &requests, const QString &said) {
        QTest::newRow(name) << sim << arguments << exitCode << requests << said;
        tcpRows[name] = TcpRow{sim, arguments};
    };
    const QStringList info{"info", "--port", "PORT", "--address", "7", "--baud", "9600"};
    const QVector<QByteArray> infoFrames{buildReadRequest(7, Reg::SlaveAddress, Reg::DeviceInfoCount),
                                         buildReadRequest(7, Reg::ClockYear, Reg::ClockBlockCount),
                                         buildReadRequest(7, Reg::OutputBlock, Reg::OutputBlockCount)};
    add("info, modbus tcp", "slow", info, 0, infoFrames, "serial");
    add("info, rtu over tcp", "rtu slow", info, 0, infoFrames, "serial");
    add("transaction id 0", "tid0", info + QStringList{"--timeout", "100"}, 3, infoFrames.mid(0, 1),
        "0x0100: no reply");
    add("transaction id 0, --tcp-any-id", "tid0", info + QStringList{"--tcp-any-id"}, 0, infoFrames,
        "serial");
    // A setting is read back; the rate is written only: the server still runs at the old one.
    add("set, new rate not read back", "rtu",
        QStringList{"set", "--port", "PORT", "--address", "7", "--baud", "9600", "--heater", "on",
                    "--new-baud", "19200"},
        0,
        QVector<QByteArray>{Settings::heaterFrame(7, true), buildReadRequest(7, Reg::Heater, 1),
                            Settings::baudCodeFrame(7, Model::codeForBaudRate(19200))},
        "change the serial server's line rate to 19200");
    // Every rate asked for, but one pass: the server's line runs at its own; the unit says its rate.
    add("scan --baud all: one pass", "",
        QStringList{"scan", "--port", "PORT", "--baud", "all", "--addresses", "6-7", "--timeout", "100"}, 0,
        QVector<QByteArray>{buildReadRequest(6, Reg::SlaveAddress, Reg::DeviceInfoCount), infoFrames.first()},
        "address 7  rate 9600");
    add("bad --port", "", QStringList{"info", "--port", "tcp://[::1", "--address", "7"}, 2,
        QVector<QByteArray>{},
        "--port: '[::1' is no HOST[:PORT] (an IPv6 address goes in brackets); expected a device path, "
        "tcp://");
    add("refused", "refused", info, 5, QVector<QByteArray>{}, "connection to tcp://127.0.0.1:");
}

// Each row waits for its server's replies, the slow ones at least 60 ms each: the first row starts
// them all side by side, each row then checks its own.
void TstZrctl::overTcp() {
    QFETCH(int, exitCode);
    QFETCH(QVector<QByteArray>, requests);
    QFETCH(QString, said);
    ScopedWorkDir dir;
    if (tcpRuns.empty()) {
        for (auto &[name, row] : tcpRows) {
            auto run = std::make_unique<TcpRun>();
            const QString &sim = row.sim;
            TcpTransmitter &server = run->server;
            server.setFraming(sim.contains("rtu") ? TcpTransmitter::Framing::Rtu
                                                  : TcpTransmitter::Framing::ModbusTcp);
            server.setWrongTransactionId(sim.contains("tid0"));
            run->delayMs = sim.contains("slow") ? 60 : 0;
            server.setReplyDelay(run->delayMs);
            QTcpServer probe; // a port nothing listens on
            QVERIFY(sim == "refused" ? probe.listen(QHostAddress::LocalHost)
                                     : server.listen(QHostAddress::LocalHost, 0));
            run->clock.start();
            TcpRun *const r = run.get();
            connect(&server, &TcpTransmitter::requestReceived, [r](const QByteArray &request) {
                r->got << request;
                r->at << r->clock.elapsed();
            });
            const QString port = sim == "refused" ? QString("tcp://127.0.0.1:%1").arg(probe.serverPort())
                                                  : server.portString();
            probe.close();
            run->process.start(
                QStringLiteral(ZRCTL_PATH),
                QStringList(row.arguments).replaceInStrings(QRegularExpression("^PORT$"), port));
            tcpRuns[name] = std::move(run);
        }
    }
    const std::unique_ptr<TcpRun> started = std::move(tcpRuns[QTest::currentDataTag()]);
    QVERIFY(started);
    const Run run = finish(started->process);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(started->got, requests);
    for (int i = 1; i < started->at.size(); ++i) {
        QVERIFY(started->at.at(i) - started->at.at(i - 1) >= started->delayMs); // never pipelined
    }
    const QByteArray where = exitCode == 0 ? run.out : run.err.left(run.err.indexOf('\n'));
    QVERIFY2(where.contains(said.toUtf8()), (run.out + run.err).constData());
}

QTEST_MAIN(TstZrctl)
#include "tst_zrctl.moc"
