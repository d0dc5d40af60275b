// SPDX-License-Identifier: MIT
// Runs a program whose writes of exactly COUNT bytes to standard output fail with the error
// number ERROR, as on a disk that is full for a moment: fail_write COUNT ERROR PROGRAM [ARG]...
// Standard output to a file is buffered in blocks, so a COUNT of one block fails the first full
// buffer and lets the shorter final one through.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// The status when the system refuses the filter, so that a test can skip rather than fail.
static constexpr int exit_no_filter = 77;

int
main(int argc, char **argv)
{
    if (argc < 4) {
        std::fputs("usage: fail_write COUNT ERROR PROGRAM [ARG]...\n", stderr);
        return 2;
    }
    auto count = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    auto error = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    // A seccomp filter outlives exec: write(1, ..., count) returns -1 with errno set to error.
    // Arguments are compared on their low 32 bits.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, STDOUT_FILENO, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, count, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("fail_write: seccomp");
        return exit_no_filter;
    }
    execv(argv[3], argv + 3);
    std::perror("fail_write: exec");
    return 2;
}
