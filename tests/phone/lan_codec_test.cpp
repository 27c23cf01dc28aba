#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QtEndian>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "model/test_usages.h"
#include "phone/lan_frame_codec.h"
#include "phone/lan_pairing_error.h"
#include "phone/lan_pairing_storage.h"
#include "support/temporary_config_home.h"

namespace {

QByteArray header(std::uint32_t length) {
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(length, bytes.data());
    return bytes;
}

QByteArray frameOf(const char* json) {
    return header(static_cast<std::uint32_t>(std::strlen(json))) + json;
}

std::vector<LANMessageKind> kinds(const std::vector<LANMessage>& messages) {
    std::vector<LANMessageKind> result;
    for (const LANMessage& message : messages) {
        result.push_back(message.kind);
    }
    return result;
}

TEST(LANFrameCodec, DrainTakesCompleteFramesAndKeepsTheRest) {
    const QByteArray refresh = frameOf(R"({"kind":"refresh"})");
    const QByteArray paired = LANFrameCodec::frame(LANMessage::paired());
    EXPECT_EQ(paired, frameOf(R"({"kind":"paired"})"));
    struct Row {
        const char* name;
        QByteArray buffer;
        std::vector<LANMessageKind> expected;
        QByteArray rest;
    };
    const Row rows[] = {
        {"three bytes", header(18).left(3), {}, header(18).left(3)},
        {"header only", header(18), {}, header(18)},
        {"two and a half",
         refresh + paired + refresh.left(7),
         {LANMessageKind::refresh, LANMessageKind::paired},
         refresh.left(7)},
        {"largest length waits for its body",
         header(LANFrameCodec::kMaxJsonBytes) + "{",
         {},
         header(LANFrameCodec::kMaxJsonBytes) + "{"},
        {"unknown and null keys",
         frameOf(R"({"kind":"refresh","secret":null,"x":1})"),
         {LANMessageKind::refresh},
         {}},
    };
    for (const Row& row : rows) {
        QByteArray buffer = row.buffer;
        EXPECT_EQ(kinds(LANFrameCodec::drain(buffer)), row.expected) << row.name;
        EXPECT_EQ(buffer, row.rest) << row.name;
    }
    // Split anywhere, a frame comes out whole once its last byte is there.
    QByteArray split;
    std::vector<LANMessage> out;
    for (const char byte : paired) {
        split.append(byte);
        for (LANMessage& message : LANFrameCodec::drain(split)) {
            out.push_back(message);
        }
    }
    EXPECT_EQ(out, std::vector<LANMessage>{LANMessage::paired()});
}

TEST(LANFrameCodec, DrainRefusesBadLengthsAndMessages) {
    const QByteArray invalidCode[] = {header(0), header(LANFrameCodec::kMaxJsonBytes + 1)};
    for (QByteArray buffer : invalidCode) {
        try {
            LANFrameCodec::drain(buffer);
            ADD_FAILURE() << "no error";
        } catch (const LANPairingError& error) {
            EXPECT_EQ(error.code(), LANPairingError::Code::invalidCode);
        }
    }
    const char* undecodable[] = {"{", R"({"kind":"hello"})", R"({"secret":"s"})", "[]",
                                 R"({"kind":"usage","snapshot":{"usages":7}})"};
    for (const char* json : undecodable) {
        QByteArray buffer = frameOf(R"({"kind":"refresh"})") + frameOf(json) + "rest";
        EXPECT_THROW(LANFrameCodec::drain(buffer), json::DecodingError) << json;
        EXPECT_EQ(buffer, "rest") << "the bad frame and those before it are gone: " << json;
    }
}

TEST(LANFrameCodec, FrameRefusesMessagesAboveTheLimit) {
    AgentUsage usage = test::usage("codex");
    usage.agentName = std::string(LANFrameCodec::kMaxJsonBytes, 'x');
    try {
        LANFrameCodec::frame(LANMessage::usageMessage(AgentUsageSnapshot({usage})));
        ADD_FAILURE() << "framed";
    } catch (const LANPairingError& error) {
        EXPECT_EQ(error.code(), LANPairingError::Code::unavailable);
    }
    EXPECT_EQ(LANFrameCodec::frameJson(QByteArray(LANFrameCodec::kMaxJsonBytes, ' ')).size(),
              LANFrameCodec::kMaxJsonBytes + 4);
}

TEST(LANMessage, JsonLeavesAbsentFieldsOutAndRoundTrips) {
    LANMessage full = LANMessage::usageMessage(AgentUsageSnapshot({test::usage("claude")}));
    full.secret = QStringLiteral("s");
    full.deviceModel = QStringLiteral("iPhone15,2");
    full.usage = test::usage("codex", "pro", {test::window(42, 18000)});
    full.message = QStringLiteral("m");
    full.apnsToken = QStringLiteral("t");
    full.apnsEnvironment = QStringLiteral("production");
    const LANMessage messages[] = {full, LANMessage::errorMessage(QStringLiteral("no")),
                                   LANMessage::of(LANMessageKind::deviceToken)};
    for (const LANMessage& message : messages) {
        EXPECT_EQ(LANMessage::decode(message.encode(), 1 << 20), message) << message.encode();
    }
    EXPECT_EQ(LANMessage::errorMessage(QStringLiteral("no")).encode(),
              R"({"kind":"error","message":"no"})");
}

TEST(LANPairingPayload, ServerIdentityAndQrText) {
    const LANPairingPayload identity = LANPairingPayload::makeServerIdentity();
    const QRegularExpression name(QStringLiteral("^quotamind-[0-9a-f]{16}$"));
    const QRegularExpression secret(QStringLiteral("^[0-9a-f]{64}$"));
    EXPECT_TRUE(name.match(identity.serviceName).hasMatch()) << identity.serviceName.toStdString();
    EXPECT_TRUE(secret.match(identity.secret).hasMatch());
    EXPECT_NE(identity, LANPairingPayload::makeServerIdentity());
    EXPECT_EQ(identity.qrValue(), QStringLiteral("quotamind://pair?v=1&service=%1&secret=%2")
                                      .arg(identity.serviceName, identity.secret));
    const LANPairingPayload odd{QStringLiteral("a b&c"), QStringLiteral("x=y%")};
    EXPECT_EQ(LANPairingPayload::fromQrValue(odd.qrValue()), odd) << odd.qrValue().toStdString();
    for (const char* text : {"quotamind://pair?v=2&service=a&secret=b", "https://pair?v=1",
                             "quotamind://pair?v=1&service=a"}) {
        EXPECT_EQ(LANPairingPayload::fromQrValue(QString::fromLatin1(text)), std::nullopt) << text;
    }
}

class LANPairingStorageTest : public test::TemporaryConfigHome {};

TEST_F(LANPairingStorageTest, LoadsWhatItSavedAndNothingElse) {
    LANPairingStorage storage;
    const PairedPhoneInfo phone{QStringLiteral("iPhone"), Timestamp(788918400.5)};
    storage.save(phone, LANPairingStorage::kPairedPhoneKey);
    EXPECT_EQ(storage.load<PairedPhoneInfo>(LANPairingStorage::kPairedPhoneKey), phone);
    storage.save(PairedPhoneInfo{QStringLiteral("x"), Timestamp(std::nan(""))},
                 LANPairingStorage::kPairedPhoneKey);
    EXPECT_EQ(storage.load<PairedPhoneInfo>(LANPairingStorage::kPairedPhoneKey), phone)
        << "a record that cannot be encoded is not stored";
    Preferences::standard().setData(LANPairingStorage::kServerIdentityKey, R"({"serviceName":1})");
    EXPECT_EQ(storage.load<LANPairingPayload>(LANPairingStorage::kServerIdentityKey), std::nullopt);
    const LANPairingPayload made = storage.serverIdentity();
    EXPECT_EQ(storage.serverIdentity(), made) << "made once, then kept";
    storage.remove(LANPairingStorage::kPairedPhoneKey);
    EXPECT_EQ(storage.load<PairedPhoneInfo>(LANPairingStorage::kPairedPhoneKey), std::nullopt);
}

}  // namespace
