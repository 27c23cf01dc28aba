// Stands in for the widget host: "load" prints the shared snapshot as JSON (exit status 3 when
// there is none); "save" stores the JSON given on standard input.
#include <QCoreApplication>
#include <iostream>
#include <iterator>
#include <string>

#include "model/shared_snapshot_store.h"
#include "model/usage_json.h"

int main(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    if (QCoreApplication::arguments().value(1) == QStringLiteral("load")) {
        const auto snapshot = SharedSnapshotStore::loadSnapshot();
        if (!snapshot) {
            return 3;
        }
        std::cout << usage_json::encodeSnapshot(*snapshot);
        return 0;
    }
    // Input that does not decode ends the program with the decoding error.
    SharedSnapshotStore::save(usage_json::decodeSnapshot(
        std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>())));
    return 0;
}
