#include "app/clock.h"
#include "app/machine_text.h"
#include "app/log_file.h"
#include "app/message_pane.h"
#include "app/widget.h"
#include "ui_widget.h"

void Widget::appendMessage(const QString &text, int kind) {
    const QString stamp = MachineText::logStamp(Clock::now());
    QString line;
    QString paneText;
    if (kind == 0) {
        line = stamp + QStringLiteral("->TX  ") + text;
        paneText = QStringLiteral("<font color=red>") + line + QStringLiteral("</font>");
    } else if (kind == 1) {
        line = stamp + QStringLiteral("->RX  ") + text;
        paneText = QStringLiteral("<font color=green>") + line + QStringLiteral("</font>");
    } else {
        line = stamp + QStringLiteral("->") + text;
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
