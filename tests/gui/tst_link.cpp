// The link procedure against a simulated transmitter on a pseudo-terminal: the settings dialog,
// opening the line, start-up with and without a remembered port.
#include "core/device/register_map.h"
#include "core/modbus/port_access.h"
#include "core/modbus/serial_ports.h"
#include "sim/tcp_transmitter.h"
#include "tests/support/harness.h"

#include <QMessageBox>
#include <QSerialPort>
#include <QStandardItemModel>
#include <QtTest>

#include <cerrno>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// access(2) as an unprivileged user in none of the node's groups sees it: the bits for others
// decide. The tests run as root, who may open any node.
int accessAsOutsider(const char *path, int mode) {
    struct stat info;
    if (::stat(path, &info) != 0) {
        return -1;
    }
    if (((mode & R_OK) && !(info.st_mode & S_IROTH)) || ((mode & W_OK) && !(info.st_mode & S_IWOTH))) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

struct ActingAsOutsider {
    AccessCheck previous = setAccessCheck(&accessAsOutsider);
    ~ActingAsOutsider() { setAccessCheck(previous); }
};

// Gives the node to the group dialout (where there is one and we may) with `mode`; returns the
// group that owns it now, as Qt reads it.
QString restrict(const QString &node, mode_t mode) {
    const QByteArray path = QFile::encodeName(node);
    if (const struct group *dialout = ::getgrnam("dialout")) {
        (void)::chown(path.constData(), static_cast<uid_t>(-1), dialout->gr_gid);
    }
    return ::chmod(path.constData(), mode) == 0 ? QFileInfo(node).group() : QString();
}

struct ScopedLockDirectory {
    ~ScopedLockDirectory() { setLockDirectory(QString()); }
};

} // namespace

class TstLink : public QObject {
    Q_OBJECT

private slots:
    void dialogListsOnlyOpenablePorts();
    void extraPortsVariable();
    void fixedRateOpensEightNoneOne_data();
    void fixedRateOpensEightNoneOne();
    void cancelLeavesPortClosed();
    void linkingAgainKeepsDelivering();
    void startupWithoutPortAsks();
    void startupWithPresentPortSearches();
    void startupWithAbsentPortAsks();
    void linkDuringSearchStopsIt();
    void vanishedPortSaysWhyAtOnce();
    void errorsThatEndTheLink_data();
    void errorsThatEndTheLink();

    void secondOpenerIsBusyUnderAnyName_data();
    void secondOpenerIsBusyUnderAnyName();
    void accessVerdicts_data();
    void accessVerdicts();
    void dialogGreysPortWithoutPermission();
    void dialogPreselectsPort_data();
    void dialogPreselectsPort();
    void startupWithRefusedPortSaysWhy_data();
    void startupWithRefusedPortSaysWhy();
    void linkOverTcp_data();
    void linkOverTcp();
};

void TstLink::dialogListsOnlyOpenablePorts() {
    ScopedWorkDir dir;
    PtyTransmitter free;
    PtyTransmitter busy;
    QVERIFY(free.start());
    QVERIFY(busy.start());
    const ScopedEnv extra(
        "ZRTOOL_EXTRA_PORTS",
        (free.slavePath() + ":" + busy.slavePath() + ":/dev/zrtool-no-such-port").toLocal8Bit());
    QSerialPort holder;
    holder.setPortName(busy.slavePath());
    QVERIFY(holder.open(QIODevice::ReadWrite)); // held open by another program
    QStringList listed;
    QString title;
    QString rate;
    ModalWatcher watcher;
    watcher.dialogHandler = [&](QDialog *dialog) {
        auto *names = dialog->findChild<QComboBox *>("comboBoxName");
        for (int i = 0; i < names->count(); ++i) {
            listed << names->itemText(i);
        }
        title = dialog->windowTitle();
        rate = dialog->findChild<QComboBox *>("comboBoxBaud")->currentText();
    };
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QCOMPARE(title, QString("Serial port"));
    QCOMPARE(rate, QString("AUTO"));
    QVERIFY(listed.contains(free.slavePath()));
    QVERIFY(!listed.contains(busy.slavePath()));
    QVERIFY(!listed.contains("/dev/zrtool-no-such-port"));
    holder.close();
    QVERIFY(openablePorts().contains(busy.slavePath()));
}

