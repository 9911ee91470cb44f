// The application shell: version text, first start, configuration file, log file and pane,
// closing the window.
#include "core/base/clock.h"
#include "core/device/shared_data.h"
#include "core/storage/log_file.h"
#include "gui/colours.h"
#include "gui/message_pane.h"
#include "gui/version_text.h"
#include "tests/support/harness.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

class TstShell : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Clock::setFixedNow(QDateTime()); }
    void versionText_data();
    void versionText();
    void firstStart();
    void configWithoutKeysIsLeftAlone();
    void unreadableConfig_data();
    void unreadableConfig();
    void remembersProgramName();
    void namesSurviveSaving_data();
    void namesSurviveSaving();
    void configCannotBeSaved();
    void logLines_data();
    void logLines();
    void statusLineLeavesEmptyPaneEmpty();
    void logDeletedMidRunIsRecreated();
    void noDataDirectoryKeepsPane();
    void closeButtonWritesNoCloseLine();
    void closingWindowWritesCloseLine();
    void idleTimersHaveNoEffect();
    void paneTrim_data();
    void paneTrim();
    void paneDropsOldestLinesInOneChunk();
    void paletteColours_data();
    void paletteColours();
    void paneAndReadingsFollowPalette();
    void logWriterFullDisk_data();
    void logWriterFullDisk();
    void logFullThenFreed();
    void logLineText_data();
    void logLineText();
    void logFileNames_data();
    void logFileNames();
    void runsInTheSameSecondGetFilesOfTheirOwn();
};

namespace {
// A disk with `room` bytes left, whose file can or cannot be cut back after a short write.
class FullDisk : public LogWriter {
public:
    qint64 room = -1; // -1: no limit
    bool canCutBack = true;

protected:
    qint64 writeBytes(QFile &file, const QByteArray &bytes) override {
        const QByteArray part = room < 0 ? bytes : bytes.left(int(room));
        if (part.isEmpty()) {
            return -1;
        }
        const qint64 written = LogWriter::writeBytes(file, part);
        if (room >= 0) {
            room -= written;
        }
        return written;
    }
    bool cutBack(QFile &file, qint64 size) override { return canCutBack && LogWriter::cutBack(file, size); }
};

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A document of `lines` paragraphs "0", "1", ..., red and green by turns.
void fillDocument(QTextDocument &document, int lines) {
    QTextCursor cursor(&document);
    for (int i = 0; i < lines; ++i) {
        if (i > 0) {
            cursor.insertBlock();
        }
        QTextCharFormat format;
        format.setForeground(i % 2 ? Qt::green : Qt::red);
        cursor.insertText(QString::number(i), format);
    }
}
} // namespace

void TstShell::versionText_data() {
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two-digit day") << "Oct 16 2025"
                                   << "19:04:26"
                                   << " V2025.10.16.1904";
    QTest::newRow("space-padded day") << "Oct  6 2025"
                                      << "19:04:26"
                                      << " V2025.10.06.1904";
    QTest::newRow("midnight new year") << "Jan  1 2026"
                                       << "00:00:59"
                                       << " V2026.01.01.0000";
    QTest::newRow("december") << "Dec 31 2030"
                              << "23:59:00"
                              << " V2030.12.31.2359";
}

void TstShell::versionText() {
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, expected);
    QCOMPARE(versionTextFrom(date, time), expected);
}

void TstShell::firstStart() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 8), QTime(4, 15, 33, 7)));
    Widget w;
    QVERIFY(QFile::exists("Ini/Config.ini"));
    QVERIFY(QDir("Data").exists());
    QSettings settings("Ini/Config.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("System/ProgramName").toString(), QString("ZRxxx test"));
    QVERIFY(settings.contains("System/PortName"));
    QCOMPARE(settings.value("System/PortName").toString(), QString());

    QCOMPARE(WidgetTestAccess::logFilePath(w), QDir::currentPath() + "/Data/Log-20261208041533.txt");
    const QStringList lines = readLogLines(WidgetTestAccess::logFilePath(w));
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QString("2026-12-08 04:15:33:007->Application start!"));

    const QString version = WidgetTestAccess::versionText(w);
    QVERIFY(QRegularExpression("^ V\\d{4}\\.\\d{2}\\.\\d{2}\\.\\d{4}$").match(version).hasMatch());
    QCOMPARE(w.windowTitle(), QString("ZRxxx test  ") + version);
    QVERIFY(w.windowTitle().startsWith("ZRxxx test   V"));
    // With no port configured, start-up asked for one before the window was shown.
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!w.isVisible());
}

