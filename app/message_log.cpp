#include "app/clock.h"
#include "app/message_pane.h"
#include "app/widget.h"
#include "ui_widget.h"

#include <QFile>
#include <QTextStream>

void Widget::appendMessage(const QString &text, int kind) {
    const QString stamp = Clock::now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz"));
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
    Pane::trimOldestLines(ui->textBrowser->document());
}
