#include "sources/codex/trusted_codex_binary_locator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

#include "fake_codex.h"

namespace {

using namespace Qt::StringLiterals;
using Code = CodexAppServerError::Code;
using test::TrustedFolder;

void open(const QString& path, QFile::Permissions who) {
    QFile::setPermissions(path, QFile::permissions(path) | who);
}

TEST(TrustedCodexBinaryLocatorTest, VerifyCodeTrustsOnlyFilesNobodyElseMayChange) {
    // Each case: codex in its own folder `name`, that file or that folder opened to others or
    // given to another user (as root only).
    struct Case {
        const char* name;
        QFile::Permissions fileOpenTo = {};
        QFile::Permissions folderOpenTo = {};
        bool givenAway = false;
    };
    const TrustedFolder root;
    for (const Case& test : {Case{"own"}, Case{"groupWritableFile", QFile::WriteGroup},
                             Case{"groupWritableFolder", {}, QFile::WriteGroup},
                             Case{"worldWritableFolder", {}, QFile::WriteOther},
                             Case{"folderOfAnotherUser", {}, {}, true}}) {
        if (test.givenAway && geteuid() != 0) {
            continue;  // giving a file away needs root
        }
        const QString folder = root.folder(QString::fromLatin1(test.name));
        const QString file = root.executable(QString::fromLatin1(test.name));
        open(file, test.fileOpenTo);
        open(folder, test.folderOpenTo);
        if (test.givenAway) {
            ASSERT_EQ(chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        }
        const bool trusted = test.fileOpenTo == QFile::Permissions{} &&
                             test.folderOpenTo == QFile::Permissions{} && !test.givenAway;
        EXPECT_EQ(TrustedCodexBinaryLocator::verifyCode(file, u"codex"_s), trusted) << test.name;
    }
    const QString plain = root.executable(u"plain"_s);
    QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner);
    QTemporaryDir temporary;  // in the system temporary folder, open to everyone
    const QString underTemporary = temporary.filePath(u"codex"_s);
    QFile::copy(root.executable(u"copied"_s), underTemporary);
    for (const QString& untrusted : {plain, root.folder(u"directory"_s), underTemporary}) {
        EXPECT_FALSE(TrustedCodexBinaryLocator::verifyCode(untrusted, u"codex"_s))
            << untrusted.toStdString();
    }
}

TEST(TrustedCodexBinaryLocatorTest, ChildSearchPathKeepsOnlyTrustedFolders) {
    const TrustedFolder root;
    const QString trusted = QFileInfo(root.folder(u"bin"_s)).canonicalFilePath();
    const QString shared = root.folder(u"shared"_s);
    open(shared, QFile::WriteOther);
    const QString link = QDir(root.path()).filePath(u"link"_s);
    ASSERT_TRUE(QFile::link(trusted, link));
    EXPECT_EQ(TrustedCodexBinaryLocator::trustedSearchPath(shared + u":relative::"_s + trusted +
                                                           u':' + link + u":/nonexistent"_s),
              trusted + u':' + trusted);
}

// The search with the real trust check; `checks` counts how often it is asked.
std::optional<Code> locate(const QString& searchPath, int& checks, QString* found = nullptr) {
    checks = 0;
    const TrustedCodexBinaryLocator locator(
        searchPath, {u"/nonexistent/codex"_s}, [&checks](const QString& path, const QString& id) {
            ++checks;
            return TrustedCodexBinaryLocator::verifyCode(path, id);
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

TEST(TrustedCodexBinaryLocatorTest, LocateTakesTheFirstTrustedCandidateExaminingEachFileOnce) {
    const TrustedFolder root;
    const QString real = root.executable(u"real"_s);
    const QString linked = root.folder(u"linked"_s);
    ASSERT_TRUE(QFile::link(real, QDir(linked).filePath(u"codex"_s)));
    // An untrusted copy first, twice; empty entries and a folder without codex between.
    const QString shared = QFileInfo(root.executable(u"shared"_s)).path();
    open(shared, QFile::WriteOther);
    int checks = 0;
    QString found;
    EXPECT_EQ(locate(u':' + shared + u"::"_s + shared + u':' + root.folder(u"empty"_s) + u':' +
                         linked + u':' + root.folder(u"real"_s) + u':',
                     checks, &found),
              std::nullopt);
    EXPECT_EQ(found, real);
    EXPECT_EQ(checks, 2);

    EXPECT_EQ(locate(shared, checks), Code::untrustedCodexInstallation);
    EXPECT_EQ(checks, 1);

    // A file that is not executable, a folder named codex, a dangling link: no installation.
    QFile::setPermissions(root.executable(u"plain"_s), QFile::ReadOwner);
    root.folder(u"directory/codex"_s);
    const QString dangling = root.folder(u"dangling"_s);
    ASSERT_TRUE(QFile::link(u"/nonexistent"_s, QDir(dangling).filePath(u"codex"_s)));
    EXPECT_EQ(locate(root.folder(u"plain"_s) + u':' + root.folder(u"directory"_s) + u':' + dangling,
                     checks),
              Code::codexNotInstalled);
    EXPECT_EQ(checks, 0);
}

}  // namespace
