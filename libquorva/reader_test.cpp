// SPDX-License-Identifier: MIT
// The forward reader: peeks and skips on regular files and pipes, inside and past its buffer.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

#include "quorva.h"
#include "segy_fixture.h"

// Bytes that differ from their neighbours, so that a shifted view never passes for the right one.
static bytes
pattern(std::size_t size)
{
    bytes data(size);
    std::mt19937 random(7);
    for (unsigned char &b : data)
        b = static_cast<unsigned char>(random());
    return data;
}

static std::size_t
left_after(const bytes &data, int64_t at)
{
    return data.size() - static_cast<std::size_t>(at);
}

// Peeks and skips of every size class, checked against the bytes from `from` on, until the
// input ends; then the end itself.
static void
walk(quorva_reader *reader, const bytes &data, std::size_t from, unsigned seed)
{
    std::mt19937 random(seed);
    const std::size_t peeks[] = {0, 1, 240, 4240, 24240, QUORVA_READER_SPAN};
    const int64_t skips[] = {0, 1, 3600, 4000, 24000, 300000, 2 * 1024 * 1024};
    int64_t at = static_cast<int64_t>(from);
    for (int step = 0; at < static_cast<int64_t>(data.size()) && step < 100000; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step << " at " << at);
        ASSERT_EQ(quorva_reader_tell(reader), at - static_cast<int64_t>(from));
        if (random() % 2 == 0) {
            std::size_t n = random() % 3 == 0 ? random() % (QUORVA_READER_SPAN + 1)
                                              : peeks[random() % std::size(peeks)];
            std::size_t got = 12345;
            const char *p = quorva_reader_peek(reader, n, &got);
            ASSERT_NE(p, nullptr) << std::strerror(errno);
            ASSERT_EQ(got, std::min(n, left_after(data, at)));
            ASSERT_EQ(std::memcmp(p, data.data() + at, got), 0);
        } else {
            int64_t n = random() % 3 == 0 ? static_cast<int64_t>(random() % 100000)
                                          : skips[random() % std::size(skips)];
            int64_t skipped = -1;
            ASSERT_EQ(quorva_reader_skip(reader, n, &skipped), 0) << std::strerror(errno);
            ASSERT_EQ(skipped, std::min<int64_t>(n, static_cast<int64_t>(left_after(data, at))));
            at += skipped;
        }
    }
    ASSERT_EQ(at, static_cast<int64_t>(data.size()));
    std::size_t got = 1;
    EXPECT_NE(quorva_reader_peek(reader, 240, &got), nullptr);
    EXPECT_EQ(got, 0u);
    int64_t skipped = 1;
    EXPECT_EQ(quorva_reader_skip(reader, 1, &skipped), 0);
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(quorva_reader_tell(reader), static_cast<int64_t>(data.size() - from));
}

// A reader on a new descriptor of path, or null; the test frees the one and closes the other.
static quorva_reader *
reader_on(const std::string &path, int *fd)
{
    *fd = open(path.c_str(), O_RDONLY);
    return *fd < 0 ? nullptr : quorva_reader_new(*fd);
}

TEST(Reader, WalksARegularFileFromItsOffset)
{
    const bytes data = pattern(5 * 1024 * 1024 + 333);
    std::string path = write_file("data", data);
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        std::size_t from = seed == 1 ? 0 : 1000 * seed;
        ASSERT_EQ(lseek(fd, static_cast<off_t>(from), SEEK_SET), static_cast<off_t>(from));
        quorva_reader *reader = quorva_reader_new(fd);
        ASSERT_NE(reader, nullptr);
        walk(reader, data, from, seed);
        quorva_reader_free(reader);
        // The descriptor is left just after what was consumed: here, the end.
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(data.size()));
        close(fd);
    }
}

