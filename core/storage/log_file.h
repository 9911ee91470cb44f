#ifndef ZR_CORE_STORAGE_LOG_FILE_H
#define ZR_CORE_STORAGE_LOG_FILE_H

#include <QDateTime>
#include <QString>
#include <QtGlobal>

class QFile;

// Creates this run's log file in `dataDir`, exclusively, so that no two runs ever share one:
// Log-<yyyyMMddhhmmss>.txt from `start`, or Log-<yyyyMMddhhmmss>-2.txt, -3 and so on when a run
// started in the same second already holds that name. Returns the file's path. When no file can
// be made there (no Data directory, no room) it returns the plain name, which the log writer
// then reports as unwritable.
QString createLogFile(const QString &dataDir, const QDateTime &start);
// The same for another file of the run: <prefix>-<yyyyMMddhhmmss><suffix>, then -2, -3...
QString createRunFile(const QString &dataDir, const QString &prefix, const QString &suffix,
                      const QDateTime &start);

// Kinds of log line: a frame sent, a frame (or bytes) received, and a status line.
enum class LogKind { Tx, Rx, Status };
// One log line without its line feed: "yyyy-MM-dd hh:mm:ss:zzz->TX  0103...", "...->RX  ...",
// or "...->" and the status text; the stamp in C-locale digits.
QString logLine(const QDateTime &when, LogKind kind, const QString &text);

// Appends lines to a log file, each one whole or not at all, and keeps count of the lines lost
// while the file could not be written (a full disk, a vanished directory).
class LogWriter {
public:
    virtual ~LogWriter() = default;

    // Appends `line` and its line feed to the file at `path` in a single write, opening and
    // closing the file around it so the log is complete on disk after every line. At the first
    // line and after lost lines, the same write first starts a new line if the file does not end
    // with one; after lost lines it then carries `lostNote` (the caller's one-line note of
    // lostLines()). A write that falls short is cut back to where the file ended. Returns false
    // when the line was not written.
    bool append(const QString &path, const QString &line, const QString &lostNote = QString());
    // Lines lost since the last line written, and why the last one was.
    int lostLines() const { return lost; }
    QString lastError() const { return error; }

protected:
    // The file operations a full disk makes fail; a test replaces them. writeBytes returns the
    // number of bytes written (-1 when none), cutBack shortens the file to `size` bytes.
    virtual qint64 writeBytes(QFile &file, const QByteArray &bytes);
    virtual bool cutBack(QFile &file, qint64 size);

private:
    int lost = 0;
    QString error;
    // Set after a failed write, which may have left part of a line behind, and at first: a file
    // appended to may end with a line cut short by an earlier run.
    bool checkLineStart = true;
};

#endif
