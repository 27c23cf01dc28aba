#include "core/preferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <numeric>

#include "support/temporary_config_home.h"

namespace {

class PreferencesTest : public test::TemporaryConfigHome {};

const QString kKey = QStringLiteral("some.key.v1");

}  // namespace

TEST_F(PreferencesTest, ValuesOfEveryKindRoundTripThroughTheFileAndCanBeRemoved) {
    Preferences preferences = Preferences::standard();
    QByteArray binary(256, 0);
    std::iota(binary.begin(), binary.end(), 0);
    const QString text = QStringLiteral("Grüße = [x] ; \\n");
    const Timestamp date(788918400.123456789);
    preferences.setData(QStringLiteral("data"), binary);
    preferences.setString(QStringLiteral("string"), text);
    preferences.setBool(QStringLiteral("bool"), false);
    preferences.setDate(QStringLiteral("date"), date);
    // A fresh instance reads from the file, as another process would.
    const Preferences reader = Preferences::standard();
    EXPECT_EQ(reader.data(QStringLiteral("data")), binary);
    EXPECT_EQ(reader.string(QStringLiteral("string")), text);
    EXPECT_EQ(reader.boolean(QStringLiteral("bool")), false);
    EXPECT_EQ(reader.date(QStringLiteral("date")), date);
    EXPECT_FALSE(reader.date(QStringLiteral("string")).has_value());
    preferences.remove(QStringLiteral("data"));
    EXPECT_FALSE(reader.data(QStringLiteral("data")).has_value());
}

// Quotamind.conf holds the pairing secret: the user's alone whatever the umask, through QSettings'
// rewrites, and a looser one is closed at start.
TEST_F(PreferencesTest, FilesAreTheOwnersAloneAndALooserOneIsTightened) {
    const mode_t umask = ::umask(0);
    Preferences preferences = Preferences::standard();
    preferences.setString(kKey, QStringLiteral("created"));
    preferences.setString(kKey, QStringLiteral("rewritten"));
    const QByteArray file = QFile::encodeName(preferences.filePath());
    const auto mode = [&] {
        struct stat status {};
        return ::stat(file.constData(), &status) == 0 ? status.st_mode & 0777 : 0;
    };
    EXPECT_EQ(mode(), 0600u);
    ::chmod(file.constData(), 0664);
    preferences.restrictToOwner();
    EXPECT_EQ(mode(), 0600u);
    ::umask(umask);
}

TEST_F(PreferencesTest, AppGroupUsesItsOwnFileOnlyWhenItCanBothReadAndWriteIt) {
    Preferences::appGroup(QStringLiteral("group.x")).setString(kKey, QStringLiteral("shared"));
    EXPECT_FALSE(Preferences::standard().string(kKey).has_value());
    // A read-only group file (by its mode, which root would ignore) and a folder in its place:
    // reads and writes both go to the standard file, so a stale shared value never hides a new one.
    const QString readOnly = path(QStringLiteral("brindlecove/group.x.conf"));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("brindlecove/group.y.conf"))));
    for (const QString& group : {QStringLiteral("group.x"), QStringLiteral("group.y")}) {
        Preferences blocked = Preferences::appGroup(group);
        blocked.setString(kKey, group);
        EXPECT_EQ(blocked.string(kKey), group);
        EXPECT_EQ(Preferences::standard().string(kKey), group);
    }
    EXPECT_EQ(Preferences(readOnly).string(kKey), QStringLiteral("shared"));
}
