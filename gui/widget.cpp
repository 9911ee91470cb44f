#include "gui/widget.h"
#include "gui/trend_window.h"

#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/device/shared_data.h"
#include "core/storage/log_file.h"
#include "gui/colours.h"
#include "gui/error_box.h"
#include "gui/message_log.h"
#include "gui/message_pane.h"
#include "gui/version_text.h"
#include "ui_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QTextDocument>
#include <QTimer>

Widget::Widget(QWidget *parent) : QWidget(parent) {
    ui = new WidgetUi;
    ui->setupUi(this);
    messages = std::make_unique<MessageLog>(ui->textBrowser);
    heaterClock = std::make_unique<HeaterClockView>(ui, *messages);
    // A tool left polling for days would otherwise grow the pane without bound; appendMessage
    // trims the oldest lines in large chunks (the log file keeps every line). No undo history
    // is kept of what the pane drops.
    ui->textBrowser->document()->setUndoRedoEnabled(false);
    Pane::keepLargeBlocksApart();

    QDir().mkdir(QStringLiteral("Data"));

    lineClock.start();
    shared = new SharedDataClass(this);
    shared->readConfig();
    QLabel *const labels[] = {ui->labelTemperature, ui->labelHumidity, ui->labelDewTemp};
    device = std::make_unique<DeviceView>(ui, *shared, *messages);
    readings = std::make_unique<ReadingsView>(
        this, labels, *shared, *messages, [this] { return lineNowMs(); }, timing.pollMs);
    Colours::applyTheme(shared->theme);
    applyPaletteColours();
    // The parts, each made on those it uses; the line's events reach the parts above it through
    // its hooks.
    LineLink::Hooks hooks;
    hooks.askDeviceInfo = [this] { requests->readDeviceInfo(); };
    hooks.flooded = [this] { linkControl->flooded(); };
    hooks.otherUnit = [this] {
        linkControl->reset();
        clearUnitFields();
    };
    hooks.polling = [this] { return live->on(); };
    link = std::make_unique<LineLink>(
        this, *shared, *messages, *readings, timing, [this] { return lineNowMs(); }, std::move(hooks));
    requests = std::make_unique<RequestSender>(this, ui, *shared, *link,
                                               [this](const LineReply &reply) { replies->finished(reply); });
    replies =
        std::make_unique<ReplyHandler>(this, *shared, *requests, *link, *readings, *device, *heaterClock);
    settings = std::make_unique<SettingsWrites>(this, ui, *shared, *requests);
    live = std::make_unique<LivePolling>(this, ui, *messages, *link, *requests, *readings);
    linkControl = std::make_unique<LinkControl>(this, ui, *shared, *messages, *link, *requests, *readings,
                                                *live, timing);
    timer1S = new QTimer(this);
    timerDelay = new QTimer(this);
    timerTxData = new QTimer(this);
    timerTxData->start(200);
    timer1S->setTimerType(Qt::PreciseTimer);
    timer1S->start(timing.pollMs);

    UiStateInit();

    connect(ui->pushButtonLink, &QPushButton::clicked, this, &Widget::PushButtonLinkSlot);
    connect(ui->pushButtonClose, &QPushButton::clicked, this, &Widget::PushButtonCloseSlot);
    connect(ui->pushButtonReadInfo, &QPushButton::clicked, this, &Widget::PushButtonReadInfoSlot);
    connect(ui->pushButtonRead, &QPushButton::clicked, this, &Widget::PushButtonReadSlot);
    connect(ui->pushButtonAddress, &QPushButton::clicked, this, &Widget::PushButtonAddressSlot);
    connect(ui->pushButtonBaudRate, &QPushButton::clicked, this, &Widget::PushButtonBaudRateSlot);
    connect(ui->pushButtonAddressRead, &QPushButton::clicked, this, &Widget::PushButtonAddressReadSlot);
    connect(ui->pushButtonReadSN, &QPushButton::clicked, this, &Widget::PushButtonReadSNSlot);
    connect(ui->pushButtonAUTO, &QPushButton::clicked, this, &Widget::PushButtonAUTOSetupSlot);
    connect(ui->pushButtonMANU, &QPushButton::clicked, this, &Widget::PushButtonMANUSetupSlot);
    connect(ui->pushButtonTempRange, &QPushButton::clicked, this, &Widget::PushButtonTempRangeSlot);
    connect(ui->pushButtonHeaterON, &QPushButton::clicked, this, &Widget::PushButtonHeaterONSlot);
    connect(ui->pushButtonHeaterOFF, &QPushButton::clicked, this, &Widget::PushButtonHeaterOFFSlot);
    connect(ui->pushButtonOutputData, &QPushButton::clicked, this, &Widget::PushButtonOutputSlot);
    connect(ui->pushButtonDeviceTime, &QPushButton::clicked, this, &Widget::PushButtonDeviceTimeSlot);
    connect(ui->pushButtonHeaterTime, &QPushButton::clicked, this, &Widget::PushButtonHeaterTimeSlot);
    connect(ui->checkBoxSystemTime, &QCheckBox::stateChanged, this, &Widget::CheckBoxSystemTimeSlot);
    connect(timer1S, &QTimer::timeout, this, &Widget::Timer1SSlot);
    connect(timerTxData, &QTimer::timeout, this, &Widget::TimerTxDataSlot);
    connect(linkControl->searchTimer(), &QTimer::timeout, this, &Widget::AUTOUartInit);
    connect(timerDelay, &QTimer::timeout, this, &Widget::TimerDelaySlot);
    connect(ui->pushButtonTrend, &QPushButton::clicked, this, [this] { readings->showTrend(); });

    live->on() = true;
    // Made here and now, so a second run started within the same second gets a file of its own.
    const QDateTime runStart = Clock::now();
    messages->path() = createLogFile(QDir::currentPath() + QStringLiteral("/Data"), runStart);
    readings->setRunStart(runStart);
    appendMessage(tr("Application start!"), 2);
    // The configuration was read before the log existed: a failed first write is said now.
    if (!shared->configSaveError.isEmpty()) {
        reportConfigNotSaved();
    }
    connect(shared, &SharedDataClass::configNotSaved, this, &Widget::reportConfigNotSaved);
    setWindowTitle(shared->programName + QStringLiteral("  ") + versionText());

    linkControl->startup();
}

