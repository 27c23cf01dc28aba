#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The input libFuzzer hands a target, as the decoders take it. A target returns 0 for every
// input: a decoder's documented error is an answer, anything else (another exception, a
// sanitizer report) is a crash.
namespace fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

}  // namespace fuzz
