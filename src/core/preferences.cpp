#include "preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <cmath>

#include "owner_only.h"

namespace {

QString domainFile(const QString& name) {
    return Preferences::directory() + QLatin1Char('/') + name + QStringLiteral(".conf");
}

bool isUsable(const QSettings& settings) {
    return settings.status() == QSettings::NoError;
}

// A domain's file can be read and written when it does not exist yet (the first write creates it)
// or is a readable INI file that somebody may write: a file without any write permission bit is
// read-only by intent, even to root, who could write it all the same.
bool canReadAndWrite(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return true;
    }
    const auto anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isFile() && info.isReadable() && info.isWritable() &&
           info.permissions().testAnyFlags(anyWrite) &&
           isUsable(QSettings(path, QSettings::IniFormat));
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

QString Preferences::domainPath() const {
    // Reads and writes must agree on one file, or a value written to the fallback would be
    // shadowed by a stale one still read from the shared file.
    if (m_fallbackFilePath.isEmpty() || canReadAndWrite(m_filePath)) {
        return m_filePath;
    }
    return m_fallbackFilePath;
}

std::optional<QVariant> Preferences::value(const QString& key) const {
    const QSettings settings(domainPath(), QSettings::IniFormat);
    QVariant stored = settings.value(key);
    if (!stored.isValid()) {
        return std::nullopt;
    }
    return stored;
}

void Preferences::write(const QString& key, const QVariant& value) {
    // A missing file is created with its folder; an invalid value removes the key. A write that
    // fails all the same is lost rather than kept where reads would not find it.
    const QString path = domainPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (value.isValid()) {
        owner_only::createOrTighten(path);
    } else {
        owner_only::tighten(path);
    }
    QSettings settings(path, QSettings::IniFormat);
    if (value.isValid()) {
        settings.setValue(key, value);
    } else {
        settings.remove(key);
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
    write(key,
          QVariant(QString::number(value.secondsSince2001(), 'g', QLocale::FloatingPointShortest)));
}

void Preferences::remove(const QString& key) {
    write(key, QVariant());
}

void Preferences::restrictToOwner() const {
    for (const QString& path : {m_filePath, m_fallbackFilePath}) {
        if (!path.isEmpty()) {
            owner_only::tighten(path);
        }
    }
}
