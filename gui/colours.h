#ifndef ZR_GUI_COLOURS_H
#define ZR_GUI_COLOURS_H

#include "core/storage/config_file.h"

#include <QColor>
#include <QPalette>
#include <QString>

class QWidget;

// The colours of the pane's frame lines, the live readings and the trend, taken from the palette
// they are drawn with. On a light background each is the colour the tool always used; on a dark
// one it keeps its hue and saturation and takes the least lightness that reads at 4.5:1 against
// that background (relative luminance and contrast ratio as the web accessibility guidelines
// define them), so nothing glares and nothing fades into the background.
namespace Colours {

enum class Role {
    Tx,          // a request line of the pane
    Rx,          // a reply line of the pane
    Reading,     // a live value
    Milliamps,   // its 4-20 mA equivalent
    Volts,       // its voltage equivalents
    Temperature, // the trend's curves
    Humidity,
    DewPoint,
    Grid,      // the trend's grid lines
    EventLine, // the trend's event markers
    EventText, // the text of an event label
};
constexpr int RoleCount = int(Role::EventText) + 1;

// The least contrast of a coloured text or line against its background on a dark palette.
constexpr double LeastContrast = 4.5;

double luminance(const QColor &colour);
double contrast(const QColor &a, const QColor &b);
// A background that black text reads better on than white text.
bool isLight(const QColor &background);
// `colour` itself on a light background; on a dark one, its hue and saturation at the least
// lightness with LeastContrast against `background`.
QColor readable(const QColor &colour, const QColor &background);

// What the role stands on: the pane and the trend's canvas on Base, the readings on Window.
QPalette::ColorRole background(Role role);
QColor colour(Role role, const QPalette &palette);
// For rich text: the colour's name as the tool always wrote it ("red") on a light background,
// "#rrggbb" otherwise.
QString htmlName(Role role, const QPalette &palette);

// The tool's own palettes for the Theme setting, with the Fusion style.
QPalette lightPalette();
QPalette darkPalette();
// Light and Dark switch the whole application to Fusion and the matching palette; System leaves
// the desktop's style and palette.
void applyTheme(ConfigFile::Theme theme);

// A text widget inside a disabled group shows its text as when enabled (not grey on grey):
// it takes `palette` (the one it would inherit) with the disabled text and background roles set
// to the enabled ones. Called again after every palette change.
void keepTextReadableWhenDisabled(QWidget *widget, QPalette palette);

} // namespace Colours

#endif
