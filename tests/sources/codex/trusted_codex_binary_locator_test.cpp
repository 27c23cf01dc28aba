#include "sources/codex/trusted_codex_binary_locator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_codex.h"

namespace {

using namespace Qt::StringLiterals;
using Code = CodexAppServerError::Code;
using test::TrustedFolder;

void open(const QString& path, QFile::Permissions who) {
    QFile::setPermissions(path, QFile::permissions(path) | who);
}

TEST(TrustedCodexBinaryLocatorTest, VerifyCodeTrustsOnlyFilesNobodyElseMayChange) {
    const TrustedFolder root;
    EXPECT_TRUE(TrustedCodexBinaryLocator::verifyCode(root.executable(u"own"_s), u"codex"_s));
    // Each case: codex in its own folder, that file or that folder opened to others.
    using Open = std::pair<QFile::Permissions, QFile::Permissions>;
    int index = 0;
    for (const auto& [fileOpenTo, folderOpenTo] :
         {Open{QFile::WriteGroup, {}}, Open{{}, QFile::WriteGroup}}) {
        const QString file = root.executable(QString::number(++index));
        open(file, fileOpenTo);
        open(QFileInfo(file).path(), folderOpenTo);
        EXPECT_FALSE(TrustedCodexBinaryLocator::verifyCode(file, u"codex"_s)) << index;
    }
    if (geteuid() == 0) {  // giving a folder away needs root
        const QString given = root.executable(u"given"_s);
        ASSERT_EQ(chown(QFile::encodeName(QFileInfo(given).path()).constData(), 65534, 65534), 0);
        EXPECT_FALSE(TrustedCodexBinaryLocator::verifyCode(given, u"codex"_s));
    }
    QTemporaryDir temporary;  // in the system temporary folder, open to everyone
    const QString underTemporary = temporary.filePath(u"codex"_s);
    QFile::copy(root.executable(u"copied"_s), underTemporary);
    EXPECT_FALSE(TrustedCodexBinaryLocator::verifyCode(underTemporary, u"codex"_s));
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

TEST(TrustedCodexBinaryLocatorTest, LocateTakesTheFirstTrustedCandidateExaminingEachFileOnce) {
    int checks = 0;
    auto locate = [&](const QString& searchPath) {
        checks = 0;
        return TrustedCodexBinaryLocator(searchPath, {u"/nonexistent/codex"_s},
                                         [&](const QString& path, const QString& id) {
                                             ++checks;
                                             return TrustedCodexBinaryLocator::verifyCode(path, id);
                                         })
            .locate();
    };
    auto failure = [&](const QString& searchPath) {
        return test::errorOf<CodexAppServerError>([&] { locate(searchPath); }).code();
    };
    const TrustedFolder root;
    const QString real = root.executable(u"real"_s);
    const QString linked = root.folder(u"linked"_s);
    ASSERT_TRUE(QFile::link(real, QDir(linked).filePath(u"codex"_s)));
    // An untrusted copy first, twice; empty entries and a folder without codex between.
    const QString shared = QFileInfo(root.executable(u"shared"_s)).path();
    open(shared, QFile::WriteOther);
    EXPECT_EQ(locate(u':' + shared + u"::"_s + shared + u':' + root.folder(u"empty"_s) + u':' +
                     linked + u':' + root.folder(u"real"_s) + u':'),
              real);
    EXPECT_EQ(checks, 2);

    EXPECT_EQ(failure(shared), Code::UntrustedCodexInstallation);
    EXPECT_EQ(checks, 1);

    // A file that is not executable, a folder named codex, a dangling link: no installation.
    QFile::setPermissions(root.executable(u"plain"_s), QFile::ReadOwner);
    root.folder(u"directory/codex"_s);
    const QString dangling = root.folder(u"dangling"_s);
    ASSERT_TRUE(QFile::link(u"/nonexistent"_s, QDir(dangling).filePath(u"codex"_s)));
    EXPECT_EQ(
        failure(root.folder(u"plain"_s) + u':' + root.folder(u"directory"_s) + u':' + dangling),
        Code::CodexNotInstalled);
    EXPECT_EQ(checks, 0);
}

}  // namespace
