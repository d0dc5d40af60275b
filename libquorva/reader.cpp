// SPDX-License-Identifier: MIT
// libquorva: the forward reader, one input read front to back through a buffer of its own.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "quorva.h"

// Room for the longest peek and one read beside it.
static constexpr std::size_t buffer_size = 1024 * 1024;
// A streamed input is read in pieces of this size, and what is left of a piece moves to the
// front before the next: so the part of the buffer in use stays in the processor's cache.
static constexpr std::size_t stream_read = 128 * 1024;
static_assert(buffer_size >= QUORVA_READER_SPAN + stream_read,
              "a peek of the longest span leaves room for a read");
// A skip that leaves the buffer by this much or more means the caller reads sparsely, a trace
// header here and there: reads then fetch only up to the end of the page asked for, so that the
// pages skipped are never touched. The file is never mapped: a mapped page of a file cut short or
// unreadable under the reader would raise SIGBUS, where a read fails with a reason.
static constexpr int64_t sparse_skip = 8 * 1024;
// The largest buffer quorva_reader_new_sized makes.
static constexpr std::size_t largest_sized_buffer = buffer_size;

struct quorva_reader {
    int fd;
    // A regular file is read with pread at offsets of the reader's own, and skipped for free.
    bool positioned;
    // After a long skip: reads fetch only up to the page end.
    bool sparse;
    int64_t page_size;
    int64_t origin;    // offset of the first byte, on a regular file
    int64_t file_size; // last size seen, on a regular file
    int64_t consumed;
    std::size_t start; // first byte not consumed
    std::size_t end;   // end of the bytes read
    std::size_t size;  // of the buffer
    std::size_t span;  // the longest peek taken
    char *buffer;
};

static int
fail(int error)
{
    errno = error;
    return -1;
}

// Offset in the file of the next byte to consume, on a regular file.
static int64_t
next_offset(const quorva_reader *reader)
{
    return reader->origin + reader->consumed;
}

// Offset in the file of the byte after the last one read, on a regular file.
static int64_t
read_offset(const quorva_reader *reader)
{
    return next_offset(reader) + static_cast<int64_t>(reader->end - reader->start);
}

static quorva_reader *
new_reader(int fd, std::size_t size, std::size_t span)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return nullptr;
    auto *reader = static_cast<quorva_reader *>(std::malloc(sizeof(quorva_reader)));
    char *buffer = static_cast<char *>(std::malloc(size));
    if (!reader || !buffer) {
        std::free(reader);
        std::free(buffer);
        errno = ENOMEM;
        return nullptr;
    }
    // Files of size 0 include those of /proc, whose size says nothing: they are read through.
    off_t origin = S_ISREG(st.st_mode) && st.st_size > 0 ? lseek(fd, 0, SEEK_CUR) : -1;
    long page_size = sysconf(_SC_PAGESIZE);
    *reader = {fd,     origin >= 0, false, page_size > 0 ? page_size : 4096,
               origin, st.st_size,  0,     0,
               0,      size,        span,  buffer};
    return reader;
}

quorva_reader *
quorva_reader_new(int fd)
{
    return new_reader(fd, buffer_size, QUORVA_READER_SPAN);
}

quorva_reader *
quorva_reader_new_sized(int fd, std::size_t size)
{
    if (size == 0 || size > largest_sized_buffer) {
        errno = EINVAL;
        return nullptr;
    }
    return new_reader(fd, size, size);
}

void
quorva_reader_free(quorva_reader *reader)
{
    if (!reader)
        return;
    if (reader->positioned)
        lseek(reader->fd, static_cast<off_t>(next_offset(reader)), SEEK_SET);
    std::free(reader->buffer);
    std::free(reader);
}

