#include "pairing_command.h"

#include <qrencode.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "phone/lan_pairing_storage.h"

namespace PairingCommand {

namespace {

constexpr int kQuietModules = 4;

struct FreeQrCode {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

}  // namespace

QString terminalQrCode(const QByteArray& text, bool colours) {
    const std::unique_ptr<QRcode, FreeQrCode> code(
        QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1));
    if (!code) {
        return {};
    }
    const int width = code->width;
    const int size = width + 2 * kQuietModules;
    auto isLight = [&code, width](int x, int y) {
        x -= kQuietModules;
        y -= kQuietModules;
        if (x < 0 || y < 0 || x >= width || y >= width) {
            return true;
        }
        return (code->data[y * width + x] & 1) == 0;
    };
    QStringList lines;
    for (int y = 0; y < size; y += 2) {
        QString line;
        if (colours) {
            line += QStringLiteral("\x1b[97;40m");
        }
        for (int x = 0; x < size; ++x) {
            const bool top = isLight(x, y);
            // An odd size leaves the last line's lower half outside the code: dark, like the
            // terminal.
            const bool bottom = y + 1 < size && isLight(x, y + 1);
            if (top && bottom) {
                line += QChar(0x2588);  // █
            } else if (top) {
                line += QChar(0x2580);  // ▀
            } else if (bottom) {
                line += QChar(0x2584);  // ▄
            } else {
                line += QLatin1Char(' ');
            }
        }
        if (colours) {
            line += QStringLiteral("\x1b[0m");
        }
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

int run(Preferences preferences) {
    LanPairingStorage storage(std::move(preferences));
    const QString qrText = storage.serverIdentity().qrValue();
    print(stdout, QCoreApplication::translate(
                      "PairingCommand",
                      "Scan this code with Quotamind on the iPhone (or pass the text to "
                      "quotamind-phone). It lets a phone on this network read your limits: keep "
                      "it to yourself."));
    print(stdout, qrText);
    print(stdout, terminalQrCode(qrText.toUtf8(), ::isatty(STDOUT_FILENO) == 1));
    return 0;
}

}  // namespace PairingCommand