void TstShell::configWithoutKeysIsLeftAlone() {
    ScopedWorkDir dir;
    QDir().mkpath("Ini");
    const QByteArray content("[Other]\nkey=value\n");
    {
        QFile file("Ini/Config.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(WidgetTestAccess::shared(w)->programName, QString());
    QCOMPARE(WidgetTestAccess::shared(w)->portName, QString());
    QVERIFY(w.windowTitle().startsWith("   V")); // empty name, two spaces, " V..."
    QFile file("Ini/Config.ini");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TstShell::unreadableConfig_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[[[=\x01\n\x80\x81", 11);
    QTest::newRow("broken section") << QByteArray("[System\nProgramName\n=\n");
    QTest::newRow("variant junk") << QByteArray(
        "[System]\nProgramName=@Variant(\\0\\0\\0\\x7f)\nPortName=@ByteArray(\n");
}

void TstShell::unreadableConfig() {
    QFETCH(QByteArray, content);
    ScopedWorkDir dir;
    QDir().mkpath("Ini");
    {
        QFile file("Ini/Config.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    ModalWatcher watcher;
    Widget w;
    // Whatever the file held, start-up went on and asked for a port.
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
}

void TstShell::remembersProgramName() {
    ScopedWorkDir dir;
    dir.writeConfig("", "Bench 7");
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(w.windowTitle(), QString("Bench 7  ") + WidgetTestAccess::versionText(w));
}

void TstShell::namesSurviveSaving_data() {
    QTest::addColumn<QByteArray>("content"); // empty: written by QSettings, as earlier versions did
    QTest::addColumn<QString>("name");
    QTest::newRow("comma by hand") << QByteArray("[System]\nProgramName=Bench, line 3\nPortName=\n")
                                   << "Bench, line 3";
    QTest::newRow("quotes and UTF-8 by hand")
        << QByteArray("; written by hand\r\n[System]\r\nProgramName=Prüfstand \"温湿度\"\r\nPortName=old\r\n")
        << QString::fromUtf8("Prüfstand \"温湿度\"");
    QTest::newRow("earlier version") << QByteArray() << QString::fromUtf8("温湿度, Prüf \"1\"");
}

void TstShell::namesSurviveSaving() {
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    ScopedWorkDir dir;
    if (content.isEmpty()) {
        dir.writeConfig("", name);
    } else {
        QDir().mkpath("Ini");
        QFile file("Ini/Config.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QFile file("Ini/Config.ini");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(w.windowTitle(), name + "  " + WidgetTestAccess::versionText(w));
    // What the search does when it finds the device on a new port.
    SharedDataClass *shared = WidgetTestAccess::shared(w);
    shared->portName = "/dev/ttyNEW";
    shared->writeConfig();
    QVERIFY(shared->configSaveError.isEmpty());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    // Only the port line differs; every other byte, the name's line included, is as it was.
    const QList<QByteArray> oldLines = before.split('\n');
    const QList<QByteArray> newLines = after.split('\n');
    QCOMPARE(newLines.size(), oldLines.size());
    for (int i = 0; i < oldLines.size(); ++i) {
        if (oldLines[i].startsWith("PortName=")) {
            QCOMPARE(newLines[i],
                     QByteArray("PortName=/dev/ttyNEW") + (oldLines[i].endsWith('\r') ? "\r" : ""));
        } else {
            QCOMPARE(newLines[i], oldLines[i]);
        }
    }
    // Earlier versions read the file as it is now.
    QSettings settings("Ini/Config.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("System/PortName").toString(), QString("/dev/ttyNEW"));
}

void TstShell::configCannotBeSaved() {
    ScopedWorkDir dir;
    {
        QFile blocker("Ini"); // a plain file where the settings directory should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    ModalWatcher watcher;
    Widget w;
    // The default name stays in memory for the run.
    QVERIFY(w.windowTitle().startsWith("ZRxxx test   V"));
    const QString said = "->Settings cannot be saved to " + QDir::currentPath() + "/Ini/Config.ini: ";
    auto notices = [&] {
        int count = 0;
        for (const QString &line : readLogLines(WidgetTestAccess::logFilePath(w))) {
            if (line.contains(said) && !line.endsWith(said)) {
                ++count;
            }
        }
        return count;
    };
    QCOMPARE(notices(), 1);
    QVERIFY(WidgetTestAccess::ui(w)->textBrowser->toPlainText().contains(said));
    // A later save that fails as well is not said again; the port stays known for the run.
    SharedDataClass *shared = WidgetTestAccess::shared(w);
    shared->portName = "/dev/ttyNEW";
    shared->writeConfig();
    QVERIFY(!shared->configSaveError.isEmpty());
    QCOMPARE(shared->portName, QString("/dev/ttyNEW"));
    QCOMPARE(notices(), 1);
    QCOMPARE(WidgetTestAccess::ui(w)->textBrowser->toPlainText().count(said), 1);
}

void TstShell::logLines_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("colour");
    QTest::newRow("tx") << 0 << "01030100000ac431"
                        << "2025-10-16 19:04:26:007->TX  01030100000ac431"
                        << "#ff0000";
    QTest::newRow("rx") << 1 << "0103020001"
                        << "2025-10-16 19:04:26:007->RX  0103020001"
                        << "#008000";
    QTest::newRow("status") << 2 << "Application close!"
                            << "2025-10-16 19:04:26:007->Application close!"
                            << "";
    QTest::newRow("other kind is status") << 7 << "x"
                                          << "2025-10-16 19:04:26:007->x"
                                          << "";
}

void TstShell::logLines() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QFETCH(QString, colour);
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    QFile::remove(WidgetTestAccess::logFilePath(w));
    QTextBrowser *pane = WidgetTestAccess::ui(w)->textBrowser;
    pane->clear();
    Clock::setFixedNow(QDateTime(QDate(2025, 10, 16), QTime(19, 4, 26, 7)));
    WidgetTestAccess::appendMessage(w, "first", 0);
    const int blocksBefore = pane->document()->blockCount();
    WidgetTestAccess::appendMessage(w, text, kind);

    QFile file(WidgetTestAccess::logFilePath(w));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    const QByteArray expected = "2025-10-16 19:04:26:007->TX  first\n" + line.toLocal8Bit() + "\n";
    QCOMPARE(all, expected); // one line a call, a single line feed, no carriage return

    QTextBlock last = pane->document()->lastBlock();
    QCOMPARE(pane->document()->blockCount(), blocksBefore + 1);
    if (colour.isEmpty()) {
        QCOMPARE(last.text(), QString()); // status lines add an empty paragraph, never their text
    } else {
        // Rich text folds the two spaces after the arrow into one on screen.
        QCOMPARE(last.text(), QString(line).replace("  ", " "));
        QCOMPARE(last.begin().fragment().charFormat().foreground().color().name(), colour);
    }
}

void TstShell::statusLineLeavesEmptyPaneEmpty() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    QTextBrowser *pane = WidgetTestAccess::ui(w)->textBrowser;
    // "Application start!" went to the log only.
    QVERIFY(pane->document()->isEmpty());
    WidgetTestAccess::appendMessage(w, "status", 2);
    QVERIFY(pane->document()->isEmpty());
    WidgetTestAccess::appendMessage(w, "01", 0);
    QCOMPARE(pane->document()->blockCount(), 1);
    QVERIFY(pane->document()->firstBlock().text().endsWith("->TX 01"));
}

void TstShell::logDeletedMidRunIsRecreated() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    const QString log = WidgetTestAccess::logFilePath(w);
    WidgetTestAccess::appendMessage(w, "aa", 0);
    QVERIFY(QFile::remove(log));
    WidgetTestAccess::appendMessage(w, "bb", 1);
    const QStringList lines = readLogLines(log);
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith("->RX  bb"));
}

void TstShell::noDataDirectoryKeepsPane() {
    ScopedWorkDir dir;
    {
        QFile blocker("Data"); // a plain file where the log directory should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    ModalWatcher watcher;
    Widget w;
    WidgetTestAccess::appendMessage(w, "0103", 0);
    QVERIFY(QFileInfo("Data").isFile());
    QVERIFY(!QFile::exists(WidgetTestAccess::logFilePath(w)));
    QVERIFY(WidgetTestAccess::ui(w)->textBrowser->toPlainText().endsWith("->TX 0103"));
}

void TstShell::closeButtonWritesNoCloseLine() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    QString log;
    {
        Widget w;
        log = WidgetTestAccess::logFilePath(w);
        w.show();
        // "Close" ends the event loop directly: the loop below returns 0 at the click, not at the
        // safety exit, and no close event reaches the window.
        QTimer::singleShot(0, WidgetTestAccess::ui(w)->pushButtonClose, &QPushButton::click);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(w.isVisible());
    }
    const QStringList lines = readLogLines(log);
    for (const QString &line : lines) {
        QVERIFY(!line.endsWith("Application close!"));
    }
}

void TstShell::closingWindowWritesCloseLine() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    w.show();
    QVERIFY(w.close());
    const QStringList lines = readLogLines(WidgetTestAccess::logFilePath(w));
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines.first().endsWith("->Application start!"));
    QVERIFY(lines.last().endsWith("->Application close!"));
}

void TstShell::idleTimersHaveNoEffect() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(WidgetTestAccess::timerTxData(w)->interval(), 200);
    QVERIFY(WidgetTestAccess::timerTxData(w)->isActive());
    QCOMPARE(WidgetTestAccess::timer1S(w)->interval(), 1000);
    QCOMPARE(WidgetTestAccess::timer1S(w)->timerType(), Qt::PreciseTimer);
    QVERIFY(!WidgetTestAccess::timerDelay(w)->isActive());
    const QString log = WidgetTestAccess::logFilePath(w);
    const int linesBefore = readLogLines(log).size();
    WidgetTestAccess::invoke(w, "TimerTxDataSlot");
    WidgetTestAccess::invoke(w, "TimerDelaySlot");
    QCOMPARE(readLogLines(log).size(), linesBefore);
    QVERIFY(!WidgetTestAccess::timerDelay(w)->isActive());
}

void TstShell::paneTrim_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("most");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("firstKept");
    QTest::newRow("below the cap") << 9 << 10 << 8 << 0 << 0;
    QTest::newRow("at the cap") << 10 << 10 << 8 << 0 << 0;
    QTest::newRow("one over: a whole chunk goes") << 11 << 10 << 8 << 3 << 3;
    QTest::newRow("far over") << 25 << 10 << 8 << 17 << 17;
    QTest::newRow("chunk of one") << 11 << 10 << 10 << 1 << 1;
    QTest::newRow("fewest above most keeps most") << 12 << 10 << 20 << 2 << 2;
    QTest::newRow("fewest of none keeps most") << 12 << 10 << 0 << 2 << 2;
    QTest::newRow("one line kept") << 5 << 3 << 1 << 4 << 4;
    QTest::newRow("no cap") << 5 << 0 << 0 << 0 << 0;
}

void TstShell::paneTrim() {
    QFETCH(int, lines);
    QFETCH(int, most);
    QFETCH(int, fewest);
    QFETCH(int, removed);
    QFETCH(int, firstKept);
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    fillDocument(document, lines);
    QCOMPARE(document.blockCount(), lines);
    QCOMPARE(Pane::trimOldestLines(&document, most, fewest), removed);
    QCOMPARE(document.blockCount(), lines - removed);
    QCOMPARE(document.firstBlock().text(), QString::number(firstKept));
    QCOMPARE(document.lastBlock().text(), QString::number(lines - 1));
    // The first line kept keeps its own colour.
    const QColor colour = firstKept % 2 ? QColor(Qt::green) : QColor(Qt::red);
    QCOMPARE(document.firstBlock().begin().fragment().charFormat().foreground().color(), colour);
}

void TstShell::paneDropsOldestLinesInOneChunk() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    QTextBrowser *pane = WidgetTestAccess::ui(w)->textBrowser;
    QStringList lines;
    for (int i = 0; i < Pane::MostLines; ++i) {
        lines << QString::number(i);
    }
    pane->setPlainText(lines.join('\n'));
    QCOMPARE(pane->document()->blockCount(), Pane::MostLines);
    WidgetTestAccess::appendMessage(w, "0103", 0);
    // Past the cap the oldest lines go in one chunk, not one by one: the pane then has room for
    // many lines before it is trimmed again.
    QCOMPARE(pane->document()->blockCount(), Pane::LinesAfterTrim);
    QCOMPARE(pane->document()->firstBlock().text(),
             QString::number(Pane::MostLines + 1 - Pane::LinesAfterTrim));
    QVERIFY(pane->document()->lastBlock().text().endsWith("->TX 0103"));
    QVERIFY(!pane->document()->isUndoRedoEnabled()); // what is dropped is not kept for an undo
    WidgetTestAccess::appendMessage(w, "0104", 0);
    QCOMPARE(pane->document()->blockCount(), Pane::LinesAfterTrim + 1);
}

namespace {
// The palettes the colours are checked on: the tool's own two and another desktop's dark one.
QPalette paletteNamed(const QString &name) {
    if (name == QLatin1String("light")) {
        return Colours::lightPalette();
    }
    QPalette palette = Colours::darkPalette();
    if (name == QLatin1String("another dark")) {
        palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        palette.setColor(QPalette::Window, QColor(0x3c, 0x3f, 0x41));
        palette.setColor(QPalette::Text, QColor(0xbb, 0xbb, 0xbb));
    }
    return palette;
}
} // namespace

void TstShell::paletteColours_data() {
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("light"); // the colour on the light palette, as the tool always had it
    QTest::addColumn<double>("least");  // the contrast against its background on a dark one
    const struct {
        Colours::Role role;
        const char *name;
        const char *light;
    } roles[] = {{Colours::Role::Tx, "TX line", "#ff0000"},
                 {Colours::Role::Rx, "RX line", "#008000"},
                 {Colours::Role::Reading, "reading", "#ff0000"},
                 {Colours::Role::Milliamps, "mA", "#008000"},
                 {Colours::Role::Volts, "V", "#0000ff"},
                 {Colours::Role::Temperature, "temperature curve", "#d62728"},
                 {Colours::Role::Humidity, "humidity curve", "#1f77b4"},
                 {Colours::Role::DewPoint, "dew point curve", "#2ca02c"},
                 {Colours::Role::Grid, "grid", "#d8d8d8"},
                 {Colours::Role::EventLine, "event line", "#707070"},
                 {Colours::Role::EventText, "event label", "#000000"}};
    for (const auto &r : roles) {
        for (const char *palette : {"light", "dark", "another dark"}) {
            // The grid stays as faint on a dark background as on a light one.
            QTest::addRow("%s, %s", r.name, palette)
                << int(r.role) << palette << r.light << (r.role == Colours::Role::Grid ? 1.3 : 4.5);
        }
    }
}

void TstShell::paletteColours() {
    QFETCH(int, role);
    QFETCH(QString, palette);
    QFETCH(QString, light);
    QFETCH(double, least);
    const QPalette colours = paletteNamed(palette);
    const auto r = Colours::Role(role);
    const QColor colour = Colours::colour(r, colours);
    const double contrast = Colours::contrast(colour, colours.color(Colours::background(r)));
    if (palette == QLatin1String("light")) {
        QCOMPARE(colour.name(), light);
    } else {
        QVERIFY2(contrast >= least, qPrintable(colour.name() + " " + QString::number(contrast)));
        QCOMPARE(colour.hsvHue() < 0, QColor(light).hsvHue() < 0); // a hue stays a hue
    }
}

void TstShell::paneAndReadingsFollowPalette() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    const QPalette before = QApplication::palette();
    QVERIFY(QDir().mkpath("Ini"));
    QFile config("Ini/Config.ini");
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[System]\nTheme=dark\n") > 0);
    config.close();
    Widget w;
    // Started with the tool's own dark palette in the Fusion style.
    QCOMPARE(QApplication::palette().color(QPalette::Base), paletteNamed("dark").color(QPalette::Base));
    QCOMPARE(QApplication::style()->objectName(), QString("fusion"));
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QTextBrowser *pane = ui->textBrowser;
    WidgetTestAccess::appendMessage(w, "0103", 0);
    WidgetTestAccess::appendMessage(w, "0183", 1);
    SharedDataClass *shared = WidgetTestAccess::shared(w);
    shared->temperatureRaw = 2000;
    shared->rangeMin = 0;
    shared->rangeMax = 1000;
    WidgetTestAccess::showReadings(w, ReadingBlock::Hundredths, ReadingSelection::Temperature);
    const auto lineColour = [pane](int line) {
        return pane->document()->findBlockByNumber(line).begin().fragment().charFormat().foreground().color();
    };
    for (const QString name : {"dark", "light", "another dark", "light"}) {
        QApplication::setPalette(paletteNamed(name));
        const QPalette colours = pane->palette();
        QCOMPARE(colours.color(QPalette::Base), paletteNamed(name).color(QPalette::Base));
        QCOMPARE(lineColour(0), Colours::colour(Colours::Role::Tx, colours));
        QCOMPARE(lineColour(1), Colours::colour(Colours::Role::Rx, colours));
        // The pane is still disabled (no device answered): its notices read as when enabled.
        QVERIFY(!pane->isEnabled());
        QVERIFY(Colours::contrast(colours.color(QPalette::Disabled, QPalette::Text),
                                  colours.color(QPalette::Disabled, QPalette::Base)) >= 4.5);
        const QPalette labels = ui->labelTemperature->palette();
        const QString reading = ui->labelTemperature->text();
        QVERIFY2(
            reading.contains("<font color=" + Colours::htmlName(Colours::Role::Reading, labels) + ">20.00"),
            qPrintable(reading));
        QCOMPARE(reading.count("<font color=" + Colours::htmlName(Colours::Role::Volts, labels) + ">"), 2);
    }
    // On the light palette: today's colours, the reading's text as the light one makes it.
    QCOMPARE(lineColour(0).name(), QString("#ff0000"));
    QVERIFY(ui->labelTemperature->text().startsWith("Temperature:<font color=red>20.00"));
    QApplication::setPalette(before);
}

