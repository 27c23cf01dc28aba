#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "sources/codex/codex_app_server_error.h"
#include "sources/codex/trusted_codex_binary_locator.h"
#include "support/child_processes.h"
#include "support/run_task.h"

namespace test {

// One run of the scriptable fake `codex app-server` (tests/fakes): its script, the log of the
// lines it received, and the environment that points the child at them.
class FakeCodex final {
public:
    static QString program() { return QStringLiteral(FAKE_CODEX_APP_SERVER); }

    explicit FakeCodex(const std::string& script) {
        QFile file(scriptPath());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script.data(), qint64(script.size()));
    }

    QString scriptPath() const { return m_folder.filePath(QStringLiteral("script")); }
    QString logPath() const { return m_folder.filePath(QStringLiteral("received")); }
    QString folder() const { return m_folder.path(); }

    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FAKE_CODEX_SCRIPT"), scriptPath());
        environment.insert(QStringLiteral("FAKE_CODEX_LOG"), logPath());
        return environment;
    }

    // The environment entry that marks this fake's processes.
    QByteArray marker() const { return "FAKE_CODEX_SCRIPT=" + scriptPath().toUtf8(); }

    QStringList received() const {
        QFile file(logPath());
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool receivesLines(qsizetype count) const {
        return waitUntil([&] { return received().size() >= count; });
    }

private:
    QTemporaryDir m_folder;
};

// Writes an executable file (mode 0755) holding `text`; returns its path.
inline QString writeExecutable(const QString& path, const QByteArray& text) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.setPermissions(QFile::Permissions(0x7755));
    return path;
}

// A fresh private folder that the trust policy accepts (the system temporary one is open to all).
class TrustedFolder final {
public:
    TrustedFolder() {
        for (const QString& parent : {QStringLiteral(CODEX_TEST_BUILD_DIR),
                                      qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::homePath()}) {
            if (!parent.isEmpty() && TrustedCodexBinaryLocator::isTrustedFolder(parent)) {
                m_folder.emplace(parent + QStringLiteral("/quotamind-test-XXXXXX"));
                return;
            }
        }
        ADD_FAILURE() << "neither the build folder, XDG_RUNTIME_DIR nor HOME is closed to others";
        m_folder.emplace();
    }

    QString path() const { return m_folder->path(); }

    // The folder `name` inside, made with its parents.
    QString folder(const QString& name) const {
        const QString made = QDir(path()).filePath(name);
        QDir().mkpath(made);
        return made;
    }

    // An executable file `name` in folder `in`, holding `text`.
    QString executable(const QString& in, const QString& name = QStringLiteral("codex"),
                       const QByteArray& text = "#!/bin/sh\n") const {
        return writeExecutable(QDir(folder(in)).filePath(name), text);
    }

private:
    std::optional<QTemporaryDir> m_folder;
};

// A coroutine in progress, awaited on the event loop while the test moves the clock.
template <typename T>
class Call final : public StartedTask<T> {
public:
    using StartedTask<T>::StartedTask;

    bool finishes() { return this->waitUntilDone(); }
    // The error of type E the call ended with; nothing when it ended otherwise. Takes the result.
    template <typename E>
    std::optional<E> failure() {
        try {
            finishes();
            this->get();
        } catch (const E& error) {
            return error;
        } catch (const std::exception&) {
        }
        return std::nullopt;
    }
    std::optional<CodexAppServerError::Code> error() {
        const auto failed = failure<CodexAppServerError>();
        return failed ? std::optional(failed->code()) : std::nullopt;
    }
    bool wasCancelled() { return failure<CancelledError>().has_value(); }
};

inline const std::string kInitializeResult =
    R"({"id":1,"result":{"userAgent":"codex/0.171.0","codexHome":"/home/user/.codex"}})";

inline const std::string kRead = "expect account/rateLimits/read\n";

// The handshake answered, up to the first rate-limits read received.
inline std::string handshake() {
    return "expect initialize\nsend " + kInitializeResult + "\nexpect initialized\n" + kRead;
}

inline std::string rateLimitsResult(int primaryPercent) {
    return R"(send {"id":$ID,"result":{"rateLimits":{"primary":{"usedPercent":)" +
           std::to_string(primaryPercent) +
           R"(,"windowDurationMins":300,"resetsAt":1796579961}}}})" + "\n";
}

inline const std::string kReadError =
    "send {\"error\":{\"code\":-32600,\"message\":\"authentication required\"},\"id\":$ID}\n";

}  // namespace test