void TstLink::extraPortsVariable() {
    PtyTransmitter sim;
    QVERIFY(sim.start());
    ScopedEnv extra("ZRTOOL_EXTRA_PORTS", QByteArray());
    extra.unset();
    QVERIFY(!openablePorts().contains(sim.slavePath()));
    extra.set(("::" + sim.slavePath() + ":").toLocal8Bit());
    const QStringList ports = openablePorts();
    QCOMPARE(ports.count(sim.slavePath()), 1);
    QCOMPARE(ports.last(), sim.slavePath()); // after the system's own ports
}

void TstLink::fixedRateOpensEightNoneOne_data() {
    QTest::addColumn<QString>("parity");
    QTest::newRow("NO") << "NO";
    QTest::newRow("EVEN is shown only") << "EVEN";
    QTest::newRow("ODD is shown only") << "ODD";
}

void TstLink::fixedRateOpensEightNoneOne() {
    QFETCH(QString, parity);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.baudRate = 9600;
    SimFixture sim(config);
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600", parity);
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    const WindowPort port = WidgetTestAccess::port(w);
    QVERIFY(port->isOpen());
    QCOMPARE("/dev/" + port->portName(), sim.port()); // the port object drops the /dev/ prefix
    const LineSettings line = sim.transmitter().lineSettings();
    QCOMPARE(line.baudRate, 9600);
    QCOMPARE(line.dataBits, 8);
    QCOMPARE(line.parity, 'N');
    QCOMPARE(line.stopBits, 1);
    QVERIFY(!line.hardwareFlow);
    QVERIFY(!line.softwareFlow);
    // The device-information read goes out at once, to address 0.
    QVERIFY(requests.count() > 0 || requests.wait(2000));
    QCOMPARE(requests.first().first().toByteArray(), hexBytes("00 03 01 00 00 0A C5 E0"));
    QCOMPARE(loggedFrames(WidgetTestAccess::logFilePath(w), 0).first(), QString("00030100000ac5e0"));
    // The reply proves the link and brings the device's address.
    QTRY_COMPARE_WITH_TIMEOUT(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("1"), 3000);
    QVERIFY(!WidgetTestAccess::autoRead(w));
    // A fixed rate does not unlock the groups; only the search does.
    QVERIFY(!WidgetTestAccess::ui(w)->groupBoxDevice->isEnabled());
}

void TstLink::cancelLeavesPortClosed() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(WidgetTestAccess::port(w)->isOpen());
    WidgetTestAccess::ui(w)->groupBoxRTD->setEnabled(true);
    WidgetTestAccess::invoke(w, "PushButtonReadSlot");
    QVERIFY(WidgetTestAccess::autoRead(w));

    watcher.dialogHandler = nullptr; // Cancel
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    QVERIFY(!WidgetTestAccess::autoRead(w));
    QCOMPARE(WidgetTestAccess::ui(w)->pushButtonRead->text(), QString("Read"));
    QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString());
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
}

void TstLink::linkingAgainKeepsDelivering() {
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.deviceType = 1; // no clock: one request and one reply per link
    SimFixture sim(config);
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    Widget w;
    watcher.dialogHandler = chooseInDialog(sim.port(), "9600");
    const QString log = WidgetTestAccess::logFilePath(w);
    for (int round = 1; round <= 3; ++round) {
        WidgetTestAccess::ui(w)->pushButtonLink->click();
        QTRY_COMPARE_WITH_TIMEOUT(loggedFrames(log, 1).size(), round, 3000);
        QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("1"));
    }
    // One reply, one RX line: the parser is connected once however often the port was opened.
    QVERIFY(!QTest::qWaitFor([&] { return loggedFrames(log, 1).size() > 3; }, 300));
    QCOMPARE(loggedFrames(log, 1).size(), 3);
    QCOMPARE(loggedFrames(log, 0).size(), 3);
}

void TstLink::startupWithoutPortAsks() {
    ScopedWorkDir dir;
    dir.writeConfig("");
    SimFixture sim;
    QVERIFY(sim.ok());
    ModalWatcher watcher;
    bool shownBefore = true;
    Widget *window = nullptr;
    watcher.dialogHandler = [&](QDialog *) { shownBefore = window && window->isVisible(); };
    Widget w;
    window = &w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!shownBefore);
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
}