// Turns the freshly built form into the window the user first sees (the parts set their own
// widgets when they are made). It runs before the signal connections are made, so changing
// states here triggers no slot.
void Widget::UiStateInit() {
    // The wet-bulb reading is not reported by any model of the family.
    ui->labelWetBulbTemp->setHidden(true);
    // The serial-number writes stay behind hidden buttons.
    ui->pushButtonAUTO->setHidden(true);
    ui->pushButtonMANU->setHidden(true);
    // Nothing but "Link" and "Close" is usable until a device has answered.
    ui->groupBoxDevice->setEnabled(false);
    ui->groupBoxRTD->setEnabled(false);
    ui->groupBoxMessage->setEnabled(false);
}

Widget::~Widget() {
    // The line goes first, while the parts it reports to are still there; what it still holds
    // is not logged.
    link.reset();
    delete ui;
}

void Widget::closeEvent(QCloseEvent *event) {
    // The trend goes with the window, so the program ends as before.
    if (TrendWindow *trend = readings->trendIfMade()) {
        trend->close();
    }
    appendMessage(tr("Application close!"), 2);
    event->accept();
}

QString Widget::versionText() const {
    return versionTextFrom(QStringLiteral(__DATE__), QStringLiteral(__TIME__));
}

void Widget::appendMessage(const QString &text, int kind) {
    messages->append(text, kind);
}

void Widget::showError(const QString &text) {
    ErrorBox::show(this, text);
}

void Widget::reportConfigNotSaved() {
    if (configNotSavedReported) {
        return;
    }
    configNotSavedReported = true;
    appendMessage(
        tr("Settings cannot be saved to %1: %2")
            .arg(QDir::toNativeSeparators(SharedDataClass::configFilePath()), shared->configSaveError),
        kNoticeLine);
}

void Widget::clearUnitFields() {
    // Readings and the values read from a unit (output data, clock, heating schedule) belong to
    // it: none of them stays beside another unit's identity.
    readings->clear();
    device->clear();
    heaterClock->clear();
}

qint64 Widget::lineNowMs() const {
    return lineClock.elapsed();
}
