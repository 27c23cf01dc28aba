#pragma once

#include <ostream>
#include <string>

// For TEST_P tables whose rows have a `name`: each row's test is named after it (rowName), and
// the row prints as its name rather than as its bytes. Declared in the including file's own
// anonymous namespace, where its rows are, so that gtest finds PrintTo.
namespace {

template <typename Row>
requires requires(const Row& row) {
    std::string(row.name);
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

[[maybe_unused]] const auto rowName = [](const auto& row) { return std::string(row.param.name); };

}  // namespace
