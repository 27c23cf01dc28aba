#include "sources/codex/trusted_codex_binary_locator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>
#include <string>

#include "sources/codex/codex_app_server_client.h"
#include "sources/codex/codex_app_server_error.h"

namespace {

using Code = CodexAppServerError::Code;

// Folders for the candidates, made inside the build tree: the system temporary folder is shared
// and writable by everyone, so nothing under it can be trusted.
class LocatorTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        const QString probe = executable(QStringLiteral("probe"));
        if (!TrustedCodexBinaryLocator::verifyCode(probe, QStringLiteral("codex"))) {
            GTEST_SKIP() << "the build folder lies under a folder that others may write to, so "
                            "no file in it can be trusted";
        }
    }

    QString folder(const QString& name) {
        const QString path = m_root.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    // An executable file `codex` (or `name`) in folder `in`.
    QString executable(const QString& in, const QString& name = QStringLiteral("codex")) {
        const QString path = QDir(folder(in)).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        EXPECT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther));
        return path;
    }

    // Runs the search with the real trust check, counting how often it is asked.
    std::optional<Code> locate(const QString& searchPath, QString* found = nullptr) {
        m_checks = 0;
        const TrustedCodexBinaryLocator locator(
            searchPath, {}, [this](const QString& path, const QString& identifier) {
                ++m_checks;
                EXPECT_EQ(identifier, QStringLiteral("codex"));
                return TrustedCodexBinaryLocator::verifyCode(path, identifier);
            });
        try {
            const QString path = locator.locate();
            if (found != nullptr) {
                *found = path;
            }
            return std::nullopt;
        } catch (const CodexAppServerError& error) {
            return error.code();
        }
    }

    QTemporaryDir m_root{QStringLiteral(LOCATOR_TEST_ROOT "/locator-XXXXXX")};
    int m_checks = 0;
};

TEST_F(LocatorTest, SearchPathWithEmptyEntriesAndFoldersWithoutCodex) {
    const QString empty = folder(QStringLiteral("empty"));
    const QString codex = executable(QStringLiteral("bin"));
    const QString bin = m_root.filePath(QStringLiteral("bin"));
    const QString searchPath =
        QStringLiteral(":") + empty + QStringLiteral("::") + bin + QStringLiteral(":");
    const TrustedCodexBinaryLocator locator(searchPath, {QStringLiteral("/fixed/codex")});
    EXPECT_EQ(locator.standaloneExecutableCandidates(),
              (QStringList{QStringLiteral("/fixed/codex"), empty + QStringLiteral("/codex"),
                           bin + QStringLiteral("/codex")}));
    QString found;
    EXPECT_EQ(locate(searchPath, &found), std::nullopt);
    EXPECT_EQ(found, codex);
    EXPECT_EQ(TrustedCodexBinaryLocator(std::nullopt, {}).standaloneExecutableCandidates(),
              QStringList());
}

TEST_F(LocatorTest, LinksAndDuplicatesAreExaminedOnce) {
    const QString real = executable(QStringLiteral("real"));
    const QString linked = folder(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(real, QDir(linked).filePath(QStringLiteral("codex"))));
    // The untrusted copy comes first, so the search has to go on past it.
    const QString shared = folder(QStringLiteral("shared"));
    executable(QStringLiteral("shared"));
    ASSERT_TRUE(QFile::setPermissions(shared, QFile::Permissions(0x7777)));
    const QString realFolder = m_root.filePath(QStringLiteral("real"));
    QString found;
    EXPECT_EQ(locate(shared + QLatin1Char(':') + shared + QLatin1Char(':') + linked +
                         QLatin1Char(':') + realFolder,
                     &found),
              std::nullopt);
    EXPECT_EQ(found, real);
    EXPECT_EQ(m_checks, 2);
}

TEST_F(LocatorTest, UntrustedInstallations) {
    // Each case leaves exactly one candidate, which must be refused.
    struct Case {
        const char* name;
        std::function<QString(LocatorTest&)> make;
    };
    const std::vector<Case> cases = {
        {"worldWritableFolder",
         [](LocatorTest& t) {
             const QString path = t.executable(QStringLiteral("world"));
             QFile::setPermissions(QFileInfo(path).absolutePath(), QFile::Permissions(0x7777));
             return QFileInfo(path).absolutePath();
         }},
        {"groupWritableFile",
         [](LocatorTest& t) {
             const QString path = t.executable(QStringLiteral("group"));
             QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteGroup);
             return QFileInfo(path).absolutePath();
         }},
        {"underTheSystemTemporaryFolder",
         [](LocatorTest&) {
             static QTemporaryDir temporary;
             const QString path = QDir(temporary.path()).filePath(QStringLiteral("codex"));
             QFile file(path);
             file.open(QIODevice::WriteOnly);
             file.close();
             QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
             return temporary.path();
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(locate(test.make(*this)), Code::untrustedCodexInstallation);
        EXPECT_EQ(m_checks, 1);
    }
}

TEST_F(LocatorTest, OwnedByAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "changing a file's owner needs root";
    }
    constexpr uid_t kNobody = 65534;
    const QString file = executable(QStringLiteral("file-owner"));
    ASSERT_EQ(chown(QFile::encodeName(file).constData(), kNobody, kNobody), 0);
    EXPECT_EQ(locate(m_root.filePath(QStringLiteral("file-owner"))),
              Code::untrustedCodexInstallation);

    executable(QStringLiteral("folder-owner/bin"));
    const QString owner = m_root.filePath(QStringLiteral("folder-owner"));
    ASSERT_EQ(chown(QFile::encodeName(owner).constData(), kNobody, kNobody), 0);
    EXPECT_EQ(locate(owner + QStringLiteral("/bin")), Code::untrustedCodexInstallation);
}

TEST_F(LocatorTest, NothingExecutableIsNotAnInstallation) {
    const QString plain = folder(QStringLiteral("plain"));
    QFile file(QDir(plain).filePath(QStringLiteral("codex")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString directory = folder(QStringLiteral("directory/codex"));
    const QString dangling = folder(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(m_root.filePath(QStringLiteral("missing")),
                            QDir(dangling).filePath(QStringLiteral("codex"))));
    const QString parent = m_root.filePath(QStringLiteral("directory"));
    EXPECT_EQ(locate(plain + QLatin1Char(':') + parent + QLatin1Char(':') + dangling),
              Code::codexNotInstalled);
    EXPECT_EQ(m_checks, 0);
    EXPECT_EQ(locate(QString()), Code::codexNotInstalled);
}

TEST_F(LocatorTest, IsCodexInstalledLooksAtThisProcesssSearchPath) {
    for (const QString& fixed : TrustedCodexBinaryLocator::defaultFixedCandidates()) {
        if (QFileInfo::exists(fixed)) {
            GTEST_SKIP() << "codex is installed at " << fixed.toStdString();
        }
    }
    const QByteArray saved = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(folder(QStringLiteral("nothing"))));
    EXPECT_FALSE(CodexAppServerClient::isCodexInstalled());
    executable(QStringLiteral("installed"));
    qputenv("PATH", QFile::encodeName(m_root.filePath(QStringLiteral("installed"))));
    EXPECT_TRUE(CodexAppServerClient::isCodexInstalled());
    qputenv("PATH", saved);
}

}  // namespace
