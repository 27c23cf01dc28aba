#pragma once

#include <QFileInfo>
#include <optional>

namespace test {

// The real outside program `name` (codex, claude) that scripts/test installs into the build
// tree, or nothing when it is not installed there.
inline std::optional<QString> peerProgram(const QString& name) {
    const QFileInfo program(QStringLiteral(QUOTAMIND_PEER_BIN_DIR "/") + name);
    return program.isExecutable() ? std::optional(program.absoluteFilePath()) : std::nullopt;
}

}  // namespace test
