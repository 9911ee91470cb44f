#include "tests/support/harness.h"

#include "core/modbus/line_port.h"
#include "core/modbus/modbus_frame.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QSettings>
#include <QTextStream>
#include <QThread>
#include <QWidget>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

bool WindowPort::isOpen() const {
    const ModbusLine *line = WidgetTestAccess::line(*window);
    return line && line->state() == ModbusLine::State::Open;
}

int WindowPort::baudRate() const {
    const ModbusLine *line = WidgetTestAccess::line(*window);
    return line ? line->rate() : 0;
}

QString WindowPort::portName() const {
    const ModbusLine *line = WidgetTestAccess::line(*window);
    const auto *port = line ? qobject_cast<QSerialPort *>(line->port().device()) : nullptr;
    return port ? port->portName() : QString();
}

QTimer *WidgetTestAccess::timerClear(Widget &w) {
    return line(w) ? line(w)->receptionGap().findChild<QTimer *>() : nullptr;
}

const Rx::PendingRequests &WidgetTestAccess::pendingRequests(Widget &w) {
    static const Rx::PendingRequests none;
    return line(w) ? line(w)->requests().onTheWire() : none;
}

void WidgetTestAccess::invoke(Widget &w, const char *slot) {
    const bool ok = QMetaObject::invokeMethod(&w, slot, Qt::DirectConnection);
    if (!ok) {
        qFatal("no slot %s", slot);
    }
}

ScopedEnv::ScopedEnv(const char *variable, const QByteArray &value)
    : name(variable), previous(qgetenv(variable)), wasSet(qEnvironmentVariableIsSet(variable)) {
    set(value);
}

ScopedEnv::~ScopedEnv() {
    if (wasSet) {
        qputenv(name.constData(), previous);
    } else {
        qunsetenv(name.constData());
    }
}

void ScopedEnv::set(const QByteArray &value) {
    qputenv(name.constData(), value);
}

void ScopedEnv::unset() {
    qunsetenv(name.constData());
}

ScopedWorkDir::ScopedWorkDir() : previous(QDir::currentPath()) {
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        qFatal("cannot enter a temporary working directory");
    }
}

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(previous);
}

void ScopedWorkDir::writeConfig(const QString &portName, const QString &programName) {
    QDir().mkpath(QStringLiteral("Ini"));
    QSettings settings(dir.path() + QStringLiteral("/Ini/Config.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("System/ProgramName"), programName);
    settings.setValue(QStringLiteral("System/PortName"), portName);
}

bool ScopedWorkDir::installCatalogue() {
    const QString source = qEnvironmentVariable("ZR_TEST_QM");
    QDir().mkpath(QStringLiteral("Qm"));
    QFile::remove(QStringLiteral("Qm/Chinese.qm"));
    return !source.isEmpty() && QFile::copy(source, QStringLiteral("Qm/Chinese.qm"));
}

ScopedLineTiming::ScopedLineTiming(int searchStepMs, int pollMs) : previous(LineTiming::current()) {
    LineTiming::current().searchStepMs = searchStepMs;
    LineTiming::current().pollMs = pollMs;
}

ScopedLineTiming::~ScopedLineTiming() {
    LineTiming::current() = previous;
}

ModalWatcher::ModalWatcher(QObject *parent) : QObject(parent) {
    // A modal window is looked at once it shows, from inside its own exec() (it cannot be closed
    // during its show event, before exec() runs its loop).
    shown.setSingleShot(true);
    connect(&shown, &QTimer::timeout, this, &ModalWatcher::poll);
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
    timer.start(200);
}

void ModalWatcher::stop() {
    stopped = true;
    timer.stop();
    shown.stop();
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool ModalWatcher::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show && !stopped && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->isWindow()) {
        shown.start(0);
    }
    return false;
}

void ModalWatcher::poll() {
    QWidget *modal = QApplication::activeModalWidget();
    // Not again while a handler runs: a box it opens over the dialog is its own to close.
    if (looking || !modal || !modal->isVisible()) {
        return;
    }
    const QScopedValueRollback<bool> busy(looking, true);
    SeenModal entry;
    entry.className = QString::fromLatin1(modal->metaObject()->className());
    entry.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        entry.text = box->text();
        seen.append(entry);
        QAbstractButton *button = box->defaultButton();
        if (!button && !box->buttons().isEmpty()) {
            button = box->buttons().first();
        }
        if (button) {
            button->click();
        } else {
            box->close();
        }
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        seen.append(entry);
        if (dialogHandler) {
            dialogHandler(dialog);
        }
        if (dialog->isVisible()) {
            dialog->reject();
        }
    } else {
        return;
    }
    emit modalClosed();
}

int ModalWatcher::count(const QString &className) const {
    int n = 0;
    for (const SeenModal &entry : seen) {
        n += entry.className == className ? 1 : 0;
    }
    return n;
}

int ModalWatcher::messageBoxes(const QString &text) const {
    int n = 0;
    for (const SeenModal &entry : seen) {
        n += (entry.className == QLatin1String("QMessageBox") && entry.text == text) ? 1 : 0;
    }
    return n;
}

