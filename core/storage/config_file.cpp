#include "core/storage/config_file.h"

#include <QTextCodec>
#include <QVector>

namespace ConfigFile {
namespace {

// One line of the file: [start, textEnd) is its text, [textEnd, end) its line end.
struct Line {
    int start;
    int textEnd;
    int end;
};

QVector<Line> splitLines(const QByteArray &content) {
    QVector<Line> lines;
    int pos = content.startsWith("\xEF\xBB\xBF") ? 3 : 0; // a byte-order mark from an editor
    while (pos < content.size()) {
        int textEnd = pos;
        while (textEnd < content.size() && content.at(textEnd) != '\n' && content.at(textEnd) != '\r') {
            ++textEnd;
        }
        int end = textEnd;
        if (end < content.size() && content.at(end) == '\r') {
            ++end;
        }
        if (end < content.size() && content.at(end) == '\n') {
            ++end;
        }
        lines.append({pos, textEnd, end});
        pos = end;
    }
    return lines;
}

QByteArray trimmedSpaces(const QByteArray &text) {
    int from = 0;
    int to = text.size();
    while (from < to && (text.at(from) == ' ' || text.at(from) == '\t')) {
        ++from;
    }
    while (to > from && (text.at(to - 1) == ' ' || text.at(to - 1) == '\t')) {
        --to;
    }
    return text.mid(from, to - from);
}

// What one line says: a section header, a key with its raw value, or nothing.
struct Parsed {
    bool isSection = false;
    bool isKey = false;
    QByteArray name; // section or key
    QByteArray raw;  // value bytes, without the spaces around them
};

Parsed parseLine(const QByteArray &text) {
    Parsed parsed;
    const QByteArray line = trimmedSpaces(text);
    if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) {
        return parsed;
    }
    if (line.startsWith('[')) {
        const int close = line.lastIndexOf(']');
        if (close > 0) {
            parsed.isSection = true;
            parsed.name = trimmedSpaces(line.mid(1, close - 1));
        }
        return parsed;
    }
    const int equals = line.indexOf('=');
    if (equals <= 0) {
        return parsed;
    }
    parsed.isKey = true;
    parsed.name = trimmedSpaces(line.left(equals));
    parsed.raw = trimmedSpaces(line.mid(equals + 1));
    return parsed;
}

// Where a key sits in the file: its line, or the line after which it would be added.
struct Place {
    int keyLine = -1;    // the key's (last) line in the section
    int sectionEnd = -1; // last header or key line of the (last) section, -1: no section
    QByteArray raw;
};

Place locate(const QByteArray &content, const QVector<Line> &lines, const QByteArray &section,
             const QByteArray &key) {
    Place place;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const Parsed parsed = parseLine(content.mid(lines[i].start, lines[i].textEnd - lines[i].start));
        if (parsed.isSection) {
            inSection = parsed.name == section;
            if (inSection) {
                place.sectionEnd = i;
            }
        } else if (parsed.isKey && inSection) {
            place.sectionEnd = i;
            if (parsed.name == key) {
                place.keyLine = i;
                place.raw = parsed.raw;
            }
        }
    }
    return place;
}

QString textOf(const QByteArray &bytes) {
    QTextCodec *utf8 = QTextCodec::codecForMib(106);
    QTextCodec::ConverterState state;
    const QString text = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0) {
        // Not UTF-8: a file saved by hand in a Latin-1 editor, as earlier versions read it.
        return QString::fromLatin1(bytes);
    }
    return text;
}

