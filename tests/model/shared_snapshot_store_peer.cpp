// Stands in for the tray program as another process: stores the snapshot JSON given on standard
// input. Input that does not decode ends the program with the decoding error.
#include <QCoreApplication>
#include <iostream>
#include <iterator>
#include <string>

#include "model/shared_snapshot_store.h"
#include "model/usage_json.h"

int main(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    SharedSnapshotStore::save(usage_json::decodeSnapshot(
        std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>())));
    return 0;
}
