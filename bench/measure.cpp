// SPDX-License-Identifier: MIT
// Runs a command and prints its wall-clock seconds, its peak resident memory in KiB and the
// processor seconds it used (user and system). With -c, the
// file's pages are first dropped from the page cache, so that the command reads it from disk.

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
    const char *cold_path = nullptr;
    while (first + 1 < argc && argv[first][0] == '-') {
        if (std::strcmp(argv[first], "-o") == 0)
            stdout_path = argv[first + 1];
        else if (std::strcmp(argv[first], "-c") == 0)
            cold_path = argv[first + 1];
        else
            break;
        first += 2;
    }
    if (first >= argc) {
        std::fputs("usage: quorva-bench-measure [-o STDOUT] [-c COLD_FILE] COMMAND [ARG]...\n",
                   stderr);
        return 2;
    }
    if (cold_path) {
        // Dirty pages cannot be dropped: write them out first.
        int fd = open(cold_path, O_RDONLY);
        if (fd < 0 || fdatasync(fd) != 0 || posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
            std::perror(cold_path);
            return 1;
        }
        close(fd);
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
    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%.3f %ld %.3f\n", elapsed.count(), usage.ru_maxrss, cpu);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