void TstShell::logWriterFullDisk_data() {
    QTest::addColumn<int>("room");
    QTest::addColumn<bool>("canCutBack");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("full at a line end") << 0 << true << QByteArray("first\nnote 2\nfourth\n");
    QTest::newRow("full mid-line, cut back") << 3 << true << QByteArray("first\nnote 2\nfourth\n");
    QTest::newRow("full mid-line, cannot cut back")
        << 3 << false << QByteArray("first\nsec\nnote 2\nfourth\n");
    QTest::newRow("full one byte short of a line")
        << 6 << false << QByteArray("first\nsecond\nnote 2\nfourth\n");
}

void TstShell::logWriterFullDisk() {
    QFETCH(int, room);
    QFETCH(bool, canCutBack);
    QFETCH(QByteArray, expected);
    ScopedWorkDir dir;
    const QString path = dir.path() + "/log.txt";
    FullDisk disk;
    disk.canCutBack = canCutBack;
    auto note = [&disk] { return QString("note %1").arg(disk.lostLines()); };
    QVERIFY(disk.append(path, "first", note()));
    disk.room = room;
    QVERIFY(!disk.append(path, "second", note()));
    QCOMPARE(disk.lostLines(), 1);
    QVERIFY(!disk.append(path, "third", note()));
    QCOMPARE(disk.lostLines(), 2);
    disk.room = -1; // room again
    QVERIFY(disk.append(path, "fourth", note()));
    QCOMPARE(disk.lostLines(), 0);
    QVERIFY(disk.append(path, "fifth", note()));
    QCOMPARE(fileBytes(path), expected + "fifth\n");
}