void TstLink::startupWithPresentPortSearches() {
    ScopedWorkDir dir;
    SimFixture sim;
    QVERIFY(sim.ok());
    dir.writeConfig(sim.port());
    ModalWatcher watcher;
    QSignalSpy requests(&sim.transmitter(), &PtyTransmitter::requestReceived);
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 0);
    QVERIFY(WidgetTestAccess::timerAutoBaud(w)->isActive());
    QVERIFY(WidgetTestAccess::port(w)->isOpen());
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), 115200); // the first candidate
    QCOMPARE(WidgetTestAccess::shared(w)->currentPortName, sim.port());
    QVERIFY(requests.wait(2000));
    QCOMPARE(requests.first().first().toByteArray(), hexBytes("00 03 01 00 00 0A C5 E0"));
    WidgetTestAccess::timerAutoBaud(w)->stop();
}

void TstLink::startupWithAbsentPortAsks() {
    ScopedWorkDir dir;
    dir.writeConfig("/dev/zrtool-unplugged-adapter");
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
}

void TstLink::linkDuringSearchStopsIt() {
    const int stepMs = 100;
    ScopedLineTiming timing(stepMs);
    ScopedWorkDir dir;
    TransmitterConfig config;
    config.baudRate = 1200; // found last, so the search is still running when Link is pressed
    SimFixture sim(config);
    QVERIFY(sim.ok());
    dir.writeConfig(sim.port());
    ModalWatcher watcher;
    Widget w;
    QVERIFY(WidgetTestAccess::timerAutoBaud(w)->isActive());
    watcher.dialogHandler = chooseInDialog(sim.port(), "1200");
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    // No stale search step comes and replaces the chosen rate, in more than two steps' time.
    QSignalSpy steps(WidgetTestAccess::timerAutoBaud(w), &QTimer::timeout);
    QVERIFY(!steps.wait(3 * stepMs));
    QCOMPARE(WidgetTestAccess::port(w)->baudRate(), 1200);
    QCOMPARE(watcher.count("QMessageBox"), 0);
    QCOMPARE(WidgetTestAccess::ui(w)->lineEditAddress->text(), QString("1"));
}

void TstLink::vanishedPortSaysWhyAtOnce() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    watcher.dialogHandler = chooseInDialog("", "9600");
    WidgetTestAccess::shared(w)->currentPortName = "/dev/zrtool-gone";
    WidgetTestAccess::shared(w)->baudRate = 9600;
    const int boxes = watcher.count("QMessageBox");
    WidgetTestAccess::openLink(w);
    QVERIFY(!WidgetTestAccess::port(w)->isOpen());
    // Nothing goes to a port that did not open; why is said at once, in the log and in a box.
    QVERIFY(loggedFrames(WidgetTestAccess::logFilePath(w), 0).isEmpty());
    QVERIFY(readLogLines(WidgetTestAccess::logFilePath(w))
                .filter(QRegularExpression("->Serial port /dev/zrtool-gone cannot be opened: "))
                .size() == 1);
    QCOMPARE(watcher.count("QMessageBox"), boxes + 1);
    QVERIFY(watcher.seen.last().text.startsWith("Serial port /dev/zrtool-gone cannot be opened: "));
}

void TstLink::errorsThatEndTheLink_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("ends");
    QTest::newRow("none") << int(QSerialPort::NoError) << false;
    QTest::newRow("time-out") << int(QSerialPort::TimeoutError) << false;
    QTest::newRow("read: hung-up tty") << int(QSerialPort::ReadError) << true;
    QTest::newRow("write") << int(QSerialPort::WriteError) << true;
    QTest::newRow("resource: adapter pulled") << int(QSerialPort::ResourceError) << true;
    QTest::newRow("device not found") << int(QSerialPort::DeviceNotFoundError) << true;
    QTest::newRow("permission") << int(QSerialPort::PermissionError) << true;
    QTest::newRow("open") << int(QSerialPort::OpenError) << true;
    QTest::newRow("unsupported") << int(QSerialPort::UnsupportedOperationError) << true;
    QTest::newRow("not open") << int(QSerialPort::NotOpenError) << true;
    QTest::newRow("unknown") << int(QSerialPort::UnknownError) << true;
}

void TstLink::errorsThatEndTheLink() {
    QFETCH(int, error);
    QFETCH(bool, ends);
    QCOMPARE(errorEndsLink(static_cast<QSerialPort::SerialPortError>(error)), ends);
}

