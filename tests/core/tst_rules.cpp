// The value rules, the configuration file reader and writer and the catalogues, without a window.
#include "core/base/catalogues.h"
#include "core/device/value_rules.h"
#include "core/storage/config_file.h"
#include "tests/support/harness.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

class TstRules : public QObject {
    Q_OBJECT

private slots:
    void rangeLimit_data();
    void rangeLimit();
    void listValues_data();
    void listValues();
    void deviceClock_data();
    void deviceClock();
    void configRead_data();
    void configRead();
    void configWrite_data();
    void configWrite();
    void configRoundTrip_data();
    void configRoundTrip();
    void toolkitCatalogue_data();
    void toolkitCatalogue();
};

void TstRules::rangeLimit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("tenths");
    QTest::newRow("decimal comma") << "-20,5" << true << -205;
    QTest::newRow("comma 85,0") << "85,0" << true << 850;
    QTest::newRow("spaces around") << " 12.5 " << true << 125;
    QTest::newRow("exponent") << "1e2" << true << 1000;
    QTest::newRow("text") << "abc" << false << 0;
    QTest::newRow("blank") << "   " << false << 0;
    QTest::newRow("hex") << "0x10" << false << 0;
    QTest::newRow("two commas") << "1,2,3" << false << 0;
    QTest::newRow("comma and point") << "1,000.5" << false << 0;
    QTest::newRow("trailing text") << "20C" << false << 0;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("٢٠") << false << 0;
}

void TstRules::rangeLimit() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(int, tenths);
    qint16 value = 0;
    QCOMPARE(ValueRules::parseRangeLimit(text, &value), accepted);
    QCOMPARE(int(value), tenths);
}

void TstRules::listValues_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index"); // -1: not in the list
    const ValueRules::List baud = ValueRules::BaudCodes;
    const ValueRules::List interval = ValueRules::HeatingIntervals;
    const ValueRules::List heating = ValueRules::HeatingTimes;
    const ValueRules::List output = ValueRules::OutputData;
    QTest::newRow("baud 1") << baud.first << baud.count << 1 << 0;
    QTest::newRow("baud 0") << baud.first << baud.count << 0 << -1;
    QTest::newRow("baud 7") << baud.first << baud.count << 7 << -1;
    QTest::newRow("interval 24") << interval.first << interval.count << 24 << 23;
    QTest::newRow("interval 0") << interval.first << interval.count << 0 << -1;
    QTest::newRow("interval 25") << interval.first << interval.count << 25 << -1;
    QTest::newRow("heating 480") << heating.first << heating.count << 480 << 480;
    QTest::newRow("heating 65535") << heating.first << heating.count << 65535 << -1;
    QTest::newRow("output 2") << output.first << output.count << 2 << 2;
    QTest::newRow("output 3") << output.first << output.count << 3 << -1;
}

void TstRules::listValues() {
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(int, value);
    QFETCH(int, index);
    const ValueRules::List list{first, count};
    QCOMPARE(ValueRules::listIndex(list, value), index);
    quint16 picked = 0xBEEF;
    if (index >= 0) {
        QVERIFY(ValueRules::listValue(list, index, &picked));
        QCOMPARE(int(picked), value);
    }
    // No item selected (-1) and an index past the list give no value.
    QVERIFY(!ValueRules::listValue(list, -1, &picked));
    QVERIFY(!ValueRules::listValue(list, count, &picked));
}

void TstRules::deviceClock_data() {
    QTest::addColumn<QVector<int>>("fields");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::newRow("ordinary") << QVector<int>{2026, 12, 8, 4, 15, 33} << true << "2026-12-08 04:15:33";
    QTest::newRow("in a daylight-saving gap")
        << QVector<int>{2026, 3, 29, 2, 30, 0} << true << "2026-03-29 02:30:00";
    QTest::newRow("29 February leap") << QVector<int>{2028, 2, 29, 0, 0, 0} << true << "2028-02-29 00:00:00";
    QTest::newRow("29 February") << QVector<int>{2026, 2, 29, 0, 0, 0} << false << "2026-02-29 00:00:00";
    QTest::newRow("30 February") << QVector<int>{2026, 2, 30, 12, 0, 0} << false << "2026-02-30 12:00:00";
    QTest::newRow("month 13") << QVector<int>{2026, 13, 1, 4, 15, 33} << false << "2026-13-01 04:15:33";
    QTest::newRow("month 0") << QVector<int>{2026, 0, 1, 0, 0, 0} << false << "2026-00-01 00:00:00";
    QTest::newRow("second 60") << QVector<int>{2026, 1, 1, 0, 0, 60} << false << "2026-01-01 00:00:60";
    QTest::newRow("hour 65535") << QVector<int>{2026, 1, 1, 65535, 0, 0} << false << "2026-01-01 65535:00:00";
}

