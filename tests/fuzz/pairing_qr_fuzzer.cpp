#include "fuzz_input.h"
#include "phone/lan_pairing_payload.h"

// The text of a scanned pairing QR code.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto payload =
            LanPairingPayload::fromQrValue(QString::fromUtf8(fuzz::bytes(data, size)))) {
        payload->qrValue();
    }
    return 0;
}
