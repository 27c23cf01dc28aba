#include <gtest/gtest.h>

#include <cmath>

#include "lan_test_peer.h"
#include "phone/lan_pairing_error.h"
#include "phone/lan_pairing_storage.h"
#include "support/temporary_config_home.h"
#include "support/usage_builder.h"

namespace {

using test::frameHeader;
using test::frameOf;

// The JSON of the messages drained from `buffer`, one a line, or the error drain threw.
std::string drained(QByteArray& buffer) {
    std::string text;
    try {
        for (const LanMessage& message : LanFrameCodec::drain(buffer)) {
            text += message.encode() + '\n';
        }
    } catch (const LanPairingError& error) {
        return error.code() == LanPairingError::Code::InvalidCode ? "bad length" : "?";
    } catch (const json::DecodingError&) {
        return "decoding error";
    }
    return text;
}

TEST(LanFrameCodec, DrainTakesCompleteFramesKeepsTheRestAndRefusesBadOnes) {
    const QByteArray refresh = frameOf(R"({"kind":"refresh","secret":null,"x":1})");
    const QByteArray paired = LanFrameCodec::frame(LanMessage::paired());
    EXPECT_EQ(paired, frameOf(R"({"kind":"paired"})"));
    const QByteArray largest = frameHeader(LanFrameCodec::kMaxJsonBytes) + "{";
    const QByteArray tooLong = frameHeader(LanFrameCodec::kMaxJsonBytes + 1);
    const std::string both = "{\"kind\":\"refresh\"}\n{\"kind\":\"paired\"}\n";
    // A bad frame goes with those before it; a bad length stays, as nothing after it can be read.
    const struct {
        QByteArray buffer;
        std::string out;
        QByteArray rest;
    } rows[] = {
        {paired.left(3), "", paired.left(3)},
        {refresh + paired + refresh.left(7), both, refresh.left(7)},
        {largest, "", largest},
        {refresh + frameHeader(0), "bad length", frameHeader(0)},
        {refresh + tooLong, "bad length", tooLong},
        {refresh + frameOf("{") + "rest", "decoding error", "rest"},
        {frameOf(R"({"kind":"hello"})"), "decoding error", ""},
        {frameOf(R"({"secret":"s"})"), "decoding error", ""},
    };
    for (const auto& row : rows) {
        QByteArray buffer = row.buffer;
        EXPECT_EQ(drained(buffer), row.out) << row.buffer.toStdString();
        EXPECT_EQ(buffer, row.rest) << row.buffer.toStdString();
    }
    AgentUsage huge = test::usage("codex");
    huge.agentName = std::string(LanFrameCodec::kMaxJsonBytes, 'x');
    EXPECT_THROW(LanFrameCodec::frame(LanMessage::usageMessage(AgentUsageSnapshot({huge}))),
                 LanPairingError);
}

TEST(LanPairingPayload, ServerIdentityAndQrText) {
    const LanPairingPayload identity = LanPairingPayload::makeServerIdentity();
    EXPECT_NE(identity, LanPairingPayload::makeServerIdentity());
    EXPECT_EQ(identity.qrValue(), QStringLiteral("quotamind://pair?v=1&service=%1&secret=%2")
                                      .arg(identity.serviceName, identity.secret));
    // Any name and secret come back, whatever they hold.
    const LanPairingPayload odd{QStringLiteral("%41%+ &=#?/\"[]%") + QChar(0),
                                QString::fromUtf8("é😀\t%%41+=&")};
    EXPECT_EQ(LanPairingPayload::fromQrValue(odd.qrValue()), odd) << odd.qrValue().toStdString();
    EXPECT_FALSE(
        LanPairingPayload::fromQrValue(QStringLiteral("quotamind://pair?v=2&service=a&secret=b")));
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
    EXPECT_FALSE(storage.load<LanPairingPayload>(LanPairingStorage::kServerIdentityKey));
    const LanPairingPayload made = storage.serverIdentity();
    EXPECT_EQ(storage.serverIdentity(), made) << "made once, then kept";
}

}  // namespace