void TstRules::deviceClock() {
    QFETCH(QVector<int>, fields);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    const QDateTime clock =
        ValueRules::deviceClockTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
    QCOMPARE(clock.isValid(), valid);
    QCOMPARE(ValueRules::deviceClockText(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]),
             text);
    if (valid) {
        // The wall-clock fields come back unchanged, whatever the computer's zone.
        QCOMPARE(clock.timeSpec(), Qt::UTC);
        const QVector<quint16> words = ValueRules::deviceClockWords(clock.date(), clock.time());
        QCOMPARE(words.size(), 7);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(int(words[i]), fields[i]);
        }
        QCOMPARE(int(words[6]), clock.date().dayOfWeek());
    }
}

void TstRules::configRead_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("theme"); // ConfigFile::Theme
    const int kSystem = int(ConfigFile::Theme::System);
    QTest::newRow("plain") << QByteArray("[System]\nProgramName=ZRxxx test\nPortName=/dev/ttyUSB0\n")
                           << "ZRxxx test"
                           << "/dev/ttyUSB0" << kSystem;
    QTest::newRow("comma by hand") << QByteArray("[System]\nProgramName=Bench, line 3\nPortName=ttyS0\n")
                                   << "Bench, line 3"
                                   << "ttyS0" << kSystem;
    QTest::newRow("comma quoted by an earlier version")
        << QByteArray("[System]\nProgramName=\"Bench, line 3\"\nPortName=\n") << "Bench, line 3"
        << "" << kSystem;
    QTest::newRow("quotes by hand") << QByteArray("[System]\nProgramName=Lab \"A\" 2\n") << "Lab \"A\" 2"
                                    << "" << kSystem;
    QTest::newRow("quoted words by hand")
        << QByteArray("[System]\nProgramName=\"A\" and \"B\"\n") << "\"A\" and \"B\""
        << "" << kSystem;
    QTest::newRow("escaped quotes of an earlier version")
        << QByteArray("[System]\nProgramName=Lab \\\"A\\\" 2\n") << "Lab \"A\" 2"
        << "" << kSystem;
    QTest::newRow("UTF-8 by hand") << QByteArray("[System]\nProgramName=Prüfstand 温湿度 1\n")
                                   << QString::fromUtf8("Prüfstand 温湿度 1") << "" << kSystem;
    QTest::newRow("escapes of an earlier version")
        << QByteArray("[System]\nProgramName=Pr\\xfc\\x66stand \\x6e29\\x6e7f\\x5ea6 1\n")
        << QString::fromUtf8("Prüfstand 温湿度 1") << "" << kSystem;
    QTest::newRow("Latin-1 by hand") << QByteArray("[System]\nProgramName=Pr\xfc"
                                                   "fstand\n")
                                     << QString::fromUtf8("Prüfstand") << "" << kSystem;
    QTest::newRow("at sign of an earlier version") << QByteArray("[System]\nProgramName=@@home\n") << "@home"
                                                   << "" << kSystem;
    QTest::newRow("byte-order mark, CRLF, spaces")
        << QByteArray("\xEF\xBB\xBF[System]\r\n  ProgramName = Bench 7  \r\nPortName=COM3\r\n") << "Bench 7"
        << "COM3" << kSystem;
    QTest::newRow("other sections ignored")
        << QByteArray("[Other]\nProgramName=x\n[System]\nPortName=a\n[Later]\nPortName=b\n") << ""
        << "a" << kSystem;
    QTest::newRow("comment lines") << QByteArray("; note\n[System]\n# ProgramName=no\nProgramName=yes\n")
                                   << "yes"
                                   << "" << kSystem;
    QTest::newRow("no keys") << QByteArray("[Other]\nkey=value\n") << ""
                             << "" << kSystem;
    QTest::newRow("garbage") << QByteArray("\x00\xff\xfe[[[=\x01\n\x80\x81", 11) << ""
                             << "" << kSystem;
    QTest::newRow("theme dark") << QByteArray("[System]\nTheme=dark\n") << ""
                                << "" << int(ConfigFile::Theme::Dark);
    QTest::newRow("theme light, as typed") << QByteArray("[System]\r\nTheme = Light \r\n") << ""
                                           << "" << int(ConfigFile::Theme::Light);
    QTest::newRow("theme unknown") << QByteArray("[System]\nTheme=purple\n") << ""
                                   << "" << kSystem;
    QTest::newRow("theme of another section") << QByteArray("[Other]\nTheme=dark\n") << ""
                                              << "" << kSystem;
}

void TstRules::configRead() {
    QFETCH(QByteArray, content);
    QFETCH(QString, program);
    QFETCH(QString, port);
    QCOMPARE(ConfigFile::value(content, "System", "ProgramName"), program);
    QCOMPARE(ConfigFile::value(content, "System", "PortName"), port);
    QFETCH(int, theme);
    QCOMPARE(int(ConfigFile::themeFrom(ConfigFile::value(content, "System", "Theme"))), theme);
}

