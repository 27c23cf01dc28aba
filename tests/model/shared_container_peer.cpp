// Reads the shared snapshot and prints it as JSON ("load"), or stores the JSON given on standard
// input ("save"). Exit status 3 when there is no snapshot to load or the input does not decode.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "model/shared_container.h"
#include "model/usage_json.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::cerr << "usage: shared_container_peer load|save\n";
        return 2;
    }
    if (arguments[1] == QStringLiteral("load")) {
        const auto snapshot = SharedContainer::loadSnapshot();
        if (!snapshot) {
            return 3;
        }
        std::cout << usage_json::encodeSnapshot(*snapshot);
        return 0;
    }
    if (arguments[1] == QStringLiteral("save")) {
        const std::string input{std::istreambuf_iterator<char>(std::cin), {}};
        try {
            SharedContainer::save(usage_json::decodeSnapshot(input));
        } catch (const json::DecodingError&) {
            return 3;
        }
        return 0;
    }
    return 2;
}
