#include "core/json.h"
#include "fuzz_input.h"
#include "sources/codex/codex_auth_client.h"

// A body from the ChatGPT backend: as a usage answer, and as an error answer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    CodexAuthClient::serverError(500, body);
    try {
        CodexAuthClient::decodeUsage(body, UsageSource::AccountSession,
                                     Timestamp::fromUnixSeconds(1.7e9));
    } catch (const json::DecodingError&) {
    } catch (const CodexClientError&) {
    }
    return 0;
}
