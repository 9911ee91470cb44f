#include "gui/colours.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <cmath>
#include <memory>

namespace Colours {
namespace {

struct Own {
    const char *name; // as the tool always wrote it; empty: taken from the palette
    QColor colour;
};

// The colours the tool always used on its light background, by role. The three colours of the
// pane and the readings are written by name into their rich text.
Own own(Role role) {
    switch (role) {
    case Role::Tx:
    case Role::Reading:
        return {"red", QColor(0xff, 0x00, 0x00)};
    case Role::Rx:
    case Role::Milliamps:
        return {"green", QColor(0x00, 0x80, 0x00)};
    case Role::Volts:
        return {"blue", QColor(0x00, 0x00, 0xff)};
    case Role::Temperature:
        return {"", QColor(0xd6, 0x27, 0x28)};
    case Role::Humidity:
        return {"", QColor(0x1f, 0x77, 0xb4)};
    case Role::DewPoint:
        return {"", QColor(0x2c, 0xa0, 0x2c)};
    case Role::EventLine:
        return {"", QColor(0x70, 0x70, 0x70)};
    case Role::Grid:
    case Role::EventText:
        break;
    }
    return {"", QColor()};
}

double channel(int value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor withLightness(const QColor &colour, double lightness) {
    return QColor::fromHslF(colour.hslHueF() < 0 ? 0 : colour.hslHueF(), colour.hslSaturationF(), lightness);
}

} // namespace

double luminance(const QColor &colour) {
    const QColor c = colour.toRgb();
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor &a, const QColor &b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

bool isLight(const QColor &background) {
    return contrast(background, Qt::black) >= contrast(background, Qt::white);
}

QColor readable(const QColor &colour, const QColor &background) {
    if (isLight(background) || contrast(colour, background) >= LeastContrast) {
        return colour;
    }
    // Luminance grows with lightness at a fixed hue and saturation: the least lightness that
    // reads, found by halving, then checked as the 8-bit colour it becomes.
    double low = colour.lightnessF();
    double high = 1.0;
    for (int i = 0; i < 20; ++i) {
        const double middle = (low + high) / 2;
        (contrast(withLightness(colour, middle), background) >= LeastContrast ? high : low) = middle;
    }
    QColor found(withLightness(colour, high).rgb()); // 8 bits a component, as written in rich text
    while (contrast(found, background) < LeastContrast && found != QColor(Qt::white)) {
        found = QColor(qMin(255, found.red() + 1), qMin(255, found.green() + 1), qMin(255, found.blue() + 1));
    }
    return found;
}

QPalette::ColorRole background(Role role) {
    switch (role) {
    case Role::Reading:
    case Role::Milliamps:
    case Role::Volts:
        return QPalette::Window;
    default:
        return QPalette::Base;
    }
}

QColor colour(Role role, const QPalette &palette) {
    const QColor behind = palette.color(QPalette::Active, background(role));
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    if (role == Role::Grid) {
        // Faint on either background: a sixth of the way from the background to the text
        // (light grey d8d8d8 between black text and a white background).
        const auto mix = [](int from, int to) { return from + (to - from) * 39 / 255; };
        return QColor(mix(behind.red(), text.red()), mix(behind.green(), text.green()),
                      mix(behind.blue(), text.blue()));
    }
    if (role == Role::EventText) {
        return readable(text, behind);
    }
    return readable(own(role).colour, behind);
}

QString htmlName(Role role, const QPalette &palette) {
    const Own o = own(role);
    const QColor c = colour(role, palette);
    return *o.name && c == o.colour ? QString::fromLatin1(o.name) : c.name();
}

QPalette lightPalette() {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion ? fusion->standardPalette() : QPalette(QColor(0xef, 0xef, 0xef));
}

QPalette darkPalette() {
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x2a, 0x2a, 0x2a);
    const QColor text(0xee, 0xee, 0xee);
    const QColor disabledText(0x90, 0x90, 0x90);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x3a, 0x3a, 0x3a));
    p.setColor(QPalette::ToolTipBase, QColor(0x20, 0x20, 0x20));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0x80, 0x80));
    p.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
    p.setColor(QPalette::Midlight, QColor(0x42, 0x42, 0x42));
    p.setColor(QPalette::Mid, QColor(0x28, 0x28, 0x28));
    p.setColor(QPalette::Dark, QColor(0x20, 0x20, 0x20));
    p.setColor(QPalette::Shadow, QColor(0x10, 0x10, 0x10));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x6f, 0xb8));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x7f, 0xb2, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xc0, 0x9c, 0xff));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabledText);
    }
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x30, 0x30, 0x30));
    return p;
}

void applyTheme(ConfigFile::Theme theme) {
    if (theme == ConfigFile::Theme::System) {
        return;
    }
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion); // the application takes it over
    }
    QApplication::setPalette(theme == ConfigFile::Theme::Dark ? darkPalette() : lightPalette());
}

void keepTextReadableWhenDisabled(QWidget *widget, QPalette palette) {
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::Base}) {
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    }
    widget->setPalette(palette);
}

} // namespace Colours
