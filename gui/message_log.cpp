#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/storage/log_file.h"
#include "gui/colours.h"
#include "gui/message_pane.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QScrollBar>
#include <QSignalBlocker>

void Widget::appendMessage(const QString &text, int kind) {
    const QDateTime now = Clock::now();
    const QString stamp = MachineText::logStamp(now);
    const QString line =
        logLine(now, kind == 0 ? LogKind::Tx : (kind == 1 ? LogKind::Rx : LogKind::Status), text);
    QString paneText;
    if (kind == 0 || kind == 1) {
        const QString colour =
            Colours::htmlName(kind == 0 ? Colours::Role::Tx : Colours::Role::Rx, ui->textBrowser->palette());
        paneText =
            QStringLiteral("<font color=") + colour + QStringLiteral(">") + line + QStringLiteral("</font>");
    } else {
        if (kind == kNoticeLine) {
            paneText = QStringLiteral("<span>") + line.toHtmlEscaped() + QStringLiteral("</span>");
        }
    }

    // Each line reaches the file whole or not at all; after lines were lost (a full disk), the
    // next line written is preceded by a note of how many.
    const int lostBefore = logWriter->lostLines();
    const QString lostNote =
        lostBefore > 0 ? stamp + QStringLiteral("->") +
                             tr("%1 log line(s) lost: the log file could not be written").arg(lostBefore)
                       : QString();
    if (!logWriter->append(logFilePath, line, lostNote) && lostBefore == 0) {
        // Said once when writing stops, not for every line lost after that.
        ui->textBrowser->append(QStringLiteral("<b>") +
                                tr("The log file cannot be written: %1").arg(logFilePath).toHtmlEscaped() +
                                QStringLiteral("</b>"));
    }

    {
        // Every line that grows the document changes the scroll bar's range, and the scroll area
        // answers each change with a queued call. While the pane is not shown there is nothing to
        // scroll, and lines appended with no turn of the event loop in between (a hidden window
        // filled at once) would otherwise pile up one such call a line.
        const QSignalBlocker quiet(ui->textBrowser->isVisible() ? nullptr
                                                                : ui->textBrowser->verticalScrollBar());
        ui->textBrowser->append(paneText);
    }
    if (kind == 0 || kind == 1) {
        Pane::markLastLine(ui->textBrowser->document(), kind);
    }
    Pane::trimOldestLines(ui->textBrowser->document());
}
