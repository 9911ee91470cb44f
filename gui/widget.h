#ifndef ZR_GUI_WIDGET_H
#define ZR_GUI_WIDGET_H

#include "core/device/line_timing.h"
#include "gui/device_view.h"
#include "gui/heater_clock_view.h"
#include "gui/line_link.h"
#include "gui/link_control.h"
#include "gui/live_polling.h"
#include "gui/message_log.h"
#include "gui/readings_view.h"
#include "gui/reply_handler.h"
#include "gui/request_sender.h"
#include "gui/settings_writes.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class QCloseEvent;
class SharedDataClass;

namespace Ui {
class Widget;
}
using WidgetUi = Ui::Widget;

// The main window: owns the form, the shared state, the timers and the parts that do the work, one
// a concern: the line (LineLink), the link and the search (LinkControl), the requests
// (RequestSender), the answers (ReplyHandler), the settings written (SettingsWrites), the readings
// (ReadingsView), the identity fields (DeviceView), the heater and clock (HeaterClockView), the
// pane and log (MessageLog), live reading (LivePolling). Its slots (widget_slots.cpp) hand each
// event to its part.
class Widget : public QWidget {
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    // A new palette (the desktop changed its theme) recolours the pane and the readings.
    void changeEvent(QEvent *event) override;

private slots:
    void PushButtonLinkSlot();
    void PushButtonAddressSlot();
    void PushButtonBaudRateSlot();
    void PushButtonAddressReadSlot();
    void my_readuart();
    void PushButtonReadSlot();
    void ReadHumitureOrder();
    void PushButtonReadSNSlot();
    void PushButtonAUTOSetupSlot();
    void PushButtonMANUSetupSlot();
    void PushButtonTempRangeSlot();
    void PushButtonHumiditySimpleSlot();
    void PushButtonHumidityOffsetSlot();
    void PushButtonCapClearSlot();
    void PushButtonTemperatureSimpleSlot();
    void PushButtonTemperatureOffsetSlot();
    void PushButtonResClearSlot();
    void PushButtonCalibrationResetSlot();
    void PushButtonCapacitorSlot();
    void PushButtonCalibrationReadSlot();
    void PushButtonOutputReadSlot();
    void PushButtonHeaterONSlot();
    void PushButtonHeaterOFFSlot();
    void PushButtonUnitSlot();
    void PushButtonCalibrationApplySlot();
    void PushButtonOutputSlot();
    void PushButtonCalculateSlot();
    void PushButtonOutputApplySlot();
    void AUTOUartInit();
    void PushButtonCloseSlot();
    void PushButtonLoadFileSlot();
    void PushButtonSaveFileSlot();
    void TimerDelaySlot();
    void TimerClearSlot();
    void Timer1SSlot();
    void TimerTxDataSlot();
    void PushButtonReadInfoSlot();
    void CheckBoxSystemTimeSlot(int state);
    void PushButtonDeviceTimeSlot();
    void PushButtonHeaterTimeSlot();

private:
    // Window title version, " V" + build date and time.
    QString versionText() const;
    // Message pane and log file (MessageLog). kind: 0 TX, 1 RX, other status.
    void appendMessage(const QString &text, int kind);
    // A status line that the user has to see: it goes to the pane as well as to the log.
    static constexpr int kNoticeLine = MessageLog::Notice;
    // Says once a run, in the pane and the log, that Ini/Config.ini cannot be written and why.
    void reportConfigNotSaved();
    // Milliseconds on a monotonic clock, for the readings' age and a lost port's gap.
    qint64 lineNowMs() const;
    // Empties what the form shows of the unit last linked: readings to "---", values read from it.
    void clearUnitFields();
    // The pane's lines, the readings shown and the disabled pane in the palette's colours
    // (window_colours.cpp).
    void applyPaletteColours();
    // Start state of the form, beside what the parts set when they are made.
    void UiStateInit();

    // Shown by every refused input: an information box titled "Error".
    void showError(const QString &text);

    friend class WidgetTestAccess;

    QTimer *timer1S = nullptr;
    QTimer *timerDelay = nullptr;
    QTimer *timerTxData = nullptr;
    WidgetUi *ui = nullptr;
    SharedDataClass *shared = nullptr;
    std::unique_ptr<MessageLog> messages;
    // The clock of the readings' age.
    QElapsedTimer lineClock;
    bool configNotSavedReported = false;
    // The search step and the poll period, as they were when the window was made.
    LineTiming timing = LineTiming::current();
    // The live readings: labels, stale greying, the readings file and the trend.
    std::unique_ptr<ReadingsView> readings;
    // The unit's identity and settings as the form shows them.
    std::unique_ptr<DeviceView> device;
    // The heater buttons and the clock and heating schedule row.
    std::unique_ptr<HeaterClockView> heaterClock;
    // The line to the unit: opened, traced, lost and found, moved to a new rate.
    std::unique_ptr<LineLink> link;
    // The requests to the unit, and the decoding of its answers.
    std::unique_ptr<RequestSender> requests;
    std::unique_ptr<ReplyHandler> replies;
    // The settings entered in the form, refused or written.
    std::unique_ptr<SettingsWrites> settings;
    // Live reading on and off, and its poll.
    std::unique_ptr<LivePolling> live;
    // The Link button, the start-up link and the baud-rate search.
    std::unique_ptr<LinkControl> linkControl;
};

#endif
