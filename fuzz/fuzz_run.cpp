// SPDX-License-Identifier: MIT
// Runs a program's main in the fuzzer's process, again and again, and checks what must hold
// after every run.

#include "fuzz_run.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <iterator>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_args.h"
#include "quorva.h"

// The calls that --wrap hands to the wrappers below, under their own names.
extern "C" {
[[noreturn]] void __real_exit(int status);
void *__real_malloc(std::size_t size);
void *__real_calloc(std::size_t count, std::size_t size);
void *__real_realloc(void *old, std::size_t size);
void __real_free(void *p);
std::FILE *__real_fopen(const char *path, const char *mode);
int __real_fclose(std::FILE *stream);
quorva_file *__real_quorva_open(const char *path, const char *mode);
int __real_quorva_close(quorva_file *file);
quorva_reader *__real_quorva_reader_new(int fd);
quorva_reader *__real_quorva_reader_new_sized(int fd, std::size_t size);
void __real_quorva_reader_free(quorva_reader *reader);
}

// What a run holds: memory, streams, library handles and readers.
enum class resource_kind { memory, stream, handle, reader };

struct ledger_entry {
    void *resource;
    resource_kind kind;
};

// A run holds a few resources at a time; more than this is a leak in itself.
static constexpr std::size_t ledger_capacity = 4096;
static ledger_entry ledger[ledger_capacity];
static std::size_t ledger_size = 0;

static bool running = false;
static std::jmp_buf run_end;
static int exit_status = 0;
static std::vector<std::string> arguments;

// Descriptors above the standard three that are looked at before and after a run.
static constexpr int watched_descriptors = 32;

static void
record(void *resource, resource_kind kind)
{
    if (ledger_size == ledger_capacity) {
        // Straight to the descriptor: the run has standard error in memory.
        static constexpr char message[] = "quorva fuzz: a run holds over 4096 resources at once\n";
        ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
        static_cast<void>(ignored);
        std::abort();
    }
    ledger[ledger_size++] = {resource, kind};
}

// Forgets the resource; false when it was not recorded (it is older than the run).
static bool
forget(void *resource)
{
    for (std::size_t i = ledger_size; i-- > 0;) {
        if (ledger[i].resource == resource) {
            ledger[i] = ledger[--ledger_size];
            return true;
        }
    }
    return false;
}

extern "C" {

[[noreturn]] void
__wrap_exit(int status)
{
    if (!running)
        __real_exit(status);
    exit_status = status;
    std::longjmp(run_end, 1);
}

void *
__wrap_malloc(std::size_t size)
{
    void *p = __real_malloc(size);
    if (running && p)
        record(p, resource_kind::memory);
    return p;
}

void *
__wrap_calloc(std::size_t count, std::size_t size)
{
    void *p = __real_calloc(count, size);
    if (running && p)
        record(p, resource_kind::memory);
    return p;
}

void *
__wrap_realloc(void *old, std::size_t size)
{
    void *p = __real_realloc(old, size);
    if (!running || (!p && size != 0))
        return p;
    // Memory from before the run stays unrecorded when it moves.
    bool recorded = !old || forget(old);
    if (p && recorded)
        record(p, resource_kind::memory);
    return p;
}

void
__wrap_free(void *p)
{
    if (running && p)
        forget(p);
    __real_free(p);
}

std::FILE *
__wrap_fopen(const char *path, const char *mode)
{
    std::FILE *stream = __real_fopen(path, mode);
    if (running && stream)
        record(stream, resource_kind::stream);
    return stream;
}

int
__wrap_fclose(std::FILE *stream)
{
    if (running)
        forget(stream);
    return __real_fclose(stream);
}

quorva_file *
__wrap_quorva_open(const char *path, const char *mode)
{
    quorva_file *file = __real_quorva_open(path, mode);
    if (running && file)
        record(file, resource_kind::handle);
    return file;
}

int
__wrap_quorva_close(quorva_file *file)
{
    if (running && file)
        forget(file);
    return __real_quorva_close(file);
}

quorva_reader *
__wrap_quorva_reader_new(int fd)
{
    quorva_reader *reader = __real_quorva_reader_new(fd);
    if (running && reader)
        record(reader, resource_kind::reader);
    return reader;
}

quorva_reader *
__wrap_quorva_reader_new_sized(int fd, std::size_t size)
{
    quorva_reader *reader = __real_quorva_reader_new_sized(fd, size);
    if (running && reader)
        record(reader, resource_kind::reader);
    return reader;
}

void
__wrap_quorva_reader_free(quorva_reader *reader)
{
    if (running && reader)
        forget(reader);
    __real_quorva_reader_free(reader);
}
}

