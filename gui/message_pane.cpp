#include "gui/message_pane.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

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
    // The kept lines, with their formats, go into the emptied document: removing text in place
    // leaves the document's own buffers at the size of everything it ever held, emptying it
    // lets them go.
    QTextCursor cursor(document);
    cursor.setPosition(document->findBlockByNumber(drop).position());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    const QTextDocumentFragment kept = cursor.selection();
    document->clear();
    QTextCursor(document).insertFragment(kept);
#ifdef __GLIBC__
    // The dropped lines leave the heap full of small holes that the allocator keeps for itself;
    // handing them back keeps a pane that runs for days at the size of the lines it shows.
    malloc_trim(0);
#endif
    return drop;
}
