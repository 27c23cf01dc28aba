#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPluginLoader>

#include "model/shared_snapshot_store.h"
#include "platform/widget_center.h"
#include "support/temporary_config_home.h"
#include "support/usage_builder.h"
#include "widget/widget_extension.h"

using namespace Qt::StringLiterals;

namespace {

class WidgetPluginTest : public test::TemporaryConfigHome {};

}  // namespace

// A host's view: the plugin loaded from its file reads what the tray program stored, afresh on
// every call.
TEST_F(WidgetPluginTest, LoadedPluginReadsTheSharedSnapshot) {
    QPluginLoader loader(QStringLiteral(QUOTAMIND_WIDGET_PLUGIN));
    auto* extension = qobject_cast<WidgetExtension*>(loader.instance());
    ASSERT_NE(extension, nullptr) << loader.errorString().toStdString();

    const Timestamp now = test::kReadAt;
    const AgentUsage claude = test::usage("claude", {test::fiveHour(20)});
    SharedSnapshotStore::save(test::snapshot({test::usage("codex"), claude}));
    const WidgetConfiguration chosen{u"claude"_s, u"fiveHour"_s};
    EXPECT_EQ(extension->agents().size(), 2);
    const LimitEntry entry =
        extension->timeline(WidgetCenter::kConfigurableKind, chosen, now).entries.front();
    EXPECT_EQ(entry.usage, claude);

    QImage image(extension->familySize(WidgetFamily::Small).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    extension->paint(painter, image.rect(), WidgetCenter::kConfigurableKind, WidgetFamily::Small,
                     entry, {}, now);
    painter.end();
    EXPECT_EQ(image.pixel(3, 85), qRgb(255, 255, 255)) << "the card is drawn";

    SharedSnapshotStore::save(AgentUsageSnapshot({test::usage("codex")}));
    EXPECT_FALSE(
        extension->timeline(WidgetCenter::kConfigurableKind, chosen, now).entries.front().usage);
}