static const char *
kind_name(resource_kind kind)
{
    switch (kind) {
    case resource_kind::memory:
        return "allocation";
    case resource_kind::stream:
        return "open stream";
    case resource_kind::handle:
        return "open quorva_file";
    case resource_kind::reader:
        return "quorva_reader";
    }
    return "resource";
}

// Streams and handles first, since closing them may free memory of their own.
static void
release_all()
{
    for (std::size_t i = 0; i < ledger_size; ++i) {
        const ledger_entry &e = ledger[i];
        if (e.kind == resource_kind::stream)
            __real_fclose(static_cast<std::FILE *>(e.resource));
        else if (e.kind == resource_kind::handle)
            __real_quorva_close(static_cast<quorva_file *>(e.resource));
        else if (e.kind == resource_kind::reader)
            __real_quorva_reader_free(static_cast<quorva_reader *>(e.resource));
    }
    for (std::size_t i = 0; i < ledger_size; ++i)
        if (ledger[i].kind == resource_kind::memory)
            __real_free(ledger[i].resource);
    ledger_size = 0;
}

static const std::string &
scratch_dir()
{
    static const std::string dir = [] {
        std::string pattern = scratch_parent() + "/quorva-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("quorva fuzz: mkdtemp");
            std::abort();
        }
        return pattern;
    }();
    return dir;
}

static void
remove_scratch()
{
    unlink(input_path().c_str());
    unlink(output_path().c_str());
    rmdir(scratch_dir().c_str());
}

const std::string &
input_path()
{
    static const std::string path = [] {
        std::atexit(remove_scratch);
        return scratch_dir() + "/in.sgy";
    }();
    return path;
}

const std::string &
output_path()
{
    static const std::string path = scratch_dir() + "/out.sgy";
    return path;
}

const std::string &
missing_path()
{
    static const std::string path = scratch_dir() + "/missing.sgy";
    return path;
}

void
append_file_operands(uint8_t shape, std::vector<std::string> *args)
{
    switch (shape % 16) {
    case 13:
        args->insert(args->end(), {input_path(), input_path()});
        break;
    case 14:
        args->insert(args->end(), {input_path(), missing_path(), input_path()});
        break;
    case 15:
        break;
    default:
        args->push_back(input_path());
    }
}