void TstLink::secondOpenerIsBusyUnderAnyName_data() {
    QTest::addColumn<QString>("first"); // "pts", "link", "other link"; "flock": a program of its own
    QTest::addColumn<QString>("second");
    QTest::newRow("pts, then a link to it") << "pts"
                                            << "link";
    QTest::newRow("a link, then pts") << "link"
                                      << "pts";
    QTest::newRow("two links") << "link"
                               << "other link";
    QTest::newRow("the same name") << "pts"
                                   << "pts";
    QTest::newRow("flock held by another program") << "flock"
                                                   << "link";
}

void TstLink::secondOpenerIsBusyUnderAnyName() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    ScopedWorkDir dir;
    PtyTransmitter pty;
    QVERIFY(pty.start());
    const QMap<QString, QString> names{{"pts", pty.slavePath()},
                                       {"link", dir.path() + "/ttyZR"},
                                       {"other link", dir.path() + "/by-id/usb-ZR-if00"},
                                       {"flock", pty.slavePath()}};
    QVERIFY(QFile::link(pty.slavePath(), names["link"]));
    QVERIFY(QDir(dir.path()).mkdir("by-id"));
    QVERIFY(QFile::link("../ttyZR", names["other link"])); // a link to the link
    QSerialPort holder;
    int other = -1;
    if (first == "flock") {
        other = ::open(QFile::encodeName(names[first]).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) == 0);
    } else {
        QCOMPARE(openPort(holder, names[first]).kind, PortAccess::Ok);
    }
    QSerialPort port;
    const PortAccess refused = openPort(port, names[second]);
    QCOMPARE(refused.kind, PortAccess::Busy);
    QCOMPARE(refused.message, "cannot open " + names[second] + ": busy, another program has it open");
    QVERIFY(!port.isOpen());
    // Free again once the first lets go.
    holder.close();
    if (other >= 0) {
        ::close(other);
    }
    QCOMPARE(openPort(port, names[second]).message, QString());
    QVERIFY(port.isOpen());
}

void TstLink::accessVerdicts_data() {
    QTest::addColumn<QString>("given"); // PTY and LINK stand for a pseudo-terminal and a link to it
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message"); // GROUP stands for the group owning the node
    // A lock file of the port: "ended" or "running" names a process that has ended or runs,
    // in a lock folder this user may not write, or with "removable", may.
    QTest::addColumn<QString>("lock");
    const QString refused = "cannot open %1: no permission, the device belongs to the group GROUP; run sudo "
                            "usermod -aG GROUP $USER, then log out and in again";
    QTest::newRow("group only") << "PTY" << 0660 << int(PortAccess::NoPermission) << refused.arg("PTY") << "";
    QTest::newRow("group only, through a link")
        << "LINK" << 0660 << int(PortAccess::NoPermission) << refused.arg("LINK") << "";
    QTest::newRow("readable by all, not writable")
        << "PTY" << 0664 << int(PortAccess::NoPermission) << refused.arg("PTY") << "";
    QTest::newRow("owner only: no group to join")
        << "PTY" << 0600 << int(PortAccess::NoPermission)
        << "cannot open PTY: no permission, and the device is not open to its group"
        << "";
    QTest::newRow("open to all") << "PTY" << 0666 << int(PortAccess::Ok) << ""
                                 << "";
    QTest::newRow("missing") << "/dev/zrtool-no-such-port" << 0666 << int(PortAccess::Missing)
                             << "cannot open /dev/zrtool-no-such-port: no such device"
                             << "";
    QTest::newRow("bare name, as given") << "zrtool-no-such-port" << 0666 << int(PortAccess::Missing)
                                         << "cannot open zrtool-no-such-port: no such device"
                                         << "";
    QTest::newRow("none given") << "" << 0666 << int(PortAccess::OtherError)
                                << "cannot open the port: no port was given"
                                << "";
    // A tool run as root and killed leaves its lock in a folder the user may not clean.
    QTest::newRow("stale lock")
        << "PTY" << 0666 << int(PortAccess::StaleLock)
        << "cannot open PTY: its lock file LOCK is stale, process PID that left it is "
           "no longer running; run sudo rm LOCK"
        << "ended";
    QTest::newRow("stale lock this user may remove") << "PTY" << 0666 << int(PortAccess::Ok) << ""
                                                     << "ended removable";
    QTest::newRow("lock of a running process")
        << "LINK" << 0666 << int(PortAccess::Busy) << "cannot open LINK: busy, another program has it open"
        << "running removable";
}

