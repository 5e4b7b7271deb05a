#pragma once

#include <juce_core/juce_core.h>

namespace vistrel
{

struct ChildRunResult
{
    bool started = false;
    bool finished = false; // ended by itself within the time limit
    int exitCode = -1;     // meaningful only when finished
    juce::String output;   // standard output and standard error together, as far as it was read
};

/** Runs args[0] with the other entries as its arguments, standard output and error on one pipe
    and standard input shared with this process, and waits at most `timeoutMs` for it to end.
    Output is read while waiting, so a chatty child cannot fill the pipe and stall. A child
    still running at the limit is killed with everything it started (its process group), so
    the call returns shortly after the limit even when a grandchild holds the pipe open. */
ChildRunResult runChildProcess (const juce::StringArray& args, int timeoutMs);

} // namespace vistrel
