// SPDX-License-Identifier: MIT
// Runs a command and prints its wall-clock seconds and peak resident memory in KiB.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int
main(int argc, char **argv)
{
    int first = 1;
    const char *stdout_path = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "-o") == 0) {
        stdout_path = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fputs("usage: quorva-bench-measure [-o STDOUT] COMMAND [ARG]...\n", stderr);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        if (stdout_path) {
            int fd = open(stdout_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 1) < 0)
                _exit(127);
            close(fd);
        }
        execvp(argv[first], argv + first);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {
    };
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) {
            std::perror("wait4");
            return 1;
        }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f %ld\n", elapsed.count(), usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
