// A scriptable stand-in for `codex app-server --stdio`. FAKE_CODEX_SCRIPT names its script, one
// command per line; every line it reads is appended to FAKE_CODEX_LOG when set.
//   expect METHOD    read a line; it must be a JSON object with this "method" (else exit 3; end
//                    of input: exit 4). Its "id", if any, becomes $ID.
//   send TEXT        write TEXT and a line feed in one write; $ID: the last id, $NL: LF, $CR: CR
//   send-part TEXT   write TEXT alone, as a line cut short
//   pad-line BYTES   a notification of an unknown method, exactly BYTES long, and a line feed
//   notify-timed COUNT MICROS   COUNT rate-limit notifications MICROS apart, their "resetsAt"
//                    the monotonic clock at writing in nanoseconds (for latency benchmarks)
//   ignore-sigterm | close-stdout | exit CODE | hang (never exit on its own)
// After the last command it reads stdin until it ends and exits 0, as the real program does.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

namespace {

std::string lastId = "null";

void writeAll(const std::string& bytes) {
    for (std::size_t offset = 0; offset < bytes.size();) {
        const ssize_t written =
            ::write(STDOUT_FILENO, bytes.data() + offset, bytes.size() - offset);
        if (written < 0 && errno != EINTR) {
            std::exit(5);  // the reader went away
        }
        offset += written > 0 ? std::size_t(written) : 0;
    }
}

std::string substitute(std::string text) {
    for (const auto& [name, value] :
         {std::pair{"$ID", lastId.c_str()}, {"$NL", "\n"}, {"$CR", "\r"}}) {
        for (auto at = text.find(name); at != std::string::npos;
             at = text.find(name, at + std::strlen(value))) {
            text.replace(at, 3, value);
        }
    }
    return text;
}

bool readLine(std::string& line) {
    if (!std::getline(std::cin, line)) {
        return false;
    }
    if (const char* log = std::getenv("FAKE_CODEX_LOG")) {
        std::ofstream(log, std::ios::app) << line << '\n';
    }
    return true;
}

void expect(const std::string& method) {
    std::string line;
    if (!readLine(line)) {
        std::exit(4);
    }
    const auto message = nlohmann::json::parse(line, nullptr, false);
    if (!message.is_object() || message.value("method", std::string()) != method) {
        std::cerr << "fake codex: expected " << method << ", got " << line << '\n';
        std::exit(3);
    }
    lastId = message.contains("id") ? message["id"].dump() : "null";
}

void notifyTimed(long count, long micros) {
    for (long index = 0; index < count; ++index) {
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        writeAll(R"({"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":)"
                 R"({"usedPercent":)" +
                 std::to_string(index % 100) + R"(,"windowDurationMins":300,"resetsAt":)" +
                 std::to_string(now.tv_sec * 1'000'000'000LL + now.tv_nsec) + "}}}}\n");
    }
}

}  // namespace

int main() {
    const char* scriptPath = std::getenv("FAKE_CODEX_SCRIPT");
    if (scriptPath == nullptr) {
        std::cerr << "fake codex: FAKE_CODEX_SCRIPT is not set\n";
        return 2;
    }
    std::ifstream script(scriptPath);
    std::string command;
    while (std::getline(script, command)) {
        const std::size_t space = command.find(' ');
        const std::string verb = command.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : command.substr(space + 1);
        if (verb == "expect") {
            expect(argument);
        } else if (verb == "send") {
            writeAll(substitute(argument) + "\n");
        } else if (verb == "send-part") {
            writeAll(substitute(argument));
        } else if (verb == "pad-line") {
            const std::string head = R"({"method":"fake/padding","params":{"pad":")";
            writeAll(head + std::string(std::stoul(argument) - head.size() - 3, 'x') + "\"}}\n");
        } else if (verb == "notify-timed") {
            const std::size_t at = argument.find(' ');
            notifyTimed(std::stol(argument.substr(0, at)), std::stol(argument.substr(at + 1)));
        } else if (verb == "ignore-sigterm") {
            ::signal(SIGTERM, SIG_IGN);
        } else if (verb == "close-stdout") {
            ::close(STDOUT_FILENO);
        } else if (verb == "exit") {
            return std::stoi(argument);
        } else if (verb == "hang") {
            for (;;) {
                ::pause();
            }
        } else if (!verb.empty()) {
            std::cerr << "fake codex: unknown command " << verb << '\n';
            return 2;
        }
    }
    std::string line;
    while (readLine(line)) {
    }
    return 0;
}
