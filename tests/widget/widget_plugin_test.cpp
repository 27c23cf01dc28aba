#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPluginLoader>

#include "model/shared_snapshot_store.h"
#include "model/test_usages.h"
#include "platform/widget_center.h"
#include "support/temporary_config_home.h"
#include "widget/widget_extension.h"

namespace {

class WidgetPluginTest : public test::TemporaryConfigHome {};

}  // namespace

// A host's view: the plugin loaded from its file reads what the tray program stored, afresh on
// every call, under the kinds the tray program reloads.
TEST_F(WidgetPluginTest, LoadedPluginReadsTheSharedSnapshot) {
    QPluginLoader loader(QStringLiteral(QUOTAMIND_WIDGET_PLUGIN));
    auto* extension = qobject_cast<WidgetExtension*>(loader.instance());
    ASSERT_NE(extension, nullptr) << loader.errorString().toStdString();

    QStringList kinds;
    for (const WidgetKindInfo& info : extension->kinds()) {
        kinds << info.kind;
    }
    EXPECT_EQ(kinds, (QStringList{WidgetCenter::kLegacyKind, WidgetCenter::kConfigurableKind,
                                  WidgetCenter::kBothLimitsKind}));

    const Timestamp now(788918400.25);
    const AgentUsage claude = test::usage("claude", "max", {test::window(20, 18000)});
    SharedSnapshotStore::save(AgentUsageSnapshot({test::usage("codex"), claude}));
    const WidgetConfiguration chosen{QStringLiteral("claude"), QStringLiteral("fiveHour")};
    EXPECT_EQ(extension->agents(),
              (QList<WidgetAgent>{{QStringLiteral("codex"), QStringLiteral("Codex")},
                                  {QStringLiteral("claude"), QStringLiteral("Claude")}}));
    EXPECT_EQ(extension->configurationSummary(WidgetCenter::kConfigurableKind, chosen),
              QStringLiteral("Show 5-hour limit for Claude"));
    const LimitEntry entry =
        extension->timeline(WidgetCenter::kConfigurableKind, chosen, now).entries.front();
    EXPECT_EQ(entry.usage, claude);
    EXPECT_EQ(
        extension->accessibleTexts(WidgetCenter::kConfigurableKind, WidgetFamily::Small, entry, now)
            .front(),
        QStringLiteral("Claude 5H limit"));

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
