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

// Large reads keep the system calls per megabyte few when the input is streamed.
static constexpr std::size_t buffer_size = 1024 * 1024;
static_assert(buffer_size >= 2 * QUORVA_READER_SPAN, "a peek of the longest span leaves room");
// A skip that leaves the buffer by this much or more means the caller reads sparsely: the
// following reads fetch about what is asked for, so that the pages skipped are never touched.
static constexpr int64_t sparse_skip = 8 * 1024;
static constexpr std::size_t page_size = 4096;

struct quorva_reader {
    int fd;
    // A regular file is read with pread at offsets of the reader's own, and skipped for free.
    bool positioned;
    bool sparse;
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

// Offset in the file of the byte after the last one read, on a regular file.
static int64_t
read_offset(const quorva_reader *reader)
{
    return reader->origin + reader->consumed + static_cast<int64_t>(reader->end - reader->start);
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
    off_t origin = S_ISREG(st.st_mode) ? lseek(fd, 0, SEEK_CUR) : -1;
    *reader = {fd, origin >= 0, false, origin, st.st_size, 0, 0, 0, size, span, buffer};
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
    if (size == 0) {
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
        lseek(reader->fd, static_cast<off_t>(reader->origin + reader->consumed), SEEK_SET);
    std::free(reader->buffer);
    std::free(reader);
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
    std::size_t have = reader->end - reader->start;
    if (have < n && reader->start > 0) {
        // Fewer than n bytes move, so the buffer keeps most of its room for the reads below.
        std::memmove(reader->buffer, reader->buffer + reader->start, have);
        reader->start = 0;
        reader->end = have;
    }
    while (have < n) {
        std::size_t want = reader->size - reader->end;
        if (reader->sparse) {
            // Up to the end of the page that holds the last byte asked for.
            auto from = static_cast<std::size_t>(read_offset(reader));
            std::size_t to = (from + (n - have) + page_size - 1) / page_size * page_size;
            if (to - from < want)
                want = to - from;
        }
        ssize_t count = read_some(reader, want);
        if (count < 0)
            return nullptr;
        if (count == 0)
            break;
        reader->end += static_cast<std::size_t>(count);
        have += static_cast<std::size_t>(count);
    }
    if (got)
        *got = have < n ? have : n;
    return reader->buffer + reader->start;
}

// Passes up to n bytes of the input beyond the buffer, which is empty; returns how many or -1.
static int64_t
skip_beyond(quorva_reader *reader, int64_t n)
{
    if (reader->positioned) {
        int64_t offset = read_offset(reader);
        if (n > reader->file_size - offset) {
            // The file may have grown since it was last looked at.
            struct stat st;
            if (fstat(reader->fd, &st) != 0)
                return -1;
            reader->file_size = st.st_size;
        }
        int64_t left = reader->file_size > offset ? reader->file_size - offset : 0;
        return n < left ? n : left;
    }
    int64_t passed = 0;
    while (passed < n) {
        int64_t rest = n - passed;
        std::size_t want = rest < static_cast<int64_t>(reader->size)
                               ? static_cast<std::size_t>(rest)
                               : reader->size;
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
