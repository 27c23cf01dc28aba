#include "trusted_codex_binary_locator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "sources/codex/codex_app_server_error.h"

namespace {

// Owned by root or by us, and not writable by anyone else.
bool isProtected(const struct stat& status) {
    const bool trustedOwner = status.st_uid == 0 || status.st_uid == geteuid();
    return trustedOwner && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The path with links resolved, or the cleaned absolute path when nothing is there.
QString resolved(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

TrustedCodexBinaryLocator::TrustedCodexBinaryLocator(std::optional<QString> searchPath,
                                                     QStringList fixedCandidates, Verifier verifier)
    : m_searchPath(std::move(searchPath)),
      m_fixedCandidates(std::move(fixedCandidates)),
      m_verifier(std::move(verifier)) {}

TrustedCodexBinaryLocator TrustedCodexBinaryLocator::fromEnvironment() {
    std::optional<QString> searchPath;
    if (qEnvironmentVariableIsSet("PATH")) {
        searchPath = qEnvironmentVariable("PATH");
    }
    return TrustedCodexBinaryLocator(std::move(searchPath));
}

QStringList TrustedCodexBinaryLocator::defaultFixedCandidates() {
    return {QStringLiteral("/opt/homebrew/bin/codex"), QStringLiteral("/usr/local/bin/codex")};
}

QStringList TrustedCodexBinaryLocator::standaloneExecutableCandidates() const {
    QStringList candidates = m_fixedCandidates;
    if (m_searchPath) {
        for (const QString& entry : m_searchPath->split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
            candidates.append(QDir(entry).filePath(QStringLiteral("codex")));
        }
    }
    return candidates;
}

QString TrustedCodexBinaryLocator::locate() const {
    QSet<QString> examined;
    bool foundInstallation = false;
    for (const QString& candidate : standaloneExecutableCandidates()) {
        QString path = resolved(candidate);
        if (examined.contains(path)) {
            continue;
        }
        examined.insert(path);
        const QFileInfo info(path);
        if (!info.isFile() || !info.isExecutable()) {
            continue;
        }
        foundInstallation = true;
        if (m_verifier(path, kStandaloneIdentifier)) {
            return path;
        }
    }
    throw CodexAppServerError(foundInstallation
                                  ? CodexAppServerError::Code::UntrustedCodexInstallation
                                  : CodexAppServerError::Code::CodexNotInstalled);
}

bool TrustedCodexBinaryLocator::verifyCode(const QString& path,
                                           [[maybe_unused]] const QString& identifier) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) {
        return false;
    }
    const QByteArray file = QFile::encodeName(canonical);
    struct stat status {};
    // lstat: a link appearing after resolution is not followed.
    return lstat(file.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 &&
           access(file.constData(), X_OK) == 0 && isProtected(status) &&
           isTrustedFolder(QFileInfo(canonical).absolutePath());
}

bool TrustedCodexBinaryLocator::isTrustedFolder(const QString& folder) {
    QString current = QFileInfo(folder).canonicalFilePath();
    if (current.isEmpty()) {
        return false;
    }
    for (;;) {
        const QByteArray name = QFile::encodeName(current);
        struct stat status {};
        if (lstat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            !isProtected(status)) {
            return false;
        }
        if (current == QStringLiteral("/")) {
            return true;
        }
        current = QFileInfo(current).absolutePath();
    }
}

QString TrustedCodexBinaryLocator::trustedSearchPath(const QString& searchPath) {
    QStringList kept;
    for (const QString& entry : searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        // A relative entry would be looked up from the child's working folder.
        if (QDir::isAbsolutePath(entry) && isTrustedFolder(entry)) {
            kept.append(QFileInfo(entry).canonicalFilePath());
        }
    }
    return kept.join(QLatin1Char(':'));
}