void TstShell::logFullThenFreed() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    QTextBrowser *pane = WidgetTestAccess::ui(w)->textBrowser;
    const QString log = WidgetTestAccess::logFilePath(w);
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 9), QTime(2, 30, 14, 433)));
    WidgetTestAccess::appendMessage(w, "aa", 0);
    WidgetTestAccess::logFilePath(w) = "/dev/full"; // every write fails as on a full disk
    WidgetTestAccess::appendMessage(w, "0103000202", 0);
    WidgetTestAccess::appendMessage(w, "bb", 1);
    WidgetTestAccess::appendMessage(w, "cc", 0);
    WidgetTestAccess::logFilePath(w) = log; // freed
    WidgetTestAccess::appendMessage(w, "dd", 1);
    const QStringList lines = readLogLines(log);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].endsWith("->Application start!"));
    QCOMPARE(lines[1], QString("2026-12-09 02:30:14:433->TX  aa"));
    QCOMPARE(lines[2],
             QString("2026-12-09 02:30:14:433->3 log line(s) lost: the log file could not be written"));
    QCOMPARE(lines[3], QString("2026-12-09 02:30:14:433->RX  dd"));
    // The pane said it once, when writing stopped, and kept every frame line.
    QCOMPARE(pane->toPlainText().count("The log file cannot be written: /dev/full"), 1);
    QCOMPARE(pane->toPlainText().count("->TX 0103000202"), 1);
    QVERIFY(pane->toPlainText().endsWith("->RX dd"));
}