static void
write_input(const uint8_t *file, std::size_t size)
{
    int fd = open(input_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::size_t done = 0;
    while (fd >= 0 && done < size) {
        ssize_t n = write(fd, file + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (fd < 0 || done != size || close(fd) != 0) {
        std::perror("quorva fuzz: cannot write the input file");
        std::abort();
    }
}

std::string
read_whole_file(const std::string &path)
{
    std::string data;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return data;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        data.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return data;
}

static unsigned
open_descriptors()
{
    unsigned open_set = 0;
    for (int i = 0; i < watched_descriptors; ++i)
        if (fcntl(3 + i, F_GETFD) != -1)
            open_set |= 1u << i;
    return open_set;
}

// Descriptors opened by the run and still open; closed when the run failed.
static unsigned
leftover_descriptors(unsigned before, bool close_them)
{
    unsigned left = open_descriptors() & ~before;
    if (close_them)
        for (int i = 0; i < watched_descriptors; ++i)
            if (left & 1u << i)
                close(3 + i);
    return left;
}

[[noreturn]] void
fail_check(const char *what, const program_run &run)
{
    std::fflush(stdout);
    std::fprintf(stderr, "\nquorva fuzz: %s\n  command:", what);
    for (const std::string &a : arguments)
        std::fprintf(stderr, " '%s'", a.c_str());
    std::fprintf(stderr, "\n  status: %d%s\n", run.status, run.exited ? " (through exit)" : "");
    constexpr std::size_t shown = 2000;
    std::fprintf(stderr, "  standard output (%zu bytes): %.*s\n", run.out.size(),
                 static_cast<int>(run.out.size() < shown ? run.out.size() : shown), run.out.data());
    std::fprintf(stderr, "  standard error: %.*s\n",
                 static_cast<int>(run.err.size() < shown ? run.err.size() : shown), run.err.data());
    std::abort();
}

program_run
run_program_in_process(const char *name, const std::vector<std::string> &args, const uint8_t *file,
                       std::size_t file_size)
{
    write_input(file, file_size);
    unlink(output_path().c_str());

    arguments.assign(1, name);
    arguments.insert(arguments.end(), args.begin(), args.end());
    // getopt_long permutes the vector, so the program gets copies of its own.
    std::vector<std::string> words = arguments;
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // The program writes into memory streams in place of the standard streams; the sanitizers
    // and the fuzzer keep writing to the real standard error.
    std::fflush(stdout);
    std::fflush(stderr);
    std::FILE *real_out = stdout;
    std::FILE *real_err = stderr;
    char *out_text = nullptr;
    char *err_text = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE *out = open_memstream(&out_text, &out_size);
    std::FILE *err = open_memstream(&err_text, &err_size);
    if (!out || !err) {
        std::perror("quorva fuzz: open_memstream");
        std::abort();
    }
    unsigned descriptors = open_descriptors();

    stdout = out;
    stderr = err;
    // 0 makes glibc's getopt start afresh, its hidden state as well.
    optind = 0;
    opterr = 1;
    optarg = nullptr;
    running = true;
    int status = 0;
    bool exited = false;
    if (setjmp(run_end) == 0) {
        status = quorva_fuzz_program_main(static_cast<int>(argv.size() - 1), argv.data());
    } else {
        status = exit_status;
        exited = true;
    }
    running = false;
    std::fflush(stdout);
    std::fflush(stderr);
    stdout = real_out;
    stderr = real_err;
    std::fclose(out);
    std::fclose(err);

    program_run run;
    run.status = status & 0xFF;
    run.exited = exited;
    run.out.assign(out_text, out_size);
    run.err.assign(err_text, err_size);
    std::free(out_text);
    std::free(err_text);

    // A failure ends at once and leaves its resources to the end of the process; a success
    // releases everything.
    if (run.status == 0 && ledger_size > 0) {
        std::string what = std::string("a successful run left ") + std::to_string(ledger_size) +
                           " resources behind, the first: " + kind_name(ledger[0].kind);
        release_all();
        fail_check(what.c_str(), run);
    }
    release_all();
    if (leftover_descriptors(descriptors, run.status != 0) != 0 && run.status == 0)
        fail_check("a successful run left a file descriptor open", run);

    std::string now = read_whole_file(input_path());
    if (now.size() != file_size || std::memcmp(now.data(), file, file_size) != 0)
        fail_check("the input file changed", run);
    return run;
}

static bool
starts_with(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// getopt_long's own complaints, as glibc words them, after "NAME: ".
static bool
is_getopt_complaint(const char *name, std::string_view line)
{
    std::string lead = std::string(name) + ": ";
    if (!starts_with(line, lead))
        return false;
    line.remove_prefix(lead.size());
    static constexpr std::string_view openings[] = {
        "unrecognized option '",
        "invalid option -- '",
        "option requires an argument -- '",
        "option '",
    };
    for (std::string_view o : openings)
        if (starts_with(line, o))
            return true;
    return false;
}

void
check_diagnostics(const char *name, const program_run &run, const std::vector<std::string> &allowed,
                  bool getopt_complaints)
{
    if (run.status != 0 && run.err.empty())
        fail_check("a failing run said nothing on standard error", run);
    if (!run.err.empty() && run.err.back() != '\n')
        fail_check("standard error ends inside a line", run);
    if (run.status != 0)
        return;
    bool complained = false;
    std::string_view rest = run.err;
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        bool documented = false;
        for (const std::string &a : allowed)
            documented = documented || line == a;
        if (documented)
            continue;
        if (getopt_complaints && is_getopt_complaint(name, line)) {
            complained = true;
            continue;
        }
        fail_check("a diagnostic with status 0", run);
    }
    if (complained && !starts_with(run.out, "Usage: "))
        fail_check("getopt_long's complaint with status 0 but without the usage text", run);
}
