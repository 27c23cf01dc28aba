#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Finds a `codex` executable that may be started. Candidates are the fixed command-line paths,
// then "codex" in each folder of the search path; the first one that passes verifyCode wins.
// Application bundles do not exist on Linux, so there are no bundle candidates.
//
// Nothing is cached: every locate() examines the file system afresh, so an installation or update
// counts at the next call. Blocks on file-system checks; call it from a worker thread.
class TrustedCodexBinaryLocator final {
public:
    // Whether the code at a path may be run as the program named by `identifier`.
    using Verifier = std::function<bool(const QString& path, const QString& identifier)>;

    static inline const QString kStandaloneIdentifier = QStringLiteral("codex");

    // `searchPath` is the value of PATH, or nothing when it is not set.
    explicit TrustedCodexBinaryLocator(std::optional<QString> searchPath,
                                       QStringList fixedCandidates = defaultFixedCandidates(),
                                       Verifier verifier = &TrustedCodexBinaryLocator::verifyCode);

    // With this process's PATH and the real trust check.
    static TrustedCodexBinaryLocator fromEnvironment();
    // "/opt/homebrew/bin/codex", "/usr/local/bin/codex".
    static QStringList defaultFixedCandidates();

    // The first trusted executable, with its links resolved. Throws
    // CodexAppServerError::codexNotInstalled when no candidate is an executable file, and
    // untrustedCodexInstallation when some are but none passes the check; an executable that fails
    // it is never returned. A file reached twice (a duplicate or a link) is examined once.
    QString locate() const;

    // The fixed candidates, then each non-empty search-path entry joined with "codex", in order;
    // duplicates are kept.
    QStringList standaloneExecutableCandidates() const;

    // The Linux trust policy: after resolving links, `path` is a regular executable file, and the
    // file and every folder above it are owned by root or by this user and writable by neither
    // group nor others. So nothing under a shared writable folder (the system temporary folder
    // among them) is trusted. `identifier` names the expected program; the file system carries
    // no signature to compare it with.
    static bool verifyCode(const QString& path, const QString& identifier);

    // Whether `folder`, after resolving links, and every folder above it are owned by root or by
    // this user and writable by neither group nor others: the folder half of verifyCode.
    static bool isTrustedFolder(const QString& folder);

    // The search path a child may use: the absolute entries of `searchPath` whose folder is
    // trusted, links resolved, in order. Anything a child finds through it, such as the
    // interpreter named by a launcher's "#!/usr/bin/env node", is as trusted as the launcher.
    // Empty when no entry is left.
    static QString trustedSearchPath(const QString& searchPath);

private:
    std::optional<QString> m_searchPath;
    QStringList m_fixedCandidates;
    Verifier m_verifier;
};
