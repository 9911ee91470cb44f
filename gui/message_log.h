#ifndef ZR_GUI_MESSAGE_LOG_H
#define ZR_GUI_MESSAGE_LOG_H

#include <QString>

#include <memory>

class LogWriter;
class QTextBrowser;

// The message pane and the run's log file, written together: every frame (TX red, RX green) and
// status line goes to the file whole or not at all; frames and notices are shown in the pane too,
// which keeps the newest lines of a long run (Pane::trimOldestLines).
class MessageLog {
public:
    // The line kinds; the window's appendMessage takes them as numbers.
    enum Kind { Tx = 0, Rx = 1, Status = 2, Notice = 3 };

    explicit MessageLog(QTextBrowser *pane);
    ~MessageLog();
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    // Status lines go to the file only; a Notice is a status line the user has to see.
    void append(const QString &text, int kind);
    // The log file in use (made by the window at start); a test may point it elsewhere.
    QString &path() { return filePath; }

private:
    QTextBrowser *pane;
    QString filePath;
    std::unique_ptr<LogWriter> writer;
};

#endif