void TstRules::configWrite_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("new file") << QByteArray() << "/dev/ttyUSB0"
                              << QByteArray("[System]\nPortName=/dev/ttyUSB0\n");
    QTest::newRow("only the port line changes")
        << QByteArray("; bench\n[System]\nProgramName=Bench, line 3 \"Prüf\"\nPortName=old\n[Other]\nk=v\n")
        << "/dev/ttyUSB1"
        << QByteArray("; bench\n[System]\nProgramName=Bench, line 3 "
                      "\"Prüf\"\nPortName=/dev/ttyUSB1\n[Other]\nk=v\n");
    QTest::newRow("same value keeps the bytes") << QByteArray("[System]\nPortName = \"COM3\"  \n") << "COM3"
                                                << QByteArray("[System]\nPortName = \"COM3\"  \n");
    QTest::newRow("missing key goes to its section")
        << QByteArray("[System]\r\nProgramName=A\r\n\r\n[Other]\r\nk=v\r\n") << "COM3"
        << QByteArray("[System]\r\nProgramName=A\r\nPortName=COM3\r\n\r\n[Other]\r\nk=v\r\n");
    QTest::newRow("last line without line end") << QByteArray("[System]\nProgramName=A") << "COM3"
                                                << QByteArray("[System]\nProgramName=A\nPortName=COM3");
    QTest::newRow("missing section") << QByteArray("[Other]\nk=v\n") << "COM3"
                                     << QByteArray("[Other]\nk=v\n\n[System]\nPortName=COM3\n");
    QTest::newRow("comma quoted") << QByteArray("[System]\nPortName=\n") << "a,b"
                                  << QByteArray("[System]\nPortName=\"a,b\"\n");
    QTest::newRow("UTF-8 as it is") << QByteArray("[System]\nPortName=\n") << QString::fromUtf8("串口1")
                                    << QByteArray("[System]\nPortName=串口1\n");
}

void TstRules::configWrite() {
    QFETCH(QByteArray, content);
    QFETCH(QString, port);
    QFETCH(QByteArray, expected);
    const QByteArray written = ConfigFile::withValue(content, "System", "PortName", port);
    QCOMPARE(written, expected);
    QCOMPARE(ConfigFile::value(written, "System", "PortName"), port);
}

void TstRules::configRoundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("comma") << "Bench, line 3";
    QTest::newRow("semicolon and equals") << "a;b=c";
    QTest::newRow("quotes") << "Lab \"A\"";
    QTest::newRow("whole in quotes") << "\"quoted\"";
    QTest::newRow("backslashes") << "C:\\new\\x41";
    QTest::newRow("spaces around") << "  padded  ";
    QTest::newRow("at sign") << "@Variant(x)";
    QTest::newRow("Chinese and accents") << QString::fromUtf8("温湿度变送器 Prüfstand é");
    QTest::newRow("emoji") << QString::fromUtf8("bench \xF0\x9F\x8C\xA1");
    QTest::newRow("control characters") << QString::fromUtf8("tab\there\nline");
}

void TstRules::configRoundTrip() {
    QFETCH(QString, name);
    const QByteArray written =
        ConfigFile::withValue(QByteArray("[System]\nPortName=x\n"), "System", "ProgramName", name);
    QCOMPARE(ConfigFile::value(written, "System", "ProgramName"), name);
    QCOMPARE(ConfigFile::value(written, "System", "PortName"), QString("x"));
    // Saving again what was read changes nothing.
    QCOMPARE(ConfigFile::withValue(written, "System", "ProgramName", name), written);
}

void TstRules::toolkitCatalogue_data() {
    QTest::addColumn<bool>("toolkitPresent");
    QTest::addColumn<int>("installed");
    QTest::addColumn<QString>("ok");
    QTest::newRow("toolkit catalogue present") << true << 2 << QString::fromUtf8("确定");
    QTest::newRow("toolkit catalogue missing") << false << 1 << QString("OK");
}

void TstRules::toolkitCatalogue() {
    QFETCH(bool, toolkitPresent);
    QFETCH(int, installed);
    QFETCH(QString, ok);
    ScopedWorkDir dir;
    QVERIFY(dir.installCatalogue());
    QTranslator tool;
    QTranslator toolkit;
    const QString toolkitDir =
        toolkitPresent ? QLibraryInfo::location(QLibraryInfo::TranslationsPath) : dir.path() + "/none";
    QCOMPARE(installCatalogues(tool, toolkit, "Qm/Chinese.qm", toolkitDir), installed);
    QMessageBox box(QMessageBox::Information, "Error", "x", QMessageBox::Ok);
    const QString shown = box.button(QMessageBox::Ok)->text().remove('&');
    QCoreApplication::removeTranslator(&toolkit);
    QCoreApplication::removeTranslator(&tool);
    QCOMPARE(shown, ok);
}

QTEST_MAIN(TstRules)
#include "tst_rules.moc"
