#include "gui/colours.h"
#include "gui/message_pane.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QEvent>
#include <QLabel>
#include <QRegularExpression>

void Widget::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    // Not while the form is being built.
    if (event->type() == QEvent::PaletteChange && ui && ui->textBrowser) {
        applyPaletteColours();
    }
}

void Widget::applyPaletteColours() {
    // The window's own palette: its children take the new one only after it has been told.
    // The pane is disabled until a device answers; its notices stay readable meanwhile.
    Colours::keepTextReadableWhenDisabled(ui->textBrowser, palette());
    const QPalette &pane = ui->textBrowser->palette();
    Pane::recolour(ui->textBrowser->document(), {{0, Colours::colour(Colours::Role::Tx, pane)},
                                                 {1, Colours::colour(Colours::Role::Rx, pane)}});
    // A reading shown is a value and its three equivalents, in this order (formatReading).
    const QPalette &labels = palette();
    const QString fonts[] = {Colours::htmlName(Colours::Role::Reading, labels),
                             Colours::htmlName(Colours::Role::Milliamps, labels),
                             Colours::htmlName(Colours::Role::Volts, labels),
                             Colours::htmlName(Colours::Role::Volts, labels)};
    static const QRegularExpression font(QStringLiteral("<font color=[^>]*>"));
    for (QLabel *label : {ui->labelTemperature, ui->labelHumidity, ui->labelDewTemp}) {
        QString text = label->text();
        int at = 0;
        for (const QString &name : fonts) {
            const QRegularExpressionMatch match = font.match(text, at);
            if (!match.hasMatch()) {
                break;
            }
            const QString tag = QStringLiteral("<font color=") + name + QLatin1Char('>');
            text.replace(match.capturedStart(), match.capturedLength(), tag);
            at = match.capturedStart() + tag.size();
        }
        if (text != label->text()) {
            label->setText(text);
        }
    }
}
