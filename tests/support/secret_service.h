#pragma once

#include <QProcess>
#include <QString>

#include "platform/secret_store.h"
#include "support/run_task.h"

// The Secret Service of the session bus as other programs see it, through secret-tool (for test
// programs run by support/with-secret-service).
namespace test {

// Whether `store` finds no Secret Service on the session bus; the test then skips.
inline bool secretServiceMissing(SecretStore& store) {
    try {
        runTask(store.find(QStringLiteral("probe"), std::nullopt));
    } catch (const SecretStoreError& error) {
        return error.status() == SecretStoreError::Status::NotAvailable;
    }
    return false;
}

// Stores an item the way other programs do; whether secret-tool succeeded.
inline bool storeWithSecretTool(const QString& service, const QString& account,
                                const QByteArray& secret) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("store"), QStringLiteral("--label=") + service,
                QStringLiteral("service"), service, QStringLiteral("account"), account});
    tool.write(secret);
    tool.closeWriteChannel();
    return tool.waitForFinished(30000) && tool.exitCode() == 0;
}

// The number of items of `service`.
inline int secretToolItemCount(const QString& service) {
    QProcess search;
    search.setProcessChannelMode(QProcess::MergedChannels);
    search.start(QStringLiteral("secret-tool"), {QStringLiteral("search"), QStringLiteral("--all"),
                                                 QStringLiteral("service"), service});
    search.waitForFinished(30000);
    return static_cast<int>(search.readAll().count("label = "));
}

}  // namespace test
