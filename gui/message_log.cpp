#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/storage/log_file.h"
#include "gui/message_pane.h"
#include "gui/widget.h"
#include "ui_widget.h"

void Widget::appendMessage(const QString &text, int kind) {
    const QDateTime now = Clock::now();
    const QString stamp = MachineText::logStamp(now);
    const QString line =
        logLine(now, kind == 0 ? LogKind::Tx : (kind == 1 ? LogKind::Rx : LogKind::Status), text);
    QString paneText;
    if (kind == 0) {
        paneText = QStringLiteral("<font color=red>") + line + QStringLiteral("</font>");
    } else if (kind == 1) {
        paneText = QStringLiteral("<font color=green>") + line + QStringLiteral("</font>");
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

    ui->textBrowser->append(paneText);
    Pane::trimOldestLines(ui->textBrowser->document());
}
