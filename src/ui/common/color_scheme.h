#pragma once

class QPalette;

// Light or dark, as the desktop's palette says. Qt 6.4 has no colour-scheme hint of its own, so
// the window colour's lightness decides; widgets repaint on QEvent::PaletteChange, which Qt sends
// when the desktop switches.
enum class ColorScheme { Light, Dark };

ColorScheme colorSchemeOf(const QPalette& palette);
