#include "core/preferences.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "support/temporary_config_home.h"

namespace {

class PreferencesTest : public test::TemporaryConfigHome {};

const QString kKey = QStringLiteral("some.key.v1");

}  // namespace

TEST_F(PreferencesTest, ValuesOfEveryKindRoundTripAndCanBeRemoved) {
    Preferences preferences = Preferences::standard();
    QByteArray binary;
    for (int i = 0; i < 256; ++i) {
        binary.append(static_cast<char>(i));
    }
    preferences.setData(QStringLiteral("data.v1"), binary);
    preferences.setString(QStringLiteral("string.v1"), QStringLiteral("Grüße = [x] ; \\n"));
    preferences.setBool(QStringLiteral("bool.v1"), false);
    const Timestamp date(788918400.123456789);
    preferences.setDate(QStringLiteral("date.v1"), date);

    // A fresh instance reads from the file, as another process would.
    const Preferences reader = Preferences::standard();
    EXPECT_EQ(reader.data(QStringLiteral("data.v1")), binary);
    EXPECT_EQ(reader.string(QStringLiteral("string.v1")), QStringLiteral("Grüße = [x] ; \\n"));
    EXPECT_EQ(reader.boolean(QStringLiteral("bool.v1")), false);
    EXPECT_EQ(reader.date(QStringLiteral("date.v1")), date);

    preferences.remove(QStringLiteral("data.v1"));
    EXPECT_FALSE(reader.data(QStringLiteral("data.v1")).has_value());
    EXPECT_FALSE(reader.boolean(QStringLiteral("string.v1")).has_value());
    EXPECT_FALSE(reader.date(QStringLiteral("string.v1")).has_value());
}

TEST_F(PreferencesTest, AppGroupUsesItsOwnFileOnlyWhenItCanBothReadAndWriteIt) {
    Preferences::appGroup(QStringLiteral("group.x")).setString(kKey, QStringLiteral("shared"));
    EXPECT_FALSE(Preferences::standard().string(kKey).has_value());

    // A read-only group file (by its mode, which root would ignore) and a folder in its place:
    // reads and writes both go to the standard file, so a stale shared value never hides a new one.
    const QString readOnly = path(QStringLiteral("brindlecove/group.x.conf"));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("brindlecove/group.y.conf"))));
    for (const char* group : {"group.x", "group.y"}) {
        Preferences blocked = Preferences::appGroup(QString::fromUtf8(group));
        blocked.setString(kKey, QString::fromUtf8(group));
        EXPECT_EQ(blocked.string(kKey), QString::fromUtf8(group));
        EXPECT_EQ(Preferences::standard().string(kKey), QString::fromUtf8(group));
    }
    EXPECT_EQ(Preferences(readOnly).string(kKey), QStringLiteral("shared"));
}
