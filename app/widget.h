#ifndef ZR_APP_WIDGET_H
#define ZR_APP_WIDGET_H

#include <QString>
#include <QVector>
#include <QWidget>
#include <QtGlobal>

#include "device/reply_matching.h"
#include <memory>

#include "device/reply_parser.h"

#include <QElapsedTimer>

class QCloseEvent;
class QComboBox;
class QSerialPort;
class QTimer;
class QByteArray;
class SharedDataClass;
class LogWriter;
struct PortAccess;

namespace Ui {
class Widget;
}
using WidgetUi = Ui::Widget;

// The main window: owns the form, the one serial port, the five timers and the shared state.
// Its behaviour lives in the slots below; their definitions are spread over the folders of
// their subsystems (link/, device/, ui/).
class Widget : public QWidget {
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

protected:
    void closeEvent(QCloseEvent *event) override;

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

    // Message pane and log file (app/message_log.cpp). kind: 0 TX, 1 RX, other status.
    void appendMessage(const QString &text, int kind);
    // A status line that the user has to see: it goes to the pane as well as to the log.
    static constexpr int kNoticeLine = 3;
    // Says once a run, in the pane and the log, that Ini/Config.ini cannot be written and why.
    void reportConfigNotSaved();

    // Request side (link/transmit.cpp).
    quint16 deviceAddress() const;
    void readRegisters(quint16 start, quint16 count);
    void writeRegister(quint16 reg, quint16 value);
    // Block write of this device family to `address`; sets lastRegister only when asked.
    void writeBlock(quint8 address, quint16 start, const QVector<quint16> &values, bool setLastRegister);
    // Writes a finished frame in one write, clears responseReceived, logs the TX line and
    // remembers the request until its reply comes or its reply window passes.
    void sendFrame(const QByteArray &frame, bool fromUser = true);
    // Milliseconds on a monotonic clock, for the reply windows.
    qint64 lineNowMs() const;

    // Link control (link/link_control.cpp).
    void openLink();
    void startupLink();
    // Closes the port, stops live reading and a running search, reloads the search table.
    void resetLink();
    // Closes the port once when it reports that the line is gone, and logs why.
    void closePortOnLineError(int error);
    // Says in the pane and the log why `port` could not be opened (the group and the command for
    // a port without permission), once for a link however often the search tries it.
    void reportOpenFailure(const QString &port, const PortAccess &access);

    // Reply side (device/reply_handling.cpp).
    void showAddress();
    void showBaudRate();
    void showSerialNumber();
    void showDeviceInfo();
    void showUsbDeviceError();
    // A line flooded with 0x00 / 0xFF: stops a running search, closes the port, one box.
    void faultyAdapter();
    // Decodes one reply into the shared state and shows it.
    void applyReply(quint16 reg, const QByteArray &frame);
    // Selects the item of a fixed list that shows a reported value; a value the list does not
    // hold leaves no item selected and is logged, as received, in the pane and the log.
    void showListValue(QComboBox *box, int index, int value, const QString &notInList);

    // Live readings (device/live_readings.cpp).
    void showReadings(ReadingBlock block, ReadingSelection selection);
    QString formatReading(float min, float max, float value, quint8 decimals, bool percent) const;
    void showFirmwareVersion();
    void fillChannelList(int count);

    // Start state of the form (ui/ui_state.cpp).
    void UiStateInit();
    void setClockRowHidden(bool hidden);

    // Shown by every refused input: an information box titled "Error".
    void showError(const QString &text);

    friend class WidgetTestAccess;

    QSerialPort *serialPort = nullptr;
    QTimer *timerClear = nullptr;
    QTimer *timer1S = nullptr;
    QTimer *timerAutoBaud = nullptr;
    QTimer *timerDelay = nullptr;
    QTimer *timerTxData = nullptr;
    quint16 lastRegister = 0;
    WidgetUi *ui = nullptr;
    SharedDataClass *shared = nullptr;
    QString logFilePath;
    std::unique_ptr<LogWriter> logWriter;
    quint8 autoBaudPasses = 0;
    bool autoRead = false;
    int heaterCountdown = 0;
    // Requests on the line still waiting for their reply, and the clock of their windows.
    Rx::PendingRequests pendingRequests;
    QElapsedTimer lineClock;
    bool configNotSavedReported = false;
    bool closingOnLineError = false;
    // The port as the user named it when openLink opened it, and the failure last reported.
    QString linkPortName;
    QString openFailureSaid;
};

#endif
