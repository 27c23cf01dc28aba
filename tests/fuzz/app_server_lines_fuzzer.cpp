#include "fuzz_input.h"
#include "sources/codex/codex_app_server_error.h"
#include "sources/codex/codex_app_server_protocol.h"
#include "sources/codex/line_buffer.h"

// The output of `codex app-server`, cut into lines, each read as its header says; the snapshots
// merge into one usage, as a live session's do.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace protocol = codex_app_server;
    LineBuffer lines;
    std::optional<protocol::RateLimitSnapshot> latest;
    for (const QByteArray& line : lines.appendAndDrainLines(fuzz::bytes(data, size))) {
        try {
            const json::Value message =
                json::parse(line.toStdString(), protocol::kMaximumMessageSize);
            const protocol::MessageHeader header = protocol::decodeHeader(message);
            std::optional<protocol::RateLimitSnapshot> snapshot;
            if (header.id == protocol::kInitializeRequestId) {
                protocol::decodeInitializeResponse(message);
            } else if (header.id) {
                snapshot = protocol::decodeRateLimitsResponse(message).rateLimits;
            } else if (header.method == protocol::kRateLimitsUpdatedMethod) {
                snapshot = protocol::decodeRateLimitsUpdated(message);
            }
            if (snapshot) {
                latest = latest ? latest->merging(*snapshot) : *snapshot;
                protocol::makeUsage(*latest, Timestamp::fromUnixSeconds(1.7e9));
            }
        } catch (const json::DecodingError&) {
        } catch (const CodexAppServerError&) {
        }
    }
    return 0;
}
