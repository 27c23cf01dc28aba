#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "lan_test_peer.h"
#include "phone/lan_pairing_error.h"
#include "phone/lan_pairing_storage.h"
#include "support/temporary_config_home.h"
#include "support/usage_builder.h"

namespace {

using test::frameHeader;
using test::frameOf;

template <typename Call>
std::optional<LanPairingError::Code> pairingErrorOf(Call call) {
    try {
        call();
    } catch (const LanPairingError& error) {
        return error.code();
    }
    return std::nullopt;
}

TEST(LanFrameCodec, DrainTakesCompleteFramesAndKeepsTheRest) {
    const QByteArray refresh = frameOf(R"({"kind":"refresh","secret":null,"x":1})");
    const QByteArray paired = LanFrameCodec::frame(LanMessage::paired());
    EXPECT_EQ(paired, frameOf(R"({"kind":"paired"})"));
    const LanMessage refreshMessage = LanMessage::of(LanMessageKind::Refresh);
    const QByteArray largest = frameHeader(LanFrameCodec::kMaxJsonBytes) + "{";
    struct Row {
        QByteArray buffer;
        std::vector<LanMessage> expected;
        QByteArray rest;
    };
    const Row rows[] = {
        {paired.left(3), {}, paired.left(3)},
        {refresh + paired + refresh.left(7),
         {refreshMessage, LanMessage::paired()},
         refresh.left(7)},
        {largest, {}, largest},
    };
    for (const Row& row : rows) {
        QByteArray buffer = row.buffer;
        EXPECT_EQ(LanFrameCodec::drain(buffer), row.expected) << row.buffer.toStdString();
        EXPECT_EQ(buffer, row.rest);
    }
    // Split anywhere, a frame comes out whole once its last byte is there.
    QByteArray split;
    std::vector<LanMessage> out;
    for (const char byte : paired) {
        split.append(byte);
        std::ranges::move(LanFrameCodec::drain(split), std::back_inserter(out));
    }
    EXPECT_EQ(out, std::vector<LanMessage>{LanMessage::paired()});
}

TEST(LanFrameCodec, RefusesBadLengthsAndMessages) {
    for (QByteArray buffer : {frameHeader(0), frameHeader(LanFrameCodec::kMaxJsonBytes + 1)}) {
        EXPECT_EQ(pairingErrorOf([&] { LanFrameCodec::drain(buffer); }),
                  LanPairingError::Code::InvalidCode);
    }
    for (const char* json : {"{", R"({"kind":"hello"})", R"({"secret":"s"})",
                             R"({"kind":"usage","snapshot":{"usages":7}})"}) {
        QByteArray buffer = frameOf(R"({"kind":"refresh"})") + frameOf(json) + "rest";
        EXPECT_THROW(LanFrameCodec::drain(buffer), json::DecodingError) << json;
        EXPECT_EQ(buffer, "rest") << "the bad frame and those before it are gone: " << json;
    }
    AgentUsage huge = test::usage("codex");
    huge.agentName = std::string(LanFrameCodec::kMaxJsonBytes, 'x');
    EXPECT_EQ(pairingErrorOf([&] {
                  LanFrameCodec::frame(LanMessage::usageMessage(AgentUsageSnapshot({huge})));
              }),
              LanPairingError::Code::Unavailable);
}

TEST(LanMessage, JsonLeavesAbsentFieldsOutAndRoundTrips) {
    LanMessage full = LanMessage::usageMessage(AgentUsageSnapshot({test::usage("claude")}));
    full.secret = QStringLiteral("s");
    full.deviceModel = QStringLiteral("iPhone15,2");
    full.usage = test::usage("codex", {test::fiveHour(42)});
    full.message = QStringLiteral("m");
    full.apnsToken = QStringLiteral("t");
    full.apnsEnvironment = QStringLiteral("production");
    EXPECT_EQ(LanMessage::decode(full.encode(), 1 << 20), full);
    EXPECT_EQ(LanMessage::errorMessage(QStringLiteral("no")).encode(),
              R"({"kind":"error","message":"no"})");
}

TEST(LanPairingPayload, ServerIdentityAndQrText) {
    const LanPairingPayload identity = LanPairingPayload::makeServerIdentity();
    EXPECT_NE(identity, LanPairingPayload::makeServerIdentity());
    EXPECT_EQ(identity.qrValue(), QStringLiteral("quotamind://pair?v=1&service=%1&secret=%2")
                                      .arg(identity.serviceName, identity.secret));
    // Any name and secret come back, whatever they hold.
    const QString pieces[] = {QStringLiteral("%41"), QStringLiteral("%"), QStringLiteral("+ &=#?/"),
                              QString::fromUtf8("é😀\t\"[]"), QString(1, QChar(0))};
    std::mt19937 random(12);
    for (int i = 0; i < 400; ++i) {
        LanPairingPayload odd;
        for (QString* text : {&odd.serviceName, &odd.secret}) {
            for (auto n = 1 + random() % 4; n > 0; --n) {
                text->append(pieces[random() % std::size(pieces)]);
            }
        }
        ASSERT_EQ(LanPairingPayload::fromQrValue(odd.qrValue()), odd)
            << odd.qrValue().toStdString();
    }
    EXPECT_EQ(
        LanPairingPayload::fromQrValue(QStringLiteral("quotamind://pair?v=2&service=a&secret=b")),
        std::nullopt);
}

TEST(PairedPhoneInfo, ModelIsCleanedAndCutTo128Characters) {
    const std::pair<std::optional<QString>, QString> rows[] = {
        {std::nullopt, QStringLiteral("iPhone")},
        {QStringLiteral(" \t\n\x01 "), QStringLiteral("iPhone")},
        {QStringLiteral("a\x1b[1mb\x7f\u0085c"), QStringLiteral("a[1mbc")},
        {QString(200 * 1024, QLatin1Char('x')), QString(128, QLatin1Char('x'))},
        {QString::fromUtf8("😀").repeated(200), QString::fromUtf8("😀").repeated(128)},
    };
    for (const auto& [sent, model] : rows) {
        EXPECT_EQ(PairedPhoneInfo::modelFrom(sent), model) << sent.value_or(QString()).size();
    }
}

class LanPairingStorageTest : public test::TemporaryConfigHome {};

TEST_F(LanPairingStorageTest, LoadsWhatItSavedAndNothingElse) {
    LanPairingStorage storage;
    const PairedPhoneInfo phone{QStringLiteral("iPhone"), Timestamp(788918400.5)};
    storage.save(phone, LanPairingStorage::kPairedPhoneKey);
    storage.save(PairedPhoneInfo{QStringLiteral("x"), Timestamp(std::nan(""))},
                 LanPairingStorage::kPairedPhoneKey);
    EXPECT_EQ(storage.load<PairedPhoneInfo>(LanPairingStorage::kPairedPhoneKey), phone)
        << "a record that cannot be encoded is not stored";
    Preferences::standard().setData(LanPairingStorage::kServerIdentityKey, R"({"serviceName":1})");
    EXPECT_EQ(storage.load<LanPairingPayload>(LanPairingStorage::kServerIdentityKey), std::nullopt);
    const LanPairingPayload made = storage.serverIdentity();
    EXPECT_EQ(storage.serverIdentity(), made) << "made once, then kept";
}

}  // namespace
