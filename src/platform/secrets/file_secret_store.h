#pragma once

#include <QString>

#include "platform/secrets/secret_store.h"

// Generic-password items as files in one folder, for computers without a Secret Service. Each
// item is one file named after its service and account, readable and writable by its owner
// alone (0600, in a 0700 folder). A write goes to a new temporary file in the same folder, which
// is flushed to disk and then renamed over the item, so a crash leaves the old item or the new
// one, never part of one. Items hold at most kMaxItemBytes.
//
// The file work runs on a worker thread, and each operation resumes on the calling thread.
// Failures are SecretStoreError::Status::Failed with the system's reason; the label is not kept.
class FileSecretStore final : public SecretStore {
public:
    static constexpr qint64 kMaxItemBytes = 1024 * 1024;

    explicit FileSecretStore(QString directory);

    // $XDG_DATA_HOME/quotamind (normally ~/.local/share/quotamind).
    static QString defaultDirectory();

    const QString& directory() const { return m_directory; }
    // The file that holds the item of `service` and `account`.
    QString itemPath(const QString& service, const QString& account) const;
    // Closes the folder (0700) and its items (0600) that others may open, as an older copy or a
    // restored backup may have left them. Blocking: call it on a worker thread.
    void restrictToOwner() const;

    QCoro::Task<std::optional<QByteArray>> find(QString service, std::optional<QString> account,
                                                CancellationToken cancellation = {}) override;
    QCoro::Task<> save(QString service, QString account, QString label, QByteArray data,
                       CancellationToken cancellation = {}) override;
    QCoro::Task<bool> remove(QString service, QString account,
                             CancellationToken cancellation = {}) override;

private:
    QString m_directory;
};
