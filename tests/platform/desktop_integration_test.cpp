#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/autostart.h"
#include "platform/single_instance.h"

namespace {

TEST(XdgAutostartTest, WritesAQuotedEntryAndReadsTheDesktopsSwitches) {
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("autostart/quotamind.desktop"));
    XdgAutostart item(path, QStringLiteral("/opt/my apps/$quota\"mind%"));
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=\"/opt/my apps/\\$quota\\\"mind%%\" --background\n"));
    file.close();

    for (const QByteArray switchedOff : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\n" + switchedOff + "\n");
        file.close();
        EXPECT_FALSE(item.isEnabled()) << switchedOff.constData();
    }
    // A file where its folder must go: a platform error.
    XdgAutostart blocked(path + QStringLiteral("/quotamind.desktop"), QStringLiteral("x"));
    EXPECT_THROW(blocked.setEnabled(true), PlatformError);
    EXPECT_FALSE(blocked.isEnabled());
    item.setEnabled(false);
    EXPECT_FALSE(QFile::exists(path));
    item.setEnabled(false);
}

TEST(XdgAutostartTest, AnOlderEntryGainsTheBackgroundOption) {
    const QByteArray actions = "[Desktop Action open]\nExec=quotamind\n";
    // An empty result: left alone (already up to date, or switched off by the desktop).
    QTemporaryDir home;
    QFile file(home.filePath(QStringLiteral("quotamind.desktop")));
    for (const auto& [before, after] : std::vector<std::pair<QByteArray, QByteArray>>{
             {"[Desktop Entry]\nExec=\"/usr/bin/quotamind\"\n" + actions,
              "[Desktop Entry]\nExec=\"/usr/bin/quotamind\" --background\n" + actions},
             {"[Desktop Entry]\nExec=quotamind --background\n", {}},
             {"[Desktop Entry]\nExec=quotamind\nHidden=true\n", {}}}) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(before));
        file.close();
        XdgAutostart(file.fileName(), QStringLiteral("/bin/quotamind")).addBackgroundOption();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), after.isEmpty() ? before : after);
        file.close();
    }
}

// A second launch whose running copy hangs must not report that it showed itself.
TEST(SingleInstanceTest, AnOwnerThatNeverAnswersFailsTheActivation) {
    QProcess owner;
    owner.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import dbus, time; dbus.SessionBus().request_name('%1'); "
                                "print(flush=True); time.sleep(600)")
                     .arg(SingleInstance::kServiceName)});
    if (!owner.waitForReadyRead(10000)) {
        GTEST_SKIP() << "no session bus, or no python3-dbus to hold the name";
    }
    EXPECT_EQ(SingleInstance().claim(100), SingleInstance::Outcome::ActivationFailed);
    owner.kill();
    owner.waitForFinished();
}

}  // namespace