bool ModalWatcher::waitForCount(int n, int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (seen.size() < n && elapsed.elapsed() < ms) {
        QEventLoop loop;
        connect(this, &ModalWatcher::modalClosed, &loop, &QEventLoop::quit);
        QTimer::singleShot(qMax<qint64>(1, ms - elapsed.elapsed()), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return seen.size() >= n;
}

std::function<void(QDialog *)> chooseInDialog(const QString &port, const QString &baud,
                                              const QString &parity) {
    return [port, baud, parity](QDialog *dialog) {
        auto *name = dialog->findChild<QComboBox *>(QStringLiteral("comboBoxName"));
        auto *rate = dialog->findChild<QComboBox *>(QStringLiteral("comboBoxBaud"));
        auto *par = dialog->findChild<QComboBox *>(QStringLiteral("comboBoxParity"));
        auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"));
        if (!name || !rate || !par || !ok) {
            return;
        }
        const int listed = name->findText(port);
        name->setCurrentIndex(listed);
        if (listed < 0 && name->isEditable()) {
            name->setEditText(port); // a network address is typed
        }
        rate->setCurrentIndex(rate->findText(baud));
        par->setCurrentIndex(par->findText(parity));
        ok->click();
    };
}

SimFixture::SimFixture(const TransmitterConfig &config)
    : sim(new PtyTransmitter(config)), extraPorts("ZRTOOL_EXTRA_PORTS", QByteArray()) {
    QString error;
    started = sim->start(&error);
    if (!started) {
        qWarning("simulated transmitter did not start: %s", qPrintable(error));
        return;
    }
    extraPorts.set(sim->slavePath().toLocal8Bit());
}

SimFixture::~SimFixture() = default;

bool waitUntil(const std::function<bool()> &condition, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() >= ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

bool ticksPass(Widget &w, int n, int ms) {
    int ticks = 0;
    const QMetaObject::Connection counting =
        QObject::connect(WidgetTestAccess::timer1S(w), &QTimer::timeout, [&ticks] { ++ticks; });
    const bool passed = waitUntil([&ticks, n] { return ticks >= n; }, ms);
    QObject::disconnect(counting);
    return passed;
}

LinkedWindow::LinkedWindow(const TransmitterConfig &config, const QString &linkPath, const QString &baud)
    : sim(config), extraPorts("ZRTOOL_EXTRA_PORTS", qgetenv("ZRTOOL_EXTRA_PORTS")) {
    if (!sim.ok() || (!linkPath.isEmpty() && !sim.transmitter().createSymlink(linkPath))) {
        return;
    }
    const QString port = linkPath.isEmpty() ? sim.port() : linkPath;
    extraPorts.set(port.toLocal8Bit());
    watcher.dialogHandler = chooseInDialog(port, baud);
    window = std::make_unique<Widget>();
    window->show();
    ui = WidgetTestAccess::ui(*window);
    log = WidgetTestAccess::logFilePath(*window);
    isLinked = waitUntil([this] { return !ui->lineEditAddress->text().isEmpty(); }, 3000);
}

PtyLine::PtyLine() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return;
    }
    const char *name = ptsname(master);
    if (name) {
        slave = QString::fromLocal8Bit(name);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

PtyLine::~PtyLine() {
    if (master >= 0) {
        ::close(master);
    }
}

bool PtyLine::attach(Widget &w) {
    // At the rate a port opens at by default; the line reads the slave side itself.
    // A test process that has just closed a pseudo-terminal of the same number may hold its lock
    // file a moment longer (the port is closed before its lock file goes): busy is asked again.
    for (int attempt = 0; !slave.isEmpty() && attempt < 100; ++attempt) {
        if (WidgetTestAccess::openPortAt(w, slave, 9600)) {
            return true;
        }
        const ModbusLine *line = WidgetTestAccess::line(w);
        const auto *port = line ? qobject_cast<const SerialLinePort *>(&line->port()) : nullptr;
        if (!port || port->access().kind != PortAccess::Busy) {
            qWarning("cannot open %s: %s", qPrintable(slave), port ? qPrintable(port->access().message) : "");
            return false;
        }
        QThread::msleep(10);
    }
    qWarning("cannot open %s: busy", qPrintable(slave));
    return false;
}

bool PtyLine::send(const QByteArray &bytes) {
    return ::write(master, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

QByteArray PtyLine::drain() {
    char chunk[512];
    ssize_t n;
    while ((n = ::read(master, chunk, sizeof chunk)) > 0) {
        written.append(chunk, static_cast<int>(n));
    }
    return written;
}

QStringList readLogLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray all = file.readAll();
    QStringList lines = QString::fromLocal8Bit(all).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QStringList loggedFrames(const QString &path, int kind) {
    const QString marker = kind == 0 ? QStringLiteral("->TX  ") : QStringLiteral("->RX  ");
    QStringList frames;
    for (const QString &line : readLogLines(path)) {
        const int at = line.indexOf(marker);
        if (at >= 0) {
            frames << line.mid(at + marker.size());
        }
    }
    return frames;
}

bool clickEnabled(QAbstractButton *button) {
    if (!button->isEnabled() || !button->isVisible()) {
        qWarning("%s cannot be clicked: %s", qPrintable(button->objectName()),
                 button->isEnabled() ? "hidden" : "disabled");
        return false;
    }
    button->click();
    return true;
}

TransmitterConfig unitAt(quint8 address, const char *serial) {
    TransmitterConfig config;
    config.address = address;
    config.baudRate = 19200;
    config.serialNumber = QByteArray::fromHex(serial);
    return config;
}
