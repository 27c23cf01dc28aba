#pragma once

#include <sys/types.h>

// Keeps the program's child processes from outliving it, whether it quits or is killed.
//
// Killed: in the child, between fork and exec, dieWithParent(parent), with the parent's id read
// before the fork, asks the kernel to send the child SIGKILL when the parent goes. The kernel
// sends it when the thread that forked ends, so fork from the main thread (QProcess::start forks
// on the thread that calls it).
//
// Quits: the parent registers each child while it runs. When the application is about to quit
// (QCoreApplication::aboutToQuit), and again when the program exits, every child still
// registered is ended and reaped, also one that ignores SIGTERM or whose owner never gets to run
// again: a child registered with a grace gets SIGTERM first and that long to end, the others are
// killed at once, and after the grace everything left gets SIGKILL.
//
// A child that leads a process group of its own is ended with its group, so that programs it
// started (npm's launcher starts the real codex) do not outlive it.
class ChildProcessGuard final {
public:
    ChildProcessGuard() = delete;

    // For the child between fork and exec: async-signal-safe. Exits the child at once (status
    // 127) when `parent` has already gone.
    static void dieWithParent(pid_t parent) noexcept;

    // Registers a running child. With `group`, its process group is signalled too (for a child
    // that leads a group of its own). With a `terminationGraceSeconds`, quitting sends SIGTERM
    // first and waits that long (at most) for the child to end before SIGKILL. Connects the quit
    // of the running application, if any.
    static void track(pid_t pid, bool group = false, double terminationGraceSeconds = 0);
    // Sends `signal` to a child that leads a process group of its own and to its group (the child
    // itself too, in case it has not made its group yet). Never with a `leader` below 1.
    static void signalGroup(pid_t leader, int signal);
    // Forgets a child. Call it when the child has been reaped, before its id can be reused.
    static void untrack(pid_t pid);
    // Ends every registered child as described above and reaps it, waiting at most the longest
    // grace and about two seconds more in all.
    static void endAll();
};