void TstLink::accessVerdicts() {
    QFETCH(QString, given);
    QFETCH(int, mode);
    QFETCH(int, kind);
    QFETCH(QString, message);
    QFETCH(QString, lock);
    ScopedWorkDir dir;
    const ScopedLockDirectory lockFolder;
    PtyTransmitter pty;
    QVERIFY(pty.start());
    QVERIFY(QFile::link(pty.slavePath(), dir.path() + "/ttyZR"));
    const QString group = restrict(pty.slavePath(), static_cast<mode_t>(mode));
    QVERIFY(!group.isEmpty());
    // The lock file QSerialPort would take, in QLockFile's layout (process, program, host); an
    // ended process is a child that exits at once.
    const pid_t pid = lock.startsWith("ended") ? ::fork() : ::getppid();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    QVERIFY(QDir(dir.path()).mkdir("lock"));
    setLockDirectory(dir.path() + "/lock");
    QFile lockFile(lockFilePath(realDevicePath(pty.slavePath())));
    QVERIFY(lock.isEmpty() || (lockFile.open(QIODevice::WriteOnly) &&
                               lockFile.write(QByteArray::number(pid) + "\nzrtool\n" +
                                              QSysInfo::machineHostName().toLocal8Bit() + "\n") > 0));
    lockFile.close();
    QCOMPARE(::chmod(QFile::encodeName(dir.path() + "/lock").constData(),
                     lock.endsWith("removable") ? 0777 : 0755),
             0);
    given.replace("PTY", pty.slavePath()).replace("LINK", dir.path() + "/ttyZR");
    message.replace("PTY", pty.slavePath()).replace("LINK", dir.path() + "/ttyZR").replace("GROUP", group);
    message.replace("LOCK", lockFile.fileName()).replace("PID", QString::number(pid));
    const ActingAsOutsider outsider;
    const PortAccess access = checkAccess(given);
    QCOMPARE(int(access.kind), kind);
    QCOMPARE(access.message, message);
    QCOMPARE(access.group, message.contains(group) ? group : QString());
    QCOMPARE(access.lockPid, kind == PortAccess::StaleLock ? pid : 0);
}

void TstLink::dialogGreysPortWithoutPermission() {
    ScopedWorkDir dir;
    PtyTransmitter free;
    PtyTransmitter refused;
    QVERIFY(free.start());
    QVERIFY(refused.start());
    const QString group = restrict(refused.slavePath(), 0660);
    QVERIFY(restrict(free.slavePath(), 0666) != QString());
    const ScopedEnv extra("ZRTOOL_EXTRA_PORTS", (refused.slavePath() + ":" + free.slavePath()).toLocal8Bit());
    const ActingAsOutsider outsider;
    QString current;
    QStringList enabled;
    QStringList greyed;
    QString tip;
    ModalWatcher watcher;
    watcher.dialogHandler = [&](QDialog *dialog) {
        auto *names = dialog->findChild<QComboBox *>("comboBoxName");
        auto *model = qobject_cast<QStandardItemModel *>(names->model());
        for (int i = 0; i < names->count(); ++i) {
            (model->item(i)->isEnabled() ? enabled : greyed) << names->itemText(i);
        }
        current = names->currentText();
        tip = model->item(names->findText(refused.slavePath() + " (no permission)"))->toolTip();
        // Chosen all the same (the only port, or typed): the window says why it does not open.
        chooseInDialog(refused.slavePath() + " (no permission)", "AUTO")(dialog);
    };
    Widget w;
    QVERIFY(enabled.contains(free.slavePath()));
    QVERIFY(greyed.contains(refused.slavePath() + " (no permission)"));
    QVERIFY(!enabled.contains(refused.slavePath()));
    QCOMPARE(current, free.slavePath()); // the first port that opens, not the greyed one
    const QString command = "sudo usermod -aG " + group + " $USER";
    QCOMPARE(tip, "No permission: the device belongs to the group " + group + "; run " + command +
                      ", then log out and log in again.");
    QCOMPARE(WidgetTestAccess::shared(w)->currentPortName, refused.slavePath());
    // The search stops at once and says why, in the pane, the log and a box; nothing is sent.
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    QVERIFY(loggedFrames(WidgetTestAccess::logFilePath(w), 0).isEmpty());
    const QString said = "Serial port " + refused.slavePath() +
                         " cannot be opened: no permission. The device belongs to the group " + group +
                         "; run " + command + ", then log out and log in again.";
    QCOMPARE(readLogLines(WidgetTestAccess::logFilePath(w)).filter(said).size(), 1);
    QCOMPARE(WidgetTestAccess::ui(w)->textBrowser->toPlainText().count(said), 1);
    QCOMPARE(watcher.count("QMessageBox"), 1);
    QCOMPARE(watcher.seen.last().text, said);
}

