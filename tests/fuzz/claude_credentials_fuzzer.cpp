#include "fuzz_input.h"
#include "sources/claude/claude_usage_client.h"

// Claude Code's credentials file, or its keyring item.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        ClaudeUsageClient::planLabel(ClaudeUsageClient::parseCredentials(fuzz::bytes(data, size)));
    } catch (const ClaudeUsageClientError&) {
    }
    return 0;
}
