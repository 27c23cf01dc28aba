#include "fuzz_input.h"
#include "sources/codex/codex_auth_client.h"

// The identity token the issuer hands out, read for its account claim.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CodexAuthClient::accountId(QString::fromUtf8(fuzz::bytes(data, size)));
    return 0;
}
