#ifndef ZR_GUI_TREND_INTERACTION_H
#define ZR_GUI_TREND_INTERACTION_H

#include "core/device/trend_buffer.h"

#include <QObject>

class QwtPlot;

namespace TrendParts {

class Zoomer;

// The user's hold on the trend's view: a rubber band zooms to exactly its time span and values
// (right button one zoom back, Ctrl + right button back to the start), the middle button pans,
// the wheel zooms the time axis, and the tracker shows the readings under the cursor.
class Interaction : public QObject {
    Q_OBJECT

public:
    // On the canvas of `plot`; the tracker reads `history`.
    Interaction(QwtPlot *plot, const Trend::TrendBuffer &history, QObject *parent = nullptr);

    // Forgets the zooms: the next one starts from the view as it is then.
    void forgetZooms();

signals:
    // The user zoomed, panned or turned the wheel.
    void moved();

private:
    Zoomer *zoomer = nullptr;
};

} // namespace TrendParts

#endif
