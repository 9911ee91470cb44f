#include "gui/message_pane.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int Pane::trimOldestLines(QTextDocument *document, int most, int fewest) {
    if (!document || most < 1) {
        return 0;
    }
    if (fewest < 1 || fewest > most) {
        fewest = most;
    }
    const int lines = document->blockCount();
    if (lines <= most) {
        return 0;
    }
    const int drop = lines - fewest;
    // From the start of the first line to the start of the first line kept: the removed text
    // takes its paragraph separators along, and the kept lines keep their own formats.
    QTextCursor cursor(document);
    cursor.setPosition(0);
    cursor.setPosition(document->findBlockByNumber(drop).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
#ifdef __GLIBC__
    // The dropped lines leave the heap full of small holes that the allocator keeps for itself;
    // handing them back keeps a pane that runs for days at the size of the lines it shows.
    malloc_trim(0);
#endif
    return drop;
}

void Pane::keepLargeBlocksApart() {
#ifdef __GLIBC__
    // The allocator's own starting bound, now fixed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void Pane::markLastLine(QTextDocument *document, int kind) {
    document->lastBlock().setUserState(kind);
}

void Pane::recolour(QTextDocument *document, const QHash<int, QColor> &colours) {
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const auto found = colours.constFind(block.userState());
        // Lines already in the colour (a palette change that left it as it was) are not edited.
        if (found == colours.constEnd() || block.length() <= 1 ||
            block.begin().fragment().charFormat().foreground().color() == *found) {
            continue;
        }
        QTextCharFormat format;
        format.setForeground(*found);
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(format);
    }
    cursor.endEditBlock();
}
