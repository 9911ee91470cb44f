#include "gui/trend_export.h"

#include "core/base/clock.h"
#include "core/base/machine_text.h"
#include "core/device/trend_buffer.h"
#include <QCoreApplication>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>

#include <qwt_date.h>
#include <qwt_plot.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_div.h>

namespace TrendExport {

QString defaultPath(const QString &suffix) {
    return QDir::current().absoluteFilePath(
        QStringLiteral("Data/Trend-") + MachineText::logFileStamp(Clock::now()) + QLatin1Char('.') + suffix);
}

bool makeFolderFor(const QString &path, QString *error) {
    const QDir folder = QFileInfo(path).absoluteDir();
    if (folder.exists() || QDir().mkpath(folder.path())) {
        return true;
    }
    if (error) {
        *error = QCoreApplication::translate("TrendWindow", "cannot create the folder %1")
                     .arg(QDir::toNativeSeparators(folder.path()));
    }
    return false;
}

bool writeCsv(const Trend::TrendBuffer &history, const QString &path, QString *error) {
    if (!makeFolderFor(path, error)) {
        return false;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray text = history.csv();
        if (file.write(text) == text.size() && file.commit()) {
            return true;
        }
    }
    if (error) {
        *error = file.errorString();
    }
    return false;
}

bool writePng(const QImage &image, const QString &path, QString *error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit()) {
        return true;
    }
    if (error) {
        *error = file.errorString();
    }
    return false;
}

QString spanText(const QwtPlot *plot) {
    const QwtInterval shown = plot->axisScaleDiv(QwtPlot::xBottom).interval().normalized();
    const QDateTime from = QwtDate::toDateTime(shown.minValue(), Qt::LocalTime);
    const QDateTime to = QwtDate::toDateTime(shown.maxValue(), Qt::LocalTime);
    const QString full = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return QCoreApplication::translate("TrendWindow", "%1 to %2, local time")
        .arg(from.toString(full), to.toString(from.date() == to.date() ? QStringLiteral("hh:mm:ss") : full));
}

QImage render(QwtPlot *plot, const QWidget *window, const QString &heading) {
    // Laid out as on the screen and drawn at the screen's device pixel ratio: the renderer
    // scales by the image's resolution against the plot's.
    const qreal ratio = plot->devicePixelRatioF();
    QImage image(plot->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    const auto dotsPerMeter = [ratio](int dpi) { return qRound(dpi * ratio / 0.0254); };
    image.setDotsPerMeterX(dotsPerMeter(plot->logicalDpiX()));
    image.setDotsPerMeterY(dotsPerMeter(plot->logicalDpiY()));
    image.fill(window->palette().color(QPalette::Window));
    QPainter painter(&image);
    QRectF plotArea(QPointF(0, 0), QSizeF(image.size()));
    if (!heading.isEmpty()) {
        // Who the readings are from and when, above the plot; the value axes name their units.
        painter.setFont(window->font());
        painter.setPen(window->palette().color(QPalette::WindowText));
        const QString lines = heading + QLatin1Char('\n') + spanText(plot);
        const qreal margin = painter.fontMetrics().height() / 2.0;
        const QRectF text = painter.boundingRect(plotArea.adjusted(margin, margin, -margin, 0),
                                                 Qt::AlignLeft | Qt::AlignTop, lines);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, lines);
        plotArea.setTop(text.bottom() + margin);
    }
    QwtPlotRenderer renderer;
    renderer.render(plot, &painter, plotArea);
    painter.end();
    return image;
}

void withDialog(QWidget *parent, const QString &title, const QString &suffix, const QString &filter,
                const std::function<bool(const QString &, QString *)> &write) {
    QDir().mkpath(QFileInfo(defaultPath(suffix)).path());
    const QString path = QFileDialog::getSaveFileName(parent, title, defaultPath(suffix), filter);
    QString error;
    if (!path.isEmpty() && !write(path, &error)) {
        QMessageBox::information(
            parent, QCoreApplication::translate("TrendWindow", "Error"),
            QCoreApplication::translate("TrendWindow", "The trend cannot be written to %1: %2")
                .arg(QDir::toNativeSeparators(path), error));
    }
}

} // namespace TrendExport
