#include "lan_frame_codec.h"

#include <QtEndian>
#include <string_view>

#include "core/json.h"
#include "phone/lan_pairing_error.h"

namespace LanFrameCodec {

QByteArray frame(const LanMessage& message) {
    return frameJson(QByteArray::fromStdString(message.encode()));
}

QByteArray frameJson(const QByteArray& json) {
    if (static_cast<std::size_t>(json.size()) > kMaxJsonBytes) {
        throw LanPairingError(LanPairingError::Code::Unavailable);
    }
    QByteArray bytes(static_cast<qsizetype>(kHeaderBytes), Qt::Uninitialized);
    qToBigEndian(static_cast<std::uint32_t>(json.size()), bytes.data());
    bytes.append(json);
    return bytes;
}

std::vector<LanMessage> drain(QByteArray& buffer) {
    std::vector<LanMessage> messages;
    // Frames are consumed by moving an offset and cut from the buffer once, so that many small
    // frames in one read cost one copy, not one per frame.
    qsizetype consumed = 0;
    auto cut = [&buffer, &consumed] { buffer.remove(0, consumed); };
    for (;;) {
        const qsizetype available = buffer.size() - consumed;
        if (available < static_cast<qsizetype>(kHeaderBytes)) {
            break;
        }
        const auto length = qFromBigEndian<std::uint32_t>(buffer.constData() + consumed);
        if (length == 0 || length > kMaxJsonBytes) {
            cut();
            throw LanPairingError(LanPairingError::Code::InvalidCode);
        }
        const qsizetype frameBytes = static_cast<qsizetype>(kHeaderBytes) + length;
        if (available < frameBytes) {
            break;
        }
        const std::string_view json(buffer.constData() + consumed + kHeaderBytes, length);
        try {
            messages.push_back(LanMessage::decode(json, kMaxJsonBytes));
        } catch (const json::DecodingError&) {
            consumed += frameBytes;
            cut();
            throw;
        }
        consumed += frameBytes;
    }
    cut();
    return messages;
}

}  // namespace LanFrameCodec