int hexDigit(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

// The escapes QSettings writes; a backslash before anything else is kept as typed.
QString unescaped(const QString &text) {
    static const char simple[][2] = {{'a', '\a'},  {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                     {'r', '\r'},  {'t', '\t'}, {'v', '\v'}, {'"', '"'},
                                     {'\'', '\''}, {'?', '?'},  {'\\', '\\'}};
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(i + 1);
        bool done = false;
        for (const auto &pair : simple) {
            if (next == QLatin1Char(pair[0])) {
                out += QLatin1Char(pair[1]);
                ++i;
                done = true;
                break;
            }
        }
        if (done) {
            continue;
        }
        if (next == QLatin1Char('x') && i + 2 < text.size() && hexDigit(text.at(i + 2)) >= 0) {
            // \xHHHH: one UTF-16 unit, at most four digits.
            ushort unit = 0;
            int j = i + 2;
            while (j < text.size() && j < i + 6 && hexDigit(text.at(j)) >= 0) {
                unit = static_cast<ushort>(unit * 16 + hexDigit(text.at(j)));
                ++j;
            }
            out += QChar(unit);
            i = j - 1;
        } else if (next.unicode() >= '0' && next.unicode() <= '7') {
            ushort unit = 0;
            int j = i + 1;
            while (j < text.size() && j < i + 4 && text.at(j).unicode() >= '0' &&
                   text.at(j).unicode() <= '7') {
                unit = static_cast<ushort>(unit * 8 + (text.at(j).unicode() - '0'));
                ++j;
            }
            out += QChar(unit);
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

// "..." as QSettings writes it: every quote inside is escaped. A text such as "A" and "B" is a
// name typed with quotes in it and is kept whole.
bool isQuotedForm(const QString &text) {
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"')) || !text.endsWith(QLatin1Char('"'))) {
        return false;
    }
    int i = 1;
    while (i < text.size() - 1) {
        if (text.at(i) == QLatin1Char('"')) {
            return false;
        }
        i += text.at(i) == QLatin1Char('\\') ? 2 : 1;
    }
    // Past the end: the last quote was escaped by a backslash, so it closes nothing.
    return i == text.size() - 1;
}

QByteArray lineEndOf(const QByteArray &content) {
    return content.contains("\r\n") ? "\r\n" : "\n";
}

} // namespace

QString decodeValue(const QByteArray &raw) {
    QString text = textOf(raw);
    if (isQuotedForm(text)) {
        text = text.mid(1, text.size() - 2);
    }
    text = unescaped(text);
    if (text.startsWith(QLatin1String("@@"))) {
        text.remove(0, 1);
    }
    return text;
}

QByteArray encodeValue(const QString &value) {
    QString text;
    bool quote = value.startsWith(QLatin1Char(' ')) || value.startsWith(QLatin1Char('\t')) ||
                 value.endsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char('\t'));
    if (value.startsWith(QLatin1Char('@'))) {
        text += QLatin1Char('@');
    }
    for (const QChar c : value) {
        const ushort u = c.unicode();
        if (u == ',' || u == ';' || u == '=') {
            // Earlier versions read these as a list or a comment unless the value is quoted.
            quote = true;
        }
        if (u == '\\' || u == '"') {
            text += QLatin1Char('\\');
            text += c;
        } else if (u < 0x20 || u == 0x7F) {
            text += QStringLiteral("\\x%1").arg(u, 4, 16, QLatin1Char('0'));
        } else {
            text += c;
        }
    }
    if (quote) {
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text.toUtf8();
}

Theme themeFrom(const QString &value) {
    const QString name = value.trimmed().toLower();
    if (name == QLatin1String("light")) {
        return Theme::Light;
    }
    if (name == QLatin1String("dark")) {
        return Theme::Dark;
    }
    return Theme::System;
}

bool switchFrom(const QString &value) {
    return value.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

QString value(const QByteArray &content, const QByteArray &section, const QByteArray &key, bool *found) {
    const Place place = locate(content, splitLines(content), section, key);
    if (found) {
        *found = place.keyLine >= 0;
    }
    return place.keyLine >= 0 ? decodeValue(place.raw) : QString();
}

QByteArray withValue(const QByteArray &content, const QByteArray &section, const QByteArray &key,
                     const QString &value) {
    const QVector<Line> lines = splitLines(content);
    const Place place = locate(content, lines, section, key);
    const QByteArray eol = lineEndOf(content);
    const QByteArray keyLine = key + '=' + encodeValue(value);
    QByteArray result = content;
    if (place.keyLine >= 0) {
        if (decodeValue(place.raw) == value) {
            return content;
        }
        const Line &line = lines[place.keyLine];
        result.replace(line.start, line.textEnd - line.start, keyLine);
        return result;
    }
    if (place.sectionEnd >= 0) {
        const Line &after = lines[place.sectionEnd];
        // A last line without its line end gets one before the new key.
        const QByteArray insert = after.end == after.textEnd ? eol + keyLine : keyLine + eol;
        result.insert(after.end, insert);
        return result;
    }
    if (!result.isEmpty() && !result.endsWith('\n') && !result.endsWith('\r')) {
        result += eol;
    }
    if (!lines.isEmpty()) {
        result += eol; // a blank line between sections, as QSettings writes them
    }
    result += '[' + section + ']' + eol + keyLine + eol;
    return result;
}

} // namespace ConfigFile
