// SPDX-License-Identifier: MIT
// Runs a built program with its output captured, for the command-line tests.

#include "run_program.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

static std::string
slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

static std::string
temp_file(const char *tag)
{
    const char *dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/quorva-" + tag + "-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

// Sanitizer builds look for leaks at every exit, but leave the status alone (exitcode=0): a
// program that fails ends at once and leaves its allocations to the end of the process by design,
// so the leak report of a failed run is cut out of its standard error, and only the leaks of a
// successful run count. Any other sanitizer report fails the test.
static void
judge_sanitizer_reports(const std::string &program, const std::vector<std::string> &args,
                        std::string *err, int status)
{
    // Through a shell or env the status is not the program's own, and says nothing of its leaks.
    bool own_status = program.substr(program.find_last_of('/') + 1).starts_with("quorva-");
    for (std::size_t leak = err->find("ERROR: LeakSanitizer");
         leak != std::string::npos && (status != 0 || !own_status);
         leak = err->find("ERROR: LeakSanitizer")) {
        std::size_t begin = err->rfind("\n=====", leak);
        std::size_t summary = err->find("SUMMARY: AddressSanitizer:", leak);
        std::size_t end =
            summary == std::string::npos ? std::string::npos : err->find('\n', summary);
        if (begin == std::string::npos || end == std::string::npos)
            break;
        err->erase(begin, end + 1 - begin);
    }
    if (err->find("Sanitizer") != std::string::npos)
        ADD_FAILURE() << "sanitizer report from " << program << " " << joined(args) << ":\n"
                      << *err;
}

run_result
run_program(const std::string &program, const std::vector<std::string> &args,
            const run_options &options)
{
    std::string out_path = options.stdout_path.empty() ? temp_file("out") : options.stdout_path;
    std::string err_path = options.merge_stderr ? std::string() : temp_file("err");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, options.stdin_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_TRUNC, 0600);
    if (options.merge_stderr)
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_TRUNC, 0600);
    if (!options.cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());

    // argv[0] is the bare program name, as when a user runs it from PATH.
    std::string name = program.substr(program.find_last_of('/') + 1);
    std::vector<char *> argv;
    argv.push_back(name.data());
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    // Leaks are judged after the run, by its status (judge_sanitizer_reports). The leak check
    // runs once main has returned, so the stack holds no live pointer of the program's: what
    // lingers there must not hide a leak.
    std::vector<std::string> env_text;
    for (char **e = environ; *e; ++e)
        if (std::string(*e).rfind("ASAN_OPTIONS=", 0) != 0 &&
            std::string(*e).rfind("LSAN_OPTIONS=", 0) != 0)
            env_text.push_back(*e);
    // exitcode=0 keeps a leak report from changing the status; abort_on_error makes every other
    // sanitizer error a SIGABRT, which no case expects, even where standard error is closed.
    env_text.push_back("ASAN_OPTIONS=detect_leaks=1:exitcode=0:abort_on_error=1");
    env_text.push_back("LSAN_OPTIONS=use_stacks=0");
    std::vector<char *> env;
    for (std::string &e : env_text)
        env.push_back(e.data());
    env.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);

    // A program that hangs is killed at the deadline, and so shows as ended by a signal.
    int wstatus = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(run_deadline_seconds);
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        pid_t done = waitpid(pid, &wstatus, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
    run_result result;
    if (WIFEXITED(wstatus)) {
        result.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
        result.status = 128 + result.signal;
    }
    if (options.stdout_path.empty()) {
        result.out = slurp(out_path);
        std::remove(out_path.c_str());
    }
    if (!options.merge_stderr) {
        result.err = slurp(err_path);
        std::remove(err_path.c_str());
    }
    if (options.merge_stderr)
        judge_sanitizer_reports(program, args, &result.out, result.status);
    else
        judge_sanitizer_reports(program, args, &result.err, result.status);
    return result;
}

run_result
run_redirected(const std::string &program, const std::vector<std::string> &args,
               const std::string &redirections)
{
    std::vector<std::string> shell_args = {"-c", "exec \"$0\" \"$@\" " + redirections, program};
    shell_args.insert(shell_args.end(), args.begin(), args.end());
    return run_program("/bin/sh", shell_args);
}

std::string
joined(const std::vector<std::string> &args)
{
    std::string text;
    for (const std::string &arg : args)
        text += "'" + arg + "' ";
    return text;
}

void
expect_case(const std::string &program, const std::vector<std::string> &args, const cli_case &row)
{
    SCOPED_TRACE(joined(row.args));
    run_result r = run_program(program, args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, row.err);
}

void
expect_no_crash(const run_result &r)
{
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
}

const std::string &
showbin_path()
{
    static const std::string path = QUORVA_SHOWBIN;
    return path;
}

const std::string &
showtext_path()
{
    static const std::string path = QUORVA_SHOWTEXT;
    return path;
}

const std::string &
showtrace_path()
{
    static const std::string path = QUORVA_SHOWTRACE;
    return path;
}

const std::string &
trim_path()
{
    static const std::string path = QUORVA_TRIM;
    return path;
}

const std::string &
scan_path()
{
    static const std::string path = QUORVA_SCAN;
    return path;
}
