#include "ChildProcessRun.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vistrel
{
namespace
{
// Only the start of the output is ever reported; the rest is read and thrown away.
constexpr size_t kMaxKeptOutput = 65536;

// After the child has exited, stragglers that inherited the pipe get this long to close it.
constexpr int kAfterExitGraceMs = 100;

struct OutputCollector
{
    std::vector<char> bytes;

    // Returns false at end of file or on an error.
    bool readSome (int fd)
    {
        char buffer[4096];
        const auto n = ::read (fd, buffer, sizeof (buffer));

        if (n < 0)
            return errno == EINTR || errno == EAGAIN;

        if (n == 0)
            return false;

        const auto keep = std::min ((size_t) n, kMaxKeptOutput - std::min (kMaxKeptOutput, bytes.size()));
        bytes.insert (bytes.end(), buffer, buffer + keep);
        return true;
    }

    juce::String text() const { return juce::String::fromUTF8 (bytes.data(), (int) bytes.size()); }
};

bool waitReadable (int fd, int ms)
{
    pollfd p { fd, POLLIN, 0 };
    const int r = ::poll (&p, 1, ms);
    return r > 0;
}

int exitCodeOf (int status)
{
    if (WIFEXITED (status))
        return WEXITSTATUS (status);
    return 128 + (WIFSIGNALED (status) ? WTERMSIG (status) : 0);
}
} // namespace

ChildRunResult runChildProcess (const juce::StringArray& args, int timeoutMs)
{
    ChildRunResult result;

    if (args.isEmpty())
        return result;

    int fds[2];
    if (::pipe2 (fds, O_CLOEXEC) != 0)
        return result;

    std::vector<std::string> storage;
    for (const auto& a : args)
        storage.push_back (a.toStdString());

    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back (s.data());
    argv.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2 (&actions, fds[1], STDERR_FILENO);

    // A group of its own lets a timeout kill whatever the child started, too. The child must not
    // inherit a blocked signal mask or an ignored SIGPIPE from the host.
    posix_spawnattr_t attr;
    posix_spawnattr_init (&attr);
    sigset_t none, defaults;
    sigemptyset (&none);
    sigemptyset (&defaults);
    sigaddset (&defaults, SIGPIPE);
    posix_spawnattr_setsigmask (&attr, &none);
    posix_spawnattr_setsigdefault (&attr, &defaults);
    posix_spawnattr_setpgroup (&attr, 0);
    posix_spawnattr_setflags (&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int spawnError = ::posix_spawn (&pid, argv[0], &actions, &attr, argv.data(), environ);

    posix_spawn_file_actions_destroy (&actions);
    posix_spawnattr_destroy (&attr);
    ::close (fds[1]);

    if (spawnError != 0)
    {
        ::close (fds[0]);
        return result;
    }

    result.started = true;
    const int readFd = fds[0];
    ::fcntl (readFd, F_SETFL, ::fcntl (readFd, F_GETFL) | O_NONBLOCK);

    OutputCollector output;
    bool pipeOpen = true, exited = false;
    int status = 0;
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + (double) juce::jmax (0, timeoutMs);
    double exitedAt = 0.0;

    for (;;)
    {
        const double now = juce::Time::getMillisecondCounterHiRes();

        if (! exited)
        {
            const auto r = ::waitpid (pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno == ECHILD))
            {
                exited = true;
                exitedAt = now;
            }
        }

        if (exited && (! pipeOpen || now - exitedAt >= kAfterExitGraceMs))
            break;

        if (! exited && now >= deadline)
            break;

        const int slice = (int) juce::jlimit (1.0, 20.0, deadline - now);

        if (pipeOpen)
        {
            if (waitReadable (readFd, slice))
                pipeOpen = output.readSome (readFd);
        }
        else
        {
            ::usleep ((useconds_t) slice * 1000);
        }
    }

    if (! exited)
    {
        ::kill (-pid, SIGKILL);
        ::kill (pid, SIGKILL);
        while (::waitpid (pid, &status, 0) < 0 && errno == EINTR) {}

        // Whatever it managed to say before it was killed.
        while (pipeOpen && waitReadable (readFd, 0))
            pipeOpen = output.readSome (readFd);
    }
    else
    {
        result.finished = true;
        result.exitCode = exitCodeOf (status);
    }

    ::close (readFd);
    result.output = output.text();
    return result;
}

} // namespace vistrel
