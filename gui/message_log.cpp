#include "gui/message_log.h"

#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/storage/log_file.h"
#include "gui/colours.h"
#include "gui/message_pane.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBrowser>

MessageLog::MessageLog(QTextBrowser *pane) : pane(pane), writer(new LogWriter) {}

MessageLog::~MessageLog() = default;

void MessageLog::append(const QString &text, int kind) {
    const QDateTime now = Clock::now();
    const QString stamp = MachineText::logStamp(now);
    const QString line =
        logLine(now, kind == Tx ? LogKind::Tx : (kind == Rx ? LogKind::Rx : LogKind::Status), text);
    QString paneText;
    if (kind == Tx || kind == Rx) {
        const QString colour =
            Colours::htmlName(kind == Tx ? Colours::Role::Tx : Colours::Role::Rx, pane->palette());
        paneText =
            QStringLiteral("<font color=") + colour + QStringLiteral(">") + line + QStringLiteral("</font>");
    } else if (kind == Notice) {
        paneText = QStringLiteral("<span>") + line.toHtmlEscaped() + QStringLiteral("</span>");
    }

    // Each line reaches the file whole or not at all; after lines were lost (a full disk), the
    // next line written is preceded by a note of how many.
    const int lostBefore = writer->lostLines();
    const QString lostNote = lostBefore > 0
                                 ? stamp + QStringLiteral("->") +
                                       QCoreApplication::translate(
                                           "Widget", "%1 log line(s) lost: the log file could not be written")
                                           .arg(lostBefore)
                                 : QString();
    if (!writer->append(filePath, line, lostNote) && lostBefore == 0) {
        // Said once when writing stops, not for every line lost after that.
        pane->append(QStringLiteral("<b>") +
                     QCoreApplication::translate("Widget", "The log file cannot be written: %1")
                         .arg(filePath)
                         .toHtmlEscaped() +
                     QStringLiteral("</b>"));
    }

    {
        // Every line that grows the document changes the scroll bar's range, and the scroll area
        // answers each change with a queued call. While the pane is not shown there is nothing to
        // scroll, and lines appended with no turn of the event loop in between (a hidden window
        // filled at once) would otherwise pile up one such call a line.
        const QSignalBlocker quiet(pane->isVisible() ? nullptr : pane->verticalScrollBar());
        pane->append(paneText);
    }
    if (kind == Tx || kind == Rx) {
        Pane::markLastLine(pane->document(), kind);
    }
    Pane::trimOldestLines(pane->document());
}
