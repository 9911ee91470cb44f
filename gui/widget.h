#ifndef ZR_GUI_WIDGET_H
#define ZR_GUI_WIDGET_H

#include "core/device/line_timing.h"
#include "core/modbus/modbus_line.h"
#include "gui/device_view.h"
#include "gui/heater_clock_view.h"
#include "gui/message_log.h"
#include "gui/readings_view.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

class LineReply;
class QCloseEvent;
class SharedDataClass;
struct PortAccess;

namespace Ui {
class Widget;
}
using WidgetUi = Ui::Widget;

// The main window: owns the form, the line to the unit (a ModbusLine), the timers and the shared state.
// Its slots are defined in the gui/ file of their group (link_control.cpp, auto_baud.cpp,
// reply_handling.cpp, live_readings.cpp, identity_settings.cpp, output_settings.cpp,
// heater_clock.cpp); the message pane and log file are a MessageLog.
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
    // Request side (transmit.cpp).
    quint16 deviceAddress() const;
    void readRegisters(quint16 start, quint16 count);
    void writeRegister(quint16 reg, quint16 value);
    // Block write of this device family to `address`; sets lastRegister only when asked.
    void writeBlock(quint8 address, quint16 start, const QVector<quint16> &values, bool setLastRegister);
    // Hands a finished frame to the line; it goes out when the line is free. On a line that is not
    // open nothing is written, but the TX line still shows what was meant for it.
    void sendFrame(const QByteArray &frame, bool fromUser = true);
    // The outcome of a request: an answer is decoded and shown.
    void replyFinished(const LineReply &reply);
    // Every frame in wire order: TX (clears responseReceived), RX, and bytes discarded.
    void traceLine(const QByteArray &bytes, ModbusLine::Trace kind);
    bool lineOpen() const;
    // Milliseconds on a monotonic clock, for the reply windows.
    qint64 lineNowMs() const;
    // Link control (link_control.cpp, port_open.cpp).
    // Opens the port at a rate and reads the device information; says why and sends nothing
    // when it does not open.
    bool openLink();
    // Opens the line on the port at a rate, forgetting what was on its way; false when it did not open.
    bool openPortAt(const QString &name, int rate, PortAccess *access = nullptr);
    // A lost port is open again: the device information is read to see who came back.
    void portBack();
    // The device information came from a port found again: the same unit goes on, another
    // is named and not linked.
    void recoveredUnit();
    // Empties what the form shows of the unit last linked: readings to "---", values read from it.
    void clearUnitFields();
    void startupLink();
    // Closes the port, stops live reading and a running search, reloads the search table.
    void resetLink();
    // The line closed its port, which is gone: says why (`reason` untranslated) and waits for it.
    void closePortOnLineError(const QString &reason);
    // Why `port` could not be opened, naming it as given: the group and the command for a port
    // without permission, busy for a port another program holds.
    QString openFailureText(const QString &port, const PortAccess &access) const;

    // A baud rate the device confirmed (identity_settings.cpp): the port follows it and reads the
    // device information there; without an answer in time it goes back to the old rate once.
    void followNewRate(int rate);
    void newRateAnswered();
    void newRateUnanswered();
    // Reply side (reply_handling.cpp).
    void showDeviceInfo();
    void showUsbDeviceError();
    // A line flooded with 0x00 / 0xFF: stops a running search, closes the port, one box.
    void faultyAdapter();
    // Decodes one reply into the shared state and shows it.
    void applyReply(quint16 reg, const QByteArray &frame);
    // The pane's lines, the readings shown and the disabled pane in the palette's colours
    // (window_colours.cpp).
    void applyPaletteColours();
    // Start state of the form (ui_state.cpp).
    void UiStateInit();

    // Shown by every refused input: an information box titled "Error".
    void showError(const QString &text);

    friend class WidgetTestAccess;

    // The line on the port in use; made anew when another port is opened.
    ModbusLine *line = nullptr;
    QTimer *timer1S = nullptr;
    QTimer *timerAutoBaud = nullptr;
    QTimer *timerDelay = nullptr;
    QTimer *timerTxData = nullptr;
    quint16 lastRegister = 0;
    WidgetUi *ui = nullptr;
    SharedDataClass *shared = nullptr;
    std::unique_ptr<MessageLog> messages;
    quint8 autoBaudPasses = 0;
    bool autoRead = false;
    // The clock of the readings' age.
    QElapsedTimer lineClock;
    bool configNotSavedReported = false;
    // The search step and the poll period, as they were when the window was made.
    LineTiming timing = LineTiming::current();
    // A port lost while linked, looked for by the line until it is back or Link is pressed.
    struct LostPort {
        QString name;
        QString serial;
        qint64 since = 0;
        bool recovering = false; // opened again, the device information asked for
    } lostPort;
    // The live readings: labels, stale greying, the readings file and the trend.
    std::unique_ptr<ReadingsView> readings;
    // The unit's identity and settings as the form shows them.
    std::unique_ptr<DeviceView> device;
    // The heater buttons and the clock and heating schedule row.
    std::unique_ptr<HeaterClockView> heaterClock;
    // The rates of a baud-rate change being followed, while its answer is awaited.
    struct RateChange {
        int from = 0;
        int to = 0;
    } rateChange;
    QTimer rateChangeWait;
};

#endif
