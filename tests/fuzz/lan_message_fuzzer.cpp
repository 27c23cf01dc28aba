#include "fuzz_input.h"
#include "phone/lan_frame_codec.h"

// The JSON of one LAN frame; a message read must encode and read back the same.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const LanMessage message =
            LanMessage::decode(fuzz::text(data, size), LanFrameCodec::kMaxJsonBytes);
        if (!(LanMessage::decode(message.encode(), LanFrameCodec::kMaxJsonBytes) == message)) {
            __builtin_trap();
        }
    } catch (const json::DecodingError&) {
    }
    return 0;
}
