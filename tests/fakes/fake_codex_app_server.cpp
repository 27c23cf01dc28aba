// A scriptable stand-in for `codex app-server --stdio`, for driving the session over real pipes.
//
// The script is the file named by FAKE_CODEX_SCRIPT, one command per line ('#' starts a comment):
//   expect METHOD       read the next stdin line; it must be a JSON object with this "method"
//                       (else exit 3; end of input: exit 4). Its "id", if any, becomes $ID.
//   send TEXT           write TEXT and a line feed, with $ID replaced by the last id read and
//                       $NL by a line feed
//   send-crlf TEXT      the same, ending in a carriage return and a line feed
//   write TEXT          TEXT with no line ending, in one write (so lines arrive together)
//   pad-line BYTES      a notification of an unknown method, exactly BYTES long, and a line feed
//   flood-lines COUNT   COUNT short notifications of an unknown method
//   flood               bytes without a line feed until the reader goes away
//   notify-timed COUNT MICROS
//                       COUNT rate-limit notifications MICROS apart whose primary "resetsAt" is
//                       the monotonic clock at writing, in nanoseconds (for latency benchmarks)
//   sleep MILLIS        wait
//   ignore-sigterm      from now on the terminate request is ignored
//   close-stdout        close standard output and keep running
//   exit CODE           exit at once
//   hang                never exit on its own, whatever happens to stdin
// After the last command the fake reads stdin until it ends, then exits 0, as the real program
// does when its client goes away. Every line received is appended to FAKE_CODEX_LOG when set.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string lastId = "null";

void writeAll(const std::string& bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written =
            ::write(STDOUT_FILENO, bytes.data() + offset, bytes.size() - offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::exit(5);  // the reader went away
        }
        offset += static_cast<std::size_t>(written);
    }
}

void replaceAll(std::string& text, const std::string& name, const std::string& value) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
        text.replace(at, name.size(), value);
        at += value.size();
    }
}

std::string substitute(std::string text) {
    replaceAll(text, "$ID", lastId);
    replaceAll(text, "$NL", "\n");
    return text;
}

bool readLine(std::string& line) {
    line.clear();
    char byte = 0;
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
        if (count == 0) {
            return false;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (byte == '\n') {
            break;
        }
        line.push_back(byte);
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

long long monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

void notifyTimed(long count, long micros) {
    for (long index = 0; index < count; ++index) {
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
        writeAll(R"({"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":)"
                 R"({"usedPercent":)" +
                 std::to_string(index % 100) + R"(,"windowDurationMins":300,"resetsAt":)" +
                 std::to_string(monotonicNanoseconds()) + "}}}}\n");
    }
}

void hangForever() {
    for (;;) {
        ::pause();
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
        if (command.empty() || command.front() == '#') {
            continue;
        }
        const std::size_t space = command.find(' ');
        const std::string verb = command.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : command.substr(space + 1);
        if (verb == "expect") {
            expect(argument);
        } else if (verb == "send") {
            writeAll(substitute(argument) + "\n");
        } else if (verb == "send-crlf") {
            writeAll(substitute(argument) + "\r\n");
        } else if (verb == "write") {
            writeAll(substitute(argument));
        } else if (verb == "pad-line") {
            const std::string head = R"({"method":"fake/padding","params":{"pad":")";
            const std::string tail = "\"}}";
            const std::size_t total = std::stoul(argument);
            writeAll(head + std::string(total - head.size() - tail.size(), 'x') + tail + "\n");
        } else if (verb == "flood-lines") {
            const long count = std::stol(argument);
            for (long index = 0; index < count; ++index) {
                writeAll(R"({"method":"fake/noise","params":{"index":)" + std::to_string(index) +
                         "}}\n");
            }
        } else if (verb == "flood") {
            const std::string chunk(64 * 1024, 'x');
            for (;;) {
                writeAll(chunk);
            }
        } else if (verb == "notify-timed") {
            std::istringstream numbers(argument);
            long count = 0;
            long micros = 0;
            numbers >> count >> micros;
            notifyTimed(count, micros);
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stol(argument)));
        } else if (verb == "ignore-sigterm") {
            ::signal(SIGTERM, SIG_IGN);
        } else if (verb == "close-stdout") {
            ::close(STDOUT_FILENO);
        } else if (verb == "exit") {
            return std::stoi(argument);
        } else if (verb == "hang") {
            hangForever();
        } else {
            std::cerr << "fake codex: unknown command " << verb << '\n';
            return 2;
        }
    }
    std::string line;
    while (readLine(line)) {
    }
    return 0;
}
