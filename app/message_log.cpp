#include "app/clock.h"
#include "app/machine_text.h"
#include "app/widget.h"
#include "ui_widget.h"

#include <QFile>
#include <QTextStream>

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

    // Opened and closed for every line, so the log is complete on disk after each call.
    QFile file(logFilePath);
    if (file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        QTextStream stream(&file);
        stream << line << '\n';
        stream.flush();
        file.close();
    }

    ui->textBrowser->append(paneText);
}
