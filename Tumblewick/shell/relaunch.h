#pragma once
// Starting Tumblewick again, for a change (the display scale) that only a new run picks
// up. The new run takes this process's place, so a terminal it was started from keeps
// it: the shell still waits for it, and Ctrl+C there or closing the terminal still ends
// it through its quit path.

#include <csignal>
#include <string>
#include <vector>

namespace tw {

// The new run opens what it needs itself: only the standard streams go on, so no
// descriptor of this run (a lock, a watch, a pipe) outlives it. Marks the others
// close-on-exec, with close_range or, where that is refused (said in the log), one by one.
void keepOnlyStandardStreamsAcrossExec();

class Relaunch {
   public:
    // Takes main()'s argv, the signal mask and the executable's path before anything
    // changes them: Qt takes its own options (-style, -display) out of argv, and a
    // relaunch hands every one on; an update that replaces the binary (copy and rename)
    // leaves /proc/self/exe naming a deleted file, so its path is read now: Qt reads it
    // only as the application object is made, after the start has waited on the X server.
    Relaunch(int argc, char** argv);

    // Runs the executable found at start again with the arguments as given, in this
    // process, keeping its environment; `fallback` when none was found (said in the
    // log). Call once the quit path is wholly done, the application object gone and the
    // instance lock released. When the process image cannot be replaced, starts the new
    // run detached instead; returns only then, false (with a console line) when that
    // failed too.
    bool run(const std::string& fallback) const;

   private:
    std::vector<std::string> arguments_;
    sigset_t launchMask_{};
    std::string executable_;
    std::string executableError_;  // why executable_ is empty
};

}  // namespace tw