// The bytes of a regular file from offset on, at most n: makes sure the size seen is current
// when offset + n lies beyond it, since the file may have grown. -1 when fstat fails.
static int64_t
bytes_from(quorva_reader *reader, int64_t offset, int64_t n)
{
    if (n > reader->file_size - offset) {
        struct stat st;
        if (fstat(reader->fd, &st) != 0)
            return -1;
        reader->file_size = st.st_size;
    }
    int64_t left = reader->file_size > offset ? reader->file_size - offset : 0;
    return n < left ? n : left;
}

// One read into the free end of the buffer, of at most want bytes: the count, 0 at the end of
// the input, -1 on an error.
static ssize_t
read_some(quorva_reader *reader, std::size_t want)
{
    for (;;) {
        ssize_t got = reader->positioned ? pread(reader->fd, reader->buffer + reader->end, want,
                                                 static_cast<off_t>(read_offset(reader)))
                                         : read(reader->fd, reader->buffer + reader->end, want);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

const char *
quorva_reader_peek(quorva_reader *reader, std::size_t n, std::size_t *got)
{
    if (got)
        *got = 0;
    if (!reader || n > reader->span) {
        errno = EINVAL;
        return nullptr;
    }
    std::size_t ignored = 0;
    if (!got)
        got = &ignored;
    std::size_t have = reader->end - reader->start;
    if (have < n && reader->start > 0) {
        // Fewer than n bytes move, so the buffer keeps most of its room for the reads below.
        std::memmove(reader->buffer, reader->buffer + reader->start, have);
        reader->start = 0;
        reader->end = have;
    }
    while (have < n) {
        std::size_t want = reader->size - reader->end;
        if (want > stream_read)
            want = stream_read;
        if (reader->sparse) {
            // Up to the end of the page that holds the last byte asked for.
            int64_t from = read_offset(reader);
            int64_t to = (from + static_cast<int64_t>(n - have) + reader->page_size - 1) /
                         reader->page_size * reader->page_size;
            if (to - from < static_cast<int64_t>(want))
                want = static_cast<std::size_t>(to - from);
        }
        ssize_t count = read_some(reader, want);
        if (count < 0)
            return nullptr;
        if (count == 0)
            break;
        reader->end += static_cast<std::size_t>(count);
        have += static_cast<std::size_t>(count);
    }
    *got = have < n ? have : n;
    return reader->buffer + reader->start;
}

// Passes up to n bytes of the input beyond the buffer, which is empty; returns how many or -1.
static int64_t
skip_beyond(quorva_reader *reader, int64_t n)
{
    if (reader->positioned)
        return bytes_from(reader, next_offset(reader), n);
    int64_t passed = 0;
    while (passed < n) {
        int64_t rest = n - passed;
        std::size_t want =
            rest < static_cast<int64_t>(stream_read) ? static_cast<std::size_t>(rest) : stream_read;
        if (want > reader->size)
            want = reader->size;
        ssize_t count = read_some(reader, want);
        if (count < 0)
            return -1;
        if (count == 0)
            break;
        passed += count;
    }
    return passed;
}

int
quorva_reader_skip(quorva_reader *reader, int64_t n, int64_t *skipped)
{
    if (skipped)
        *skipped = 0;
    if (!reader || n < 0)
        return fail(EINVAL);
    auto have = static_cast<int64_t>(reader->end - reader->start);
    if (n <= have) {
        reader->start += static_cast<std::size_t>(n);
        reader->consumed += n;
        reader->sparse = false;
        if (skipped)
            *skipped = n;
        return 0;
    }
    reader->consumed += have;
    reader->start = 0;
    reader->end = 0;
    int64_t passed = skip_beyond(reader, n - have);
    if (passed < 0) {
        if (skipped)
            *skipped = have;
        return -1;
    }
    reader->consumed += passed;
    // A short skip goes back to streaming: the bytes up to the next skip are likely all wanted.
    reader->sparse = reader->positioned && n - have >= sparse_skip;
    if (skipped)
        *skipped = have + passed;
    return 0;
}

int64_t
quorva_reader_tell(const quorva_reader *reader)
{
    return reader ? reader->consumed : 0;
}
