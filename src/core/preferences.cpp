#include "preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <cmath>

namespace {

QString domainFile(const QString& name) {
    return Preferences::directory() + QLatin1Char('/') + name + QStringLiteral(".conf");
}

bool isUsable(const QSettings& settings) {
    return settings.status() == QSettings::NoError;
}

}  // namespace

QString Preferences::directory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/brindlecove");
}

Preferences Preferences::standard() {
    return Preferences(domainFile(QStringLiteral("Quotamind")));
}

Preferences Preferences::appGroup(const QString& groupIdentifier) {
    return Preferences(domainFile(groupIdentifier), domainFile(QStringLiteral("Quotamind")));
}

Preferences::Preferences(QString filePath, QString fallbackFilePath)
    : m_filePath(std::move(filePath)), m_fallbackFilePath(std::move(fallbackFilePath)) {}

QString Preferences::readablePath() const {
    if (m_fallbackFilePath.isEmpty()) {
        return m_filePath;
    }
    const QFileInfo info(m_filePath);
    // A file that does not exist yet reads as empty, which is fine; one that exists but cannot
    // be read, or a folder in its place, means the domain cannot be opened.
    if (!info.exists()) {
        return m_filePath;
    }
    if (info.isFile() && info.isReadable()) {
        QSettings settings(m_filePath, QSettings::IniFormat);
        if (isUsable(settings)) {
            return m_filePath;
        }
    }
    return m_fallbackFilePath;
}

QString Preferences::writablePath() const {
    if (m_fallbackFilePath.isEmpty()) {
        return m_filePath;
    }
    QSettings settings(m_filePath, QSettings::IniFormat);
    return settings.isWritable() && isUsable(settings) ? m_filePath : m_fallbackFilePath;
}

std::optional<QVariant> Preferences::value(const QString& key) const {
    const QSettings settings(readablePath(), QSettings::IniFormat);
    QVariant stored = settings.value(key);
    if (!stored.isValid()) {
        return std::nullopt;
    }
    return stored;
}

void Preferences::write(const QString& key, const QVariant& value) {
    // A missing file is created with its folder; an invalid value removes the key.
    auto writeTo = [&](const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSettings settings(path, QSettings::IniFormat);
        if (value.isValid()) {
            settings.setValue(key, value);
        } else {
            settings.remove(key);
        }
        settings.sync();
        return isUsable(settings);
    };
    const QString path = writablePath();
    if (!writeTo(path) && !m_fallbackFilePath.isEmpty() && path != m_fallbackFilePath) {
        // The shared file refused the write after all: keep the value in the fallback domain.
        writeTo(m_fallbackFilePath);
    }
}

std::optional<QByteArray> Preferences::data(const QString& key) const {
    const auto stored = value(key);
    if (!stored || !stored->canConvert<QByteArray>()) {
        return std::nullopt;
    }
    return stored->toByteArray();
}

std::optional<QString> Preferences::string(const QString& key) const {
    const auto stored = value(key);
    if (!stored || !stored->canConvert<QString>()) {
        return std::nullopt;
    }
    return stored->toString();
}

std::optional<bool> Preferences::boolean(const QString& key) const {
    const auto text = string(key);
    if (text == QStringLiteral("true")) {
        return true;
    }
    if (text == QStringLiteral("false")) {
        return false;
    }
    return std::nullopt;
}

std::optional<Timestamp> Preferences::date(const QString& key) const {
    const auto text = string(key);
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const double seconds = text->toDouble(&ok);
    if (!ok || !std::isfinite(seconds)) {
        return std::nullopt;
    }
    return Timestamp(seconds);
}

void Preferences::setData(const QString& key, const QByteArray& value) {
    write(key, QVariant(value));
}

void Preferences::setString(const QString& key, const QString& value) {
    write(key, QVariant(value));
}

void Preferences::setBool(const QString& key, bool value) {
    write(key, QVariant(value ? QStringLiteral("true") : QStringLiteral("false")));
}

void Preferences::setDate(const QString& key, Timestamp value) {
    // The shortest text that reads back as the same double.
    write(key, QVariant(QString::number(value.secondsSinceReferenceDate(), 'g',
                                        QLocale::FloatingPointShortest)));
}

void Preferences::remove(const QString& key) {
    write(key, QVariant());
}
