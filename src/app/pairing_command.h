#pragma once

#include <QByteArray>
#include <QString>

#include "core/preferences.h"

// `quotamind pairing`: shows this computer's pairing code on the terminal, so that a machine
// without a screen can be paired.
namespace PairingCommand {

// The QR code (error correction M) of `text` in half-block characters, two module rows per line,
// with a quiet zone of four modules. The characters draw the light modules, as a terminal with
// light text on a dark background shows them; with `colours`, each line first sets white on black
// so that light themes show the same. Empty when the text is too long for a QR code.
QString terminalQrCode(const QByteArray& text, bool colours);

// Prints the pairing code kept in `preferences` (made and stored first when there is none) as its
// QR text and as a QR code; returns the program's exit status.
int run(Preferences preferences);

}  // namespace PairingCommand
