#include "fuzz_input.h"
#include "sources/claude/claude_usage_client.h"

// A usage answer from the Anthropic OAuth endpoint.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ClaudeCredentials credentials{.accessToken = "token"};
    try {
        ClaudeUsageClient::makeUsage(fuzz::bytes(data, size), credentials,
                                     Timestamp::fromUnixSeconds(1.7e9));
    } catch (const ClaudeUsageClientError&) {
    }
    return 0;
}