void TstShell::logFileNames_data() {
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first run of the second") << QStringList() << "Log-20261209051500.txt";
    QTest::newRow("second run") << QStringList{"Log-20261209051500.txt"} << "Log-20261209051500-2.txt";
    QTest::newRow("third run") << QStringList{"Log-20261209051500.txt", "Log-20261209051500-2.txt"}
                               << "Log-20261209051500-3.txt";
    QTest::newRow("plain name free again")
        << QStringList{"Log-20261209051500-2.txt"} << "Log-20261209051500.txt";
    QTest::newRow("other seconds do not count")
        << QStringList{"Log-20261209051459.txt"} << "Log-20261209051500.txt";
}

void TstShell::logFileNames() {
    QFETCH(QStringList, present);
    QFETCH(QString, expected);
    ScopedWorkDir dir;
    QVERIFY(QDir().mkdir("Data"));
    for (const QString &name : present) {
        QFile file("Data/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier run\n");
    }
    const QDateTime start(QDate(2026, 12, 9), QTime(5, 15, 0, 999));
    const QString path = createLogFile(dir.path() + "/Data", start);
    QCOMPARE(path, dir.path() + "/Data/" + expected);
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(QDir("Data").entryList(QDir::Files).size(), present.size() + 1);
    for (const QString &name : present) {
        QCOMPARE(fileBytes("Data/" + name), QByteArray("earlier run\n")); // left as they were
    }
    // No Data directory: the plain name, nothing created.
    QVERIFY(QDir("Data").removeRecursively());
    QCOMPARE(createLogFile(dir.path() + "/Data", start), dir.path() + "/Data/Log-20261209051500.txt");
    QVERIFY(!QFileInfo::exists("Data"));
}

