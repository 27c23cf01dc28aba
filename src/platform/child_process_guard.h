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
// registered is killed with SIGKILL and reaped, also one that ignores SIGTERM or whose owner
// never gets to run again.
class ChildProcessGuard final {
public:
    ChildProcessGuard() = delete;

    // For the child between fork and exec: async-signal-safe. Exits the child at once (status
    // 127) when `parent` has already gone.
    static void dieWithParent(pid_t parent) noexcept;

    // Registers a running child. With `group`, its process group is killed too (for a child that
    // leads a group of its own). Connects the quit of the running application, if any.
    static void track(pid_t pid, bool group = false);
    // Forgets a child. Call it when the child has been reaped, before its id can be reused.
    static void untrack(pid_t pid);
    // Kills every registered child and reaps it, waiting at most about two seconds in all.
    static void endAll();
};
