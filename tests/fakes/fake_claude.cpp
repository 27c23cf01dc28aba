// A stand-in for the `claude` program in tests: records what it sees and receives to the file
// FAKE_CLAUDE_RECORD as "<key> <value>\0" entries: pid, arg, env, cwd, terminal, ready, input
// (each chunk received), signal.
//   FAKE_CLAUDE_SCREEN         text shown at start, before "ready"
//   FAKE_CLAUDE_WRITE_FILE     on "/status" CR, this file is replaced with ...
//   FAKE_CLAUDE_WRITE_CONTENT  ... these bytes, as a renewing `claude` would
//   FAKE_CLAUDE_EXIT           "at-once": exit right after "ready"; otherwise run until SIGTERM
//   FAKE_CLAUDE_SIGTERM        "ignore": record SIGTERM and go on
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

namespace {

volatile sig_atomic_t termReceived = 0;

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

const int recordDescriptor =
    ::open(setting("FAKE_CLAUDE_RECORD").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);

void record(const std::string& key, const std::string& value = {}) {
    const std::string entry = key + " " + value + '\0';
    [[maybe_unused]] const ssize_t written = ::write(recordDescriptor, entry.data(), entry.size());
}

// Records one chunk of input; false at end of input.
bool readInput(std::string& input) {
    char buffer[4096];
    const ssize_t count = ::read(0, buffer, sizeof buffer);
    if (count > 0) {
        record("input", std::string(buffer, static_cast<std::size_t>(count)));
        input.append(buffer, static_cast<std::size_t>(count));
    }
    return count > 0 || (count < 0 && errno == EINTR);
}

}  // namespace

int main(int argc, char** argv) {
    // SIGTERM stays blocked except inside ppoll, so it is never missed between check and wait.
    sigset_t term, waitMask;
    ::sigemptyset(&term);
    ::sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, &waitMask);
    ::sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = [](int) { termReceived = 1; };
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGHUP, SIG_IGN);

    record("pid", std::to_string(::getpid()));
    for (int index = 1; index < argc; ++index) {
        record("arg", argv[index]);
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        record("env", *entry);
    }
    char folder[4096];
    record("cwd", ::getcwd(folder, sizeof folder) ? folder : "");
    // "1" each when standard input, output and error are terminals, /dev/tty opens (a
    // controlling terminal) and the child leads its session.
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    record("terminal", std::to_string(::isatty(0)) + std::to_string(::isatty(1)) +
                           std::to_string(::isatty(2)) + (terminal >= 0 ? "1" : "0") +
                           (::getsid(0) == ::getpid() ? "1" : "0"));
    // Like the real program, read keystrokes raw: bytes arrive as typed, CR included.
    termios settings{};
    if (::tcgetattr(0, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(0, TCSANOW, &settings);
    }
    const std::string screen = setting("FAKE_CLAUDE_SCREEN") + "\r\n";
    [[maybe_unused]] const ssize_t shown = ::write(1, screen.data(), screen.size());
    record("ready");
    if (setting("FAKE_CLAUDE_EXIT") == "at-once") {
        return 0;
    }
    std::string input;
    bool hungUp = false;
    for (;;) {
        pollfd entry{hungUp ? -1 : 0, POLLIN, 0};
        if (!termReceived && ::ppoll(&entry, 1, nullptr, &waitMask) > 0) {
            hungUp = !readInput(input);
        }
        if (input.find("/status\r") != std::string::npos) {
            if (std::FILE* file = std::fopen(setting("FAKE_CLAUDE_WRITE_FILE").c_str(), "w")) {
                std::fputs(setting("FAKE_CLAUDE_WRITE_CONTENT").c_str(), file);
                std::fclose(file);
            }
            input.clear();
        }
        if (termReceived) {
            termReceived = 0;
            record("signal", "TERM");
            // Keystrokes typed just before the signal are still on their way: take them in.
            for (pollfd pending{0, POLLIN, 0}; ::poll(&pending, 1, 100) > 0 && readInput(input);) {
            }
            if (setting("FAKE_CLAUDE_SIGTERM") != "ignore") {
                return 143;
            }
        }
    }
}
