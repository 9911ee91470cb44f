#ifndef ZR_GUI_MESSAGE_PANE_H
#define ZR_GUI_MESSAGE_PANE_H

#include <QColor>
#include <QHash>

class QTextDocument;

// The message pane keeps only the newest lines of a long run (the log file keeps them all).
// Dropping the oldest line at every append makes the rich-text layout go over the whole
// document for each new line; dropping a large chunk at once pays that cost once per chunk.
namespace Pane {
// The pane holds at most this many lines,
constexpr int MostLines = 100000;
// and after a trim this many, the newest ones.
constexpr int LinesAfterTrim = 90000;

// When `document` holds more than `most` lines (blocks), removes its oldest lines in one edit so
// that `fewest` remain; returns the number removed (0 when nothing was to do). `fewest` below 1
// or above `most` is taken as `most`.
int trimOldestLines(QTextDocument *document, int most = MostLines, int fewest = LinesAfterTrim);

// The allocator hands large blocks (128 KiB and more: the document's text and tables, the
// layouts, the trend's history) back to the system when they are freed. Left to itself it
// raises that bound after every such block freed, and the pane's buffers, reallocated as they
// grow and shrink with the trims, then come from the heap and leave holes in it that it keeps:
// a pane that runs for days would then grow by the size of those holes. Process-wide; called
// when the window is made.
void keepLargeBlocksApart();

// A line keeps its kind (the block's user state), so its colour can follow the palette: marks
// the newest line as of `kind` (0 or more),
void markLastLine(QTextDocument *document, int kind);
// and gives every line of a kind in `colours` that colour, in one edit. Unmarked lines keep the
// palette's text colour.
void recolour(QTextDocument *document, const QHash<int, QColor> &colours);
} // namespace Pane

#endif