void TstLink::dialogPreselectsPort_data() {
    // The port linked when Link is pressed again, System/PortName, the port selected. GREY is
    // listed first, greyed; then A, then B.
    QTest::addColumn<QStringList>("ports");
    QTest::newRow("the first that opens, not the greyed one") << QStringList{"", "", "A"};
    QTest::newRow("the remembered one") << QStringList{"", "B", "B"};
    QTest::newRow("the one linked now before the remembered one") << QStringList{"B", "A", "B"};
    QTest::newRow("remembered but greyed") << QStringList{"", "GREY", "A"};
    QTest::newRow("remembered but gone") << QStringList{"", "/dev/zrtool-no-such-port", "A"};
}

void TstLink::dialogPreselectsPort() {
    QFETCH(QStringList, ports);
    ScopedWorkDir dir;
    PtyTransmitter grey, a, b;
    QVERIFY(grey.start() && a.start() && b.start());
    QVERIFY(!restrict(grey.slavePath(), 0660).isEmpty());
    QVERIFY(!restrict(a.slavePath(), 0666).isEmpty() && !restrict(b.slavePath(), 0666).isEmpty());
    const QMap<QString, QString> path{{"GREY", grey.slavePath()}, {"A", a.slavePath()}, {"B", b.slavePath()}};
    const ScopedEnv extra("ZRTOOL_EXTRA_PORTS",
                          (grey.slavePath() + ":" + a.slavePath() + ":" + b.slavePath()).toLocal8Bit());
    const ActingAsOutsider outsider;
    ModalWatcher watcher;
    Widget w;
    if (!ports[0].isEmpty()) {
        watcher.dialogHandler = chooseInDialog(path[ports[0]], "9600");
        WidgetTestAccess::ui(w)->pushButtonLink->click();
        QVERIFY(WidgetTestAccess::port(w)->isOpen());
    }
    WidgetTestAccess::shared(w)->portName = path.value(ports[1], ports[1]);
    QString current;
    watcher.dialogHandler = [&current](QDialog *d) {
        current = d->findChild<QComboBox *>("comboBoxName")->currentText();
    };
    WidgetTestAccess::ui(w)->pushButtonLink->click();
    QCOMPARE(current, path[ports[2]]);
}

void TstLink::startupWithRefusedPortSaysWhy_data() {
    QTest::addColumn<bool>("held"); // false: no permission
    QTest::addColumn<QString>("said");
    QTest::newRow("no permission")
        << false
        << "Serial port LINK cannot be opened: no permission. The device belongs to "
           "the group GROUP; run sudo usermod -aG GROUP $USER, then log out and "
           "log in again.";
    QTest::newRow("held under its pts name")
        << true << "Serial port LINK is busy: another program has it open.";
}

void TstLink::startupWithRefusedPortSaysWhy() {
    QFETCH(bool, held);
    QFETCH(QString, said);
    ScopedWorkDir dir;
    PtyTransmitter pty;
    QVERIFY(pty.start());
    const QString link = dir.path() + "/ttyZR";
    QVERIFY(QFile::link(pty.slavePath(), link));
    const QString group = restrict(pty.slavePath(), held ? 0666 : 0660);
    const ScopedEnv extra("ZRTOOL_EXTRA_PORTS", link.toLocal8Bit());
    dir.writeConfig(link);
    QSerialPort holder;
    holder.setPortName(pty.slavePath());
    QVERIFY(!held || holder.open(QIODevice::ReadWrite));
    const ActingAsOutsider outsider;
    ModalWatcher watcher;
    Widget w;
    QCOMPARE(watcher.count("SerialportSettingDialog"), 1);
    QVERIFY(!WidgetTestAccess::timerAutoBaud(w)->isActive());
    said.replace("LINK", link).replace("GROUP", group);
    QCOMPARE(readLogLines(WidgetTestAccess::logFilePath(w)).filter(said).size(), 1);
}

