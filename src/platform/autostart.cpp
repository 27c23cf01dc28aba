#include "autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <optional>

#include "platform/desktop_entry.h"

namespace {

// The desktop entry's Exec quoting: the whole path in double quotes, with ", `, $ and \ escaped.
QString quotedExec(const QString& program) {
    QString quoted;
    for (const QChar character : program) {
        if (character == u'"' || character == u'`' || character == u'$' || character == u'\\') {
            quoted += u'\\';
        }
        quoted += character;
    }
    // A literal % would start a field code.
    quoted.replace(QStringLiteral("%"), QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

QString describeFailure(const QString& message) {
    return QCoreApplication::translate("Autostart", "Launch at login could not be changed: %1")
        .arg(message);
}

// An entry is a few hundred bytes; anything longer is not ours to interpret.
constexpr qint64 kLongestEntry = 64 * 1024;

QByteArray backgroundArgument() {
    return "--" + XdgAutostart::kBackgroundOption.toUtf8();
}

std::optional<QByteArray> readEntry(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray content = file.read(kLongestEntry + 1);
    if (content.size() > kLongestEntry) {
        return std::nullopt;
    }
    return content;
}

bool switchedOff(const QByteArray& content) {
    for (const QByteArray& rawLine : content.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return true;
        }
    }
    return false;
}

void writeEntry(const QString& path, const QByteArray& content) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) < 0 || !file.commit()) {
        throw PlatformError(describeFailure(file.errorString()));
    }
}

}  // namespace

XdgAutostart::XdgAutostart(QString entryPath, QString program)
    : m_entryPath(std::move(entryPath)), m_program(std::move(program)) {}

XdgAutostart XdgAutostart::forThisProgram() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/autostart");
    return XdgAutostart(folder + QStringLiteral("/com.brindlecove.Quotamind.desktop"),
                        QCoreApplication::applicationFilePath());
}

QByteArray XdgAutostart::entry(const QString& program) {
    // The installed entry starts `quotamind` from PATH; at login the running program's own path
    // is the one that is sure to exist.
    QStringList lines = QString::fromUtf8(kDesktopEntry).split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : lines) {
        if (line.startsWith(u"Exec=")) {
            line = QStringLiteral("Exec=") + quotedExec(program) + u' ' +
                   QString::fromUtf8(backgroundArgument());
        }
    }
    lines << QStringLiteral("X-GNOME-Autostart-enabled=true");
    return (lines.join(u'\n') + u'\n').toUtf8();
}

bool XdgAutostart::isEnabled() const {
    const std::optional<QByteArray> content = readEntry(m_entryPath);
    return content && !switchedOff(*content);
}

void XdgAutostart::addBackgroundOption() {
    const std::optional<QByteArray> content = readEntry(m_entryPath);
    if (!content || switchedOff(*content)) {
        return;
    }
    QList<QByteArray> lines = content->split('\n');
    bool inMainGroup = false;
    bool changed = false;
    for (QByteArray& line : lines) {
        if (line.startsWith('[')) {
            inMainGroup = line.trimmed() == "[Desktop Entry]";
        } else if (inMainGroup && line.startsWith("Exec=") &&
                   !line.trimmed().split(' ').contains(backgroundArgument())) {
            line = line.trimmed() + ' ' + backgroundArgument();
            changed = true;
        }
    }
    if (changed) {
        writeEntry(m_entryPath, lines.join('\n'));
    }
}

void XdgAutostart::setEnabled(bool enabled) {
    if (!enabled) {
        QFile file(m_entryPath);
        if (file.exists() && !file.remove()) {
            throw PlatformError(describeFailure(file.errorString()));
        }
        return;
    }
    if (!QDir().mkpath(QFileInfo(m_entryPath).absolutePath())) {
        throw PlatformError(describeFailure(
            QCoreApplication::translate("Autostart", "the autostart folder cannot be created")));
    }
    writeEntry(m_entryPath, entry(m_program));
}