// A writer on another thread feeds the pipe in pieces of uneven size, so reads come back short.
TEST(Reader, WalksAPipe)
{
    const bytes data = pattern(5 * 1024 * 1024 + 77);
    for (unsigned seed : {4u, 5u, 6u}) {
        SCOPED_TRACE(seed);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::thread writer([&data, fd = fds[1], seed] {
            std::mt19937 random(seed);
            std::size_t done = 0;
            while (done < data.size()) {
                std::size_t n = std::min<std::size_t>(1 + random() % 70000, data.size() - done);
                ssize_t wrote = write(fd, data.data() + done, n);
                if (wrote <= 0)
                    break;
                done += static_cast<std::size_t>(wrote);
            }
            close(fd);
        });
        quorva_reader *reader = quorva_reader_new(fds[0]);
        ASSERT_NE(reader, nullptr);
        walk(reader, data, 0, seed);
        quorva_reader_free(reader);
        close(fds[0]);
        writer.join();
    }
}

// Across the end of what one read brought in, of the buffer, and of the pages read after a long
// skip.
TEST(Reader, PeeksTheLongestSpanAcrossEveryEnd)
{
    const bytes data = pattern(3 * 1024 * 1024);
    std::string path = write_file("data", data);
    int fd = -1;
    quorva_reader *reader = reader_on(path, &fd);
    ASSERT_NE(reader, nullptr);
    std::size_t got = 0;
    ASSERT_NE(quorva_reader_peek(reader, 1, &got), nullptr);
    for (int64_t at : {int64_t{128 * 1024 - 7}, int64_t{1024 * 1024 - 7},
                       int64_t{2 * 1024 * 1024 - 3}, int64_t{2 * 1024 * 1024 + 5000}}) {
        SCOPED_TRACE(at);
        ASSERT_EQ(quorva_reader_skip(reader, at - quorva_reader_tell(reader), nullptr), 0);
        const char *p = quorva_reader_peek(reader, QUORVA_READER_SPAN, &got);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(got, std::size_t{QUORVA_READER_SPAN});
        EXPECT_EQ(std::memcmp(p, data.data() + at, got), 0);
    }
    errno = 0;
    EXPECT_EQ(quorva_reader_peek(reader, QUORVA_READER_SPAN + 1, &got), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(got, 0u);
    errno = 0;
    EXPECT_NE(quorva_reader_skip(reader, -1, nullptr), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(quorva_reader_tell(reader), 2 * 1024 * 1024 + 5000);
    quorva_reader_free(reader);
    close(fd);
}

TEST(Reader, StopsAtTheEndOfAShortInput)
{
    const bytes data = pattern(5000);
    std::string path = write_file("data", data);
    int fd = -1;
    quorva_reader *reader = reader_on(path, &fd);
    ASSERT_NE(reader, nullptr);
    std::size_t got = 0;
    const char *p = quorva_reader_peek(reader, 6000, &got);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(got, 5000u);
    EXPECT_EQ(std::memcmp(p, data.data(), got), 0);
    int64_t skipped = 0;
    EXPECT_EQ(quorva_reader_skip(reader, 4000, &skipped), 0);
    EXPECT_EQ(skipped, 4000);
    // Past the end of a regular file a skip passes only what is there.
    EXPECT_EQ(quorva_reader_skip(reader, INT64_MAX, &skipped), 0);
    EXPECT_EQ(skipped, 1000);
    EXPECT_EQ(quorva_reader_tell(reader), 5000);
    EXPECT_NE(quorva_reader_peek(reader, 240, &got), nullptr);
    EXPECT_EQ(got, 0u);
    quorva_reader_free(reader);
    close(fd);

    // An empty pipe.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[1]);
    reader = quorva_reader_new(fds[0]);
    ASSERT_NE(reader, nullptr);
    EXPECT_NE(quorva_reader_peek(reader, 3600, &got), nullptr);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(quorva_reader_skip(reader, 10, &skipped), 0);
    EXPECT_EQ(skipped, 0);
    quorva_reader_free(reader);
    close(fds[0]);
}

// A file empty when the reader is made is read through, as files of /proc are, whose size says
// nothing: so what is written to it later is read.
TEST(Reader, ReadsAFileThatWasEmpty)
{
    std::string path = write_file("data", {});
    int fd = -1;
    quorva_reader *reader = reader_on(path, &fd);
    ASSERT_NE(reader, nullptr);
    const bytes data = pattern(300000);
    write_file("data", data);
    walk(reader, data, 0, 8);
    quorva_reader_free(reader);
    close(fd);

    fd = open("/proc/self/status", O_RDONLY);
    ASSERT_GE(fd, 0);
    reader = quorva_reader_new(fd);
    ASSERT_NE(reader, nullptr);
    std::size_t got = 0;
    const char *p = quorva_reader_peek(reader, 5, &got);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(got, 5u);
    EXPECT_EQ(std::string(p, got), "Name:");
    quorva_reader_free(reader);
    close(fd);
}

TEST(Reader, ReportsReadErrors)
{
    errno = 0;
    EXPECT_EQ(quorva_reader_new(-1), nullptr);
    EXPECT_EQ(errno, EBADF);
    quorva_reader_free(nullptr);

    std::string path = write_file("data", pattern(100));
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    quorva_reader *reader = quorva_reader_new(fd);
    ASSERT_NE(reader, nullptr);
    std::size_t got = 1;
    errno = 0;
    EXPECT_EQ(quorva_reader_peek(reader, 10, &got), nullptr);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(got, 0u);
    quorva_reader_free(reader);
    close(fd);

    // A pipe's reader discards what it skips, so a skip past its buffer reads, and fails here.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    reader = quorva_reader_new(fds[1]);
    ASSERT_NE(reader, nullptr);
    int64_t skipped = 1;
    errno = 0;
    EXPECT_NE(quorva_reader_skip(reader, 10, &skipped), 0);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(skipped, 0);
    quorva_reader_free(reader);
    close(fds[0]);
    close(fds[1]);
}

// A reader of one short trace's room, as a caller short of memory makes it.
TEST(Reader, ASizedReaderPeeksUpToItsSize)
{
    const bytes data = pattern(300 * 1000 + 11);
    std::string path = write_file("data", data);
    int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    errno = 0;
    EXPECT_EQ(quorva_reader_new_sized(fd, 0), nullptr);
    EXPECT_EQ(errno, EINVAL);
    constexpr std::size_t size = 4240;
    quorva_reader *reader = quorva_reader_new_sized(fd, size);
    ASSERT_NE(reader, nullptr);
    std::size_t got = 0;
    EXPECT_EQ(quorva_reader_peek(reader, size + 1, &got), nullptr);
    EXPECT_EQ(errno, EINVAL);
    std::mt19937 random(8);
    const int64_t skips[] = {0, 1, 240, 4240, 30000};
    int64_t at = 0;
    while (at < static_cast<int64_t>(data.size())) {
        SCOPED_TRACE(at);
        std::size_t n = random() % (size + 1);
        const char *p = quorva_reader_peek(reader, n, &got);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(got, std::min(n, left_after(data, at)));
        ASSERT_EQ(std::memcmp(p, data.data() + at, got), 0);
        int64_t skipped = 0;
        ASSERT_EQ(quorva_reader_skip(reader, skips[random() % std::size(skips)], &skipped), 0);
        at += skipped;
    }
    quorva_reader_free(reader);
    close(fd);
}

// Bytes a reader handed out stay readable when the file is cut short under it, and the reads
// after it meet the end: they are the reader's own bytes, never a mapped page that would raise
// SIGBUS. For the default reader and a sized one alike.
TEST(Reader, OutlivesAFileCutShortUnderIt)
{
    const bytes data = pattern(1024 * 1024);
    for (std::size_t size : {std::size_t{0}, std::size_t{64 * 1024}}) {
        SCOPED_TRACE(size);
        std::string path = write_file("data", data);
        int fd = open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        quorva_reader *reader = size ? quorva_reader_new_sized(fd, size) : quorva_reader_new(fd);
        ASSERT_NE(reader, nullptr);
        // A long skip: the reader reads sparsely from here on.
        ASSERT_EQ(quorva_reader_skip(reader, 100000, nullptr), 0);
        std::size_t got = 0;
        const char *p = quorva_reader_peek(reader, 240, &got);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(got, 240u);
        ASSERT_EQ(ftruncate(fd, 0), 0);
        EXPECT_EQ(std::memcmp(p, data.data() + 100000, got), 0);
        int64_t skipped = -1;
        EXPECT_EQ(quorva_reader_skip(reader, 50000, &skipped), 0);
        EXPECT_EQ(quorva_reader_peek(reader, 240, &got) != nullptr, true);
        EXPECT_EQ(got, 0u);
        quorva_reader_free(reader);
        close(fd);
    }
}
