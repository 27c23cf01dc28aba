#include "fuzz_input.h"
#include "phone/lan_frame_codec.h"
#include "phone/lan_pairing_error.h"

// The bytes a phone sends on the LAN connection, cut into frames and messages.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray buffer = fuzz::bytes(data, size);
    try {
        LanFrameCodec::drain(buffer);
    } catch (const LanPairingError&) {
    } catch (const json::DecodingError&) {
    }
    return 0;
}
