#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "phone/lan_message.h"

// The framing of the phone link: a 4-byte big-endian length, then that many bytes of JSON (one
// LanMessage).
namespace LanFrameCodec {

inline constexpr std::size_t kHeaderBytes = 4;
// The largest JSON a frame may carry, inclusive.
inline constexpr std::uint32_t kMaxJsonBytes = 1024 * 1024;

// One frame of the message's compact JSON. Throws LanPairingError::unavailable for JSON longer
// than kMaxJsonBytes, or json::EncodingError.
QByteArray frame(const LanMessage& message);
// A frame of JSON text already encoded; the same limit.
QByteArray frameJson(const QByteArray& json);

// Removes every complete frame from the front of `buffer` and returns their messages in arrival
// order; a partial frame stays for the next call. Throws LanPairingError::invalidCode as soon as
// a header announces zero bytes or more than kMaxJsonBytes, and json::DecodingError for a frame
// that is not a message (that frame, and the ones before it, are removed). After a throw the
// messages decoded earlier in the call are lost: the connection is broken.
std::vector<LanMessage> drain(QByteArray& buffer);

}  // namespace LanFrameCodec