QTEST_MAIN(TstLink)
void TstLink::linkOverTcp_data() {
    QTest::addColumn<int>("framing"); // TcpTransmitter::Framing; -1: a bad address typed
    QTest::addColumn<bool>("anyId");  // replies carry transaction id 0; TcpAnyId=true in Config.ini
    QTest::newRow("Modbus TCP") << int(TcpTransmitter::Framing::ModbusTcp) << false;
    QTest::newRow("Modbus TCP, ids not echoed, TcpAnyId") << int(TcpTransmitter::Framing::ModbusTcp) << true;
    QTest::newRow("RTU over TCP") << int(TcpTransmitter::Framing::Rtu) << false;
    QTest::newRow("bad address refused in the dialog") << -1 << false;
}

void TstLink::linkOverTcp() {
    QFETCH(int, framing);
    QFETCH(bool, anyId);
    ScopedWorkDir dir;
    // A short poll period: the first reading need not wait for a quarter-second tick.
    const ScopedLineTiming timing(150, 50);
    QVERIFY(QDir().mkpath("Ini"));
    QFile ini("Ini/Config.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly) &&
            ini.write(anyId ? "[System]\nTcpAnyId=True\n" : "[System]\n") > 0);
    ini.close();
    TcpTransmitter sim;
    sim.setWrongTransactionId(anyId);
    sim.setFraming(framing < 0 ? TcpTransmitter::Framing::ModbusTcp : TcpTransmitter::Framing(framing));
    QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
    ModalWatcher watcher;
    bool stayed = false;
    const auto choose = chooseInDialog(framing < 0 ? "rtu+tcp://127.0.0.1" : sim.portString(), "9600");
    QString refusal;
    watcher.dialogHandler = [&](QDialog *d) {
        // The watcher does not look again while it is in here: the box over the dialog is closed here.
        QTimer::singleShot(50, [&refusal] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                refusal = box->text();
                box->close();
            }
        });
        choose(d);
        // Refused, the dialog stays open for the address to be mended.
        stayed = d->isVisible();
    };
    Widget w;
    w.show();
    WidgetUi *ui = WidgetTestAccess::ui(w);
    // No port remembered: the window asks for one at start-up.
    if (framing < 0) {
        QTRY_VERIFY(stayed);
        QVERIFY2(refusal.contains("serial server's port"), qPrintable(refusal));
        QVERIFY(!WidgetTestAccess::line(w));
        QCOMPARE(sim.connections(), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ui->lineEditAddress->text().isEmpty(), 3000);
    QCOMPARE(WidgetTestAccess::shared(w)->currentPortName, sim.portString());
    ui->groupBoxDevice->setEnabled(true);
    ui->comboBoxNum->setCurrentIndex(ui->comboBoxNum->findText(QStringLiteral("ALL")));
    const QString noReading = ui->labelTemperature->text();
    WidgetTestAccess::invoke(w, "PushButtonReadSlot");
    QTRY_VERIFY_WITH_TIMEOUT(ui->labelTemperature->text() != noReading, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(ui->pushButtonHeaterON->isEnabled(), 3000);
    ui->pushButtonHeaterON->click();
    QTRY_COMPARE_WITH_TIMEOUT(sim.model().registerValue(Reg::Heater), quint16(1), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(ui->pushButtonHeaterOFF->isEnabled(), 3000);
    QCOMPARE(sim.connections(), 1);
    if (framing != int(TcpTransmitter::Framing::Rtu)) {
        return;
    }
    // The server drops the connection while polling: said as a connection, not as a serial
    // port, and found again.
    const QString log = WidgetTestAccess::logFilePath(w);
    const auto said = [&](const QString &text) { return readLogLines(log).filter(text).size(); };
    sim.setDropAfter(0);
    QTRY_COMPARE_WITH_TIMEOUT(said("->Connection to " + sim.portString() + " closed: "), 1, 3000);
    sim.setDropAfter(-1);
    QTRY_COMPARE_WITH_TIMEOUT(said("->Connection to " + sim.portString() + " is back after "), 1, 5000);
    QCOMPARE(said("->Serial port"), 0);
}

#include "tst_link.moc"
