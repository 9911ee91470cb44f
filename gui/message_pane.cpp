#include "gui/message_pane.h"

#include <QTextBlock>
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
