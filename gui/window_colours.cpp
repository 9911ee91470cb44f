#include "gui/colours.h"
#include "gui/message_pane.h"
#include "gui/widget.h"
#include "ui_widget.h"

#include <QEvent>

void Widget::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    // Not while the form is being built.
    if (event->type() == QEvent::PaletteChange && ui && ui->textBrowser && readings) {
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
    readings->recolour();
}
