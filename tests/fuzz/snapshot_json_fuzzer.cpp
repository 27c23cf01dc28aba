#include "fuzz_input.h"
#include "model/usage_json.h"

// The stored snapshot, as SharedSnapshotStore reads it back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const AgentUsageSnapshot snapshot = usage_json::decodeSnapshot(fuzz::text(data, size));
        // What was read must write back.
        usage_json::decodeSnapshot(usage_json::encodeSnapshot(snapshot));
    } catch (const json::DecodingError&) {
    }
    return 0;
}
