#pragma once

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <optional>

namespace test {

inline bool canReadQrCodes() {
    return !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty();
}

// What zbarimg (Debian zbar-tools) reads in the image, or nothing when it reads no code.
inline std::optional<QString> readQrCode(const QImage& image) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("code.png"));
    QProcess zbar;
    if (image.save(path)) {
        zbar.start(QStringLiteral("zbarimg"),
                   {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    }
    if (!zbar.waitForFinished(10000) || zbar.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

}  // namespace test