void TstShell::runsInTheSameSecondGetFilesOfTheirOwn() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 9), QTime(5, 15, 0, 1)));
    Widget first;
    Widget second;
    const QString firstLog = WidgetTestAccess::logFilePath(first);
    const QString secondLog = WidgetTestAccess::logFilePath(second);
    QCOMPARE(firstLog, QDir::currentPath() + "/Data/Log-20261209051500.txt");
    QCOMPARE(secondLog, QDir::currentPath() + "/Data/Log-20261209051500-2.txt");
    WidgetTestAccess::appendMessage(first, "01", 0);
    WidgetTestAccess::appendMessage(second, "02", 0);
    QCOMPARE(readLogLines(firstLog),
             (QStringList{"2026-12-09 05:15:00:001->Application start!", "2026-12-09 05:15:00:001->TX  01"}));
    QCOMPARE(readLogLines(secondLog),
             (QStringList{"2026-12-09 05:15:00:001->Application start!", "2026-12-09 05:15:00:001->TX  02"}));
}

void TstShell::logLineText_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    const QString stamp = QStringLiteral("2026-12-09 05:07:03:042");
    QTest::newRow("sent") << int(LogKind::Tx) << "0103000000044409" << stamp + "->TX  0103000000044409";
    QTest::newRow("received") << int(LogKind::Rx) << "018302c0f1" << stamp + "->RX  018302c0f1";
    QTest::newRow("status") << int(LogKind::Status) << "Application start!" << stamp + "->Application start!";
}

void TstShell::logLineText() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QString, line);
    const QDateTime when(QDate(2026, 12, 9), QTime(5, 7, 3, 42));
    QCOMPARE(logLine(when, LogKind(kind), text), line);
}

QTEST_MAIN(TstShell)
#include "tst_shell.moc"
