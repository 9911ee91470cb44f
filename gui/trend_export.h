#ifndef ZR_GUI_TREND_EXPORT_H
#define ZR_GUI_TREND_EXPORT_H

#include <QImage>
#include <QString>

#include <functional>

class QWidget;
class QwtPlot;

namespace Trend {
class TrendBuffer;
}

// Writing the trend out: its readings as CSV, its plot as a PNG picture headed by the unit and
// the span shown. Files are saved whole or not at all (QSaveFile).
namespace TrendExport {

// "Data/Trend-<yyyyMMddhhmmss>.<suffix>" under the working directory, by the tool's clock.
QString defaultPath(const QString &suffix);
// Creates the folder `path` goes in; false with the reason in `error`.
bool makeFolderFor(const QString &path, QString *error);
bool writeCsv(const Trend::TrendBuffer &history, const QString &path, QString *error);
bool writePng(const QImage &image, const QString &path, QString *error);

// The span of the time axis, "yyyy-MM-dd hh:mm:ss to hh:mm:ss, local time".
QString spanText(const QwtPlot *plot);
// `plot` as it is shown, rendered into an image of its size in device pixels on the colours and
// font of `window`; with a non-empty `heading`, the heading and the span shown above it.
QImage render(QwtPlot *plot, const QWidget *window, const QString &heading);

// Asks where to save (the default path offered, its folder made) and writes with `write`; a
// failure is said in a box.
void withDialog(QWidget *parent, const QString &title, const QString &suffix, const QString &filter,
                const std::function<bool(const QString &, QString *)> &write);

} // namespace TrendExport

#endif
