#include "fuzz_input.h"
#include "sources/codex/codex_auth_file_error.h"
#include "sources/codex/codex_auth_file_usage_client.h"

// Codex's own auth.json.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        CodexAuthFileUsageClient::parseAuthFile(fuzz::bytes(data, size));
    } catch (const json::DecodingError&) {
    } catch (const CodexAuthFileError&) {
    }
    return 0;
}
