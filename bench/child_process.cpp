#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace {

// The argument vector for posix_spawn; the strings live as long as the object.
class ArgumentVector
{
public:
    ArgumentVector(const QString &program, const QStringList &arguments)
    {
        m_strings.push_back(program.toStdString());
        for (const QString &argument : arguments)
            m_strings.push_back(argument.toStdString());
        for (std::string &text : m_strings)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }

    [[nodiscard]] char *const *data() { return m_pointers.data(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char *> m_pointers;
};

pid_t spawn(const QString &program, const QStringList &arguments, const QString &errorLog,
            int outputFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string logPath = errorLog.toStdString();
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (outputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);

    ArgumentVector argv(program, arguments);
    pid_t child = -1;
    const int error = posix_spawn(&child, argv.data()[0], &actions, nullptr, argv.data(),
                                  environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + program.toStdString());
    return child;
}

// Reads the child's output until it closes it or the deadline passes.
QByteArray readUntilClosed(int fd, std::chrono::steady_clock::time_point deadline)
{
    QByteArray output;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return output;
        pollfd watched{fd, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0)
            return output;
        output.append(buffer, count);
    }
}

} // namespace

ChildResult runChild(const QString &program, const QStringList &arguments,
                     const QString &errorLog, int timeoutSeconds)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    const pid_t child = spawn(program, arguments, errorLog, pipeFds[1]);
    close(pipeFds[1]);

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    result.output = readUntilClosed(pipeFds[0], deadline);
    close(pipeFds[0]);
    if (std::chrono::steady_clock::now() >= deadline)
        kill(child, SIGKILL);

    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.peakKilobytes = usage.ru_maxrss;
    return result;
}

pid_t startChild(const QString &program, const QStringList &arguments, const QString &errorLog)
{
    return spawn(program, arguments, errorLog, -1);
}

int waitChild(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
