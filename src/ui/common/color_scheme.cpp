#include "color_scheme.h"

#include <QPalette>

ColorScheme colorSchemeOf(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128 ? ColorScheme::Dark
                                                             : ColorScheme::Light;
}
