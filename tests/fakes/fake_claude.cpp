// A stand-in for the `claude` program in tests: shows the screens it is told to, records what
// it sees and receives, and ends (or refuses to) as it is told to.
//
// Environment:
//   FAKE_CLAUDE_RECORD         file to append the record to (below); nothing is recorded without
//   FAKE_CLAUDE_SCREEN         text shown at start, before "ready" is recorded
//   FAKE_CLAUDE_WRITE_FILE     on "/status" CR, this file is replaced (atomically) with ...
//   FAKE_CLAUDE_WRITE_CONTENT  ... these bytes, as a renewing `claude` would
//   FAKE_CLAUDE_EXIT           "at-once": exit right after "ready"; otherwise run until a signal
//                              ends it ("/exit" and the terminal's hang-up do not)
//   FAKE_CLAUDE_SIGTERM        "ignore": record SIGTERM and go on; otherwise record it and exit
//
// Record: one line per fact, "<key> <value as hex>": pid, arg (each of argv[1...]), env (each
// NAME=value), cwd, tty ("0/1/2" isatty flags), ctty ("1" when /dev/tty opens), leader ("1" when
// the session leader), size ("rows columns"), ready, input (every chunk received), signal
// ("TERM").
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

int recordDescriptor = -1;
bool ignoreTerm = false;

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

void writeFully(int descriptor, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        done += static_cast<std::size_t>(count);
    }
}

void record(const char* key, const std::string& value = {}) {
    if (recordDescriptor >= 0) {
        writeFully(recordDescriptor, std::string(key) + " " + hex(value) + "\n");
    }
}

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

volatile sig_atomic_t termReceived = 0;

void onTerm(int) {
    termReceived = 1;
}

// SIGTERM stays blocked except while waiting in ppoll, so it is never missed between a check
// and a wait.
sigset_t waitMask;

// Waits until `descriptor` is ready for `events` or SIGTERM arrives; false on SIGTERM.
bool waitFor(int descriptor, short events) {
    pollfd entry{descriptor, events, 0};
    for (;;) {
        if (termReceived) {
            return false;
        }
        if (::ppoll(&entry, 1, nullptr, &waitMask) > 0) {
            return true;
        }
    }
}

// Keystrokes typed just before the signal are still on their way through the terminal: take
// them in before acting on it.
void drainInput() {
    pollfd entry{0, POLLIN, 0};
    char buffer[4096];
    while (::poll(&entry, 1, 100) > 0) {
        const ssize_t count = ::read(0, buffer, sizeof buffer);
        if (count <= 0) {
            return;
        }
        record("input", std::string(buffer, static_cast<std::size_t>(count)));
    }
}

void handleTerm() {
    termReceived = 0;
    record("signal", "TERM");
    drainInput();
    if (!ignoreTerm) {
        std::exit(143);
    }
}

void recordStartup(int argc, char** argv) {
    record("pid", std::to_string(::getpid()));
    for (int index = 1; index < argc; ++index) {
        record("arg", argv[index]);
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        record("env", *entry);
    }
    char folder[4096];
    record("cwd", ::getcwd(folder, sizeof folder) ? folder : "");
    record("tty",
           std::to_string(::isatty(0)) + std::to_string(::isatty(1)) + std::to_string(::isatty(2)));
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    record("ctty", terminal >= 0 ? "1" : "0");
    if (terminal >= 0) {
        ::close(terminal);
    }
    record("leader", ::getsid(0) == ::getpid() ? "1" : "0");
    winsize size{};
    ::ioctl(0, TIOCGWINSZ, &size);
    record("size", std::to_string(size.ws_row) + " " + std::to_string(size.ws_col));
}

void writeFileAtomically(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".fake-claude";
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) {
        return;
    }
    writeFully(file, content);
    ::close(file);
    ::rename(temporary.c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string recordPath = setting("FAKE_CLAUDE_RECORD");
    if (!recordPath.empty()) {
        recordDescriptor =
            ::open(recordPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    }
    ignoreTerm = setting("FAKE_CLAUDE_SIGTERM") == "ignore";
    sigset_t term;
    ::sigemptyset(&term);
    ::sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, &waitMask);
    ::sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = onTerm;
    ::sigaction(SIGTERM, &action, nullptr);

    recordStartup(argc, argv);
    // Like the real program, read keystrokes raw: bytes arrive as typed, CR included.
    termios settings{};
    if (::tcgetattr(0, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(0, TCSANOW, &settings);
    }
    const std::string screen = setting("FAKE_CLAUDE_SCREEN");
    if (!screen.empty()) {
        writeFully(1, screen + "\r\n");
    }
    ::signal(SIGHUP, SIG_IGN);
    record("ready");
    if (setting("FAKE_CLAUDE_EXIT") == "at-once") {
        return 0;
    }
    const std::string renewedFile = setting("FAKE_CLAUDE_WRITE_FILE");
    std::string input;
    char buffer[4096];
    bool hungUp = false;
    for (;;) {
        // After a hang-up it just waits for signals.
        if (!waitFor(hungUp ? -1 : 0, POLLIN)) {
            handleTerm();
            continue;
        }
        const ssize_t count = ::read(0, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        hungUp = count <= 0;
        if (count > 0) {
            record("input", std::string(buffer, static_cast<std::size_t>(count)));
            input.append(buffer, static_cast<std::size_t>(count));
        }
        if (input.find("/status\r") != std::string::npos) {
            if (!renewedFile.empty()) {
                writeFileAtomically(renewedFile, setting("FAKE_CLAUDE_WRITE_CONTENT"));
            }
            input.clear();
        }
    }
}
