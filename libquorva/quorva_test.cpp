// SPDX-License-Identifier: MIT
// The library: field coding, textual header translation, file geometry and failures.

#include <cerrno>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "quorva.h"
#include "segy_fixture.h"

TEST(Fields, BinaryHeaderWidthsAndSignExtension)
{
    char bin[QUORVA_BINHEADER_SIZE] = {};
    auto *raw = reinterpret_cast<unsigned char *>(bin);
    put_be(raw, 3201, 3201, 4, -2);
    put_be(raw, 3201, 3213, 2, 0xFFFF);
    put_be(raw, 3201, 3221, 2, 0x8000);
    put_be(raw, 3201, 3505, 2, 3);
    int value = 0;
    EXPECT_EQ(quorva_get_bfield(bin, 3201, &value), 0);
    EXPECT_EQ(value, -2);
    EXPECT_EQ(quorva_get_bfield(bin, 3213, &value), 0);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(quorva_get_bfield(bin, 3221, &value), 0);
    EXPECT_EQ(value, -32768);
    EXPECT_EQ(quorva_get_bfield(bin, 3505, &value), 0);
    EXPECT_EQ(value, 3);

    EXPECT_EQ(quorva_set_bfield(bin, 3209, 0x01020304), 0);
    EXPECT_EQ(get_be(raw, 3201, 3209, 4, false), 0x01020304);
    EXPECT_EQ(quorva_set_bfield(bin, 3221, 65535), 0);
    EXPECT_EQ(get_be(raw, 3201, 3221, 2, false), 65535);
    EXPECT_EQ(get_be(raw, 3201, 3223, 2, false), 0) << "a 2-byte write spills into the next field";
}

TEST(Fields, TraceHeaderWidthsAndSignExtension)
{
    char th[QUORVA_TRACEHEADER_SIZE] = {};
    auto *raw = reinterpret_cast<unsigned char *>(th);
    put_be(raw, 1, 189, 4, 123456789);
    put_be(raw, 1, 71, 2, -100);
    put_be(raw, 1, 237, 4, -1);
    int value = 0;
    EXPECT_EQ(quorva_get_field(th, 189, &value), 0);
    EXPECT_EQ(value, 123456789);
    EXPECT_EQ(quorva_get_field(th, 71, &value), 0);
    EXPECT_EQ(value, -100);
    EXPECT_EQ(quorva_get_field(th, 237, &value), 0);
    EXPECT_EQ(value, -1);

    EXPECT_EQ(quorva_set_field(th, 115, 463), 0);
    EXPECT_EQ(get_be(raw, 1, 115, 2, false), 463);
    EXPECT_EQ(quorva_set_field(th, 109, -5), 0);
    EXPECT_EQ(get_be(raw, 1, 109, 2, true), -5);
    EXPECT_EQ(quorva_set_field(th, 193, INT_MIN), 0);
    EXPECT_EQ(get_be(raw, 1, 193, 4, true), INT_MIN);
}

TEST(Fields, EveryInvalidPositionClassFails)
{
    char th[QUORVA_TRACEHEADER_SIZE] = {};
    char bin[QUORVA_BINHEADER_SIZE] = {};
    int value = 77;
    // Before the header, inside a field, past the last field, past the header, unassigned.
    for (int position : {INT_MIN, -1, 0, 2, 30, 238, 240, 241, INT_MAX}) {
        SCOPED_TRACE(position);
        errno = 0;
        EXPECT_NE(quorva_get_field(th, position, &value), 0);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_NE(quorva_set_field(th, position, 1), 0);
    }
    for (int position : {0, 1, 3200, 3202, 3214, 3260, 3261, 3300, 3500, 3502, 3507, 3600, 3601}) {
        SCOPED_TRACE(position);
        errno = 0;
        EXPECT_NE(quorva_get_bfield(bin, position, &value), 0);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_NE(quorva_set_bfield(bin, position, 1), 0);
    }
    EXPECT_EQ(value, 77);
}

TEST(Fields, TwoByteWriteOutOfRangeLeavesTheBufferAlone)
{
    char th[QUORVA_TRACEHEADER_SIZE] = {};
    EXPECT_EQ(quorva_set_field(th, 109, -32768), 0);
    for (int value : {65536, -32769, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(value);
        errno = 0;
        EXPECT_NE(quorva_set_field(th, 109, value), 0);
        EXPECT_EQ(errno, ERANGE);
        int read = 0;
        quorva_get_field(th, 109, &read);
        EXPECT_EQ(read, -32768);
    }
}

TEST(Fields, WidthsTileTheTraceHeader)
{
    int covered = 0;
    int fields = 0;
    for (int position = 1; position <= 240; ++position) {
        int width = quorva_field_width(position);
        if (width != 0) {
            EXPECT_EQ(position, covered + 1);
            covered += width;
            ++fields;
        }
    }
    EXPECT_EQ(covered, 240);
    EXPECT_EQ(fields, 91);
}

TEST(TextHeader, EbcdicIsTranslatedAndAsciiPassesThrough)
{
    std::string card = "C 1 CLIENT: QUORVA (TEST) LINE 12-A, 3D; X=1.5 Y/Z";
    bytes ebcdic = ebcdic_card_text({card});
    char text[QUORVA_TEXTHEADER_SIZE + 1];
    std::memcpy(text, ebcdic.data(), QUORVA_TEXTHEADER_SIZE);
    EXPECT_FALSE(quorva_is_ascii_text(text));
    quorva_ebcdic_to_ascii(text, QUORVA_TEXTHEADER_SIZE);
    EXPECT_EQ(std::string(text, card.size()), card);
    EXPECT_EQ(text[80], ' ');

    bytes ascii = ascii_card_text({card});
    EXPECT_TRUE(quorva_is_ascii_text(reinterpret_cast<const char *>(ascii.data())));

    // Bytes with no ASCII counterpart become '?'; NUL stays NUL.
    char odd[4] = {'\x4A', '\x00', '\xFF', '\x25'};
    quorva_ebcdic_to_ascii(odd, 4);
    EXPECT_EQ(std::string(odd, 4), std::string("?\0?\n", 4));
}

TEST(TextHeader, ReadFromFile)
{
    segy_file f = make_segy({.traces = 1, .extended = 1});
    f.text = ascii_card_text({"C 1 ASCII HEADER"});
    f.text[3199] = 0x80; // a stray high byte does not make an ASCII header EBCDIC
    std::string path = write_segy("text.sgy", f);
    quorva_file *file = quorva_open(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    char buf[QUORVA_TEXTHEADER_SIZE + 1];
    std::memset(buf, 'x', sizeof buf);
    ASSERT_EQ(quorva_read_textheader(file, buf), 0);
    EXPECT_EQ(std::string(buf, 16), "C 1 ASCII HEADER");
    EXPECT_EQ(buf[3199], '\x80');
    EXPECT_EQ(buf[3200], '\0');
    ASSERT_EQ(quorva_read_ext_textheader(file, 0, buf), 0);
    EXPECT_EQ(std::string(buf, 22), "C 1 EXTENDED HEADER 1 ");
    errno = 0;
    EXPECT_NE(quorva_read_ext_textheader(file, 1, buf), 0);
    EXPECT_NE(errno, 0);
    EXPECT_NE(quorva_read_ext_textheader(file, -1, buf), 0);
    quorva_close(file);
}

TEST(Geometry, SizesAndOffsets)
{
    char bin[QUORVA_BINHEADER_SIZE] = {};
    auto *raw = reinterpret_cast<unsigned char *>(bin);
    put_be(raw, 3201, 3221, 2, 500);
    put_be(raw, 3201, 3225, 2, 3);
    put_be(raw, 3201, 3505, 2, 2);
    EXPECT_EQ(quorva_samples(bin), 500);
    EXPECT_EQ(quorva_format(bin), 3);
    EXPECT_EQ(quorva_trace0(bin), 3600 + 2 * 3200);
    put_be(raw, 3201, 3505, 2, -1);
    EXPECT_EQ(quorva_trace0(bin), 400);

    struct {
        int format, samples, size;
    } const sizes[] = {{1, 500, 2000}, {2, 10, 40}, {3, 10, 20}, {4, 1, 4},   {5, 0, 0},
                       {8, 7, 7},      {6, 10, -1}, {0, 10, -1}, {-1, 1, -1}, {1, INT_MAX, -1}};
    for (const auto &row : sizes) {
        SCOPED_TRACE(row.format);
        EXPECT_EQ(quorva_trsize(row.format, row.samples), row.size);
    }
}

TEST(Geometry, TraceCountAndHeaders)
{
    segy_file f = make_segy({.traces = 3, .samples = 5, .format = 1});
    f.tail = bytes(100, 0xAA); // a partial fourth trace
    std::string path = write_segy("geometry.sgy", f);
    quorva_file *file = quorva_open(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    int traces = -1;
    ASSERT_EQ(quorva_traces(file, &traces, 3600, 20), 0);
    EXPECT_EQ(traces, 3);
    char th[QUORVA_TRACEHEADER_SIZE];
    ASSERT_EQ(quorva_traceheader(file, 2, th, 3600, 20), 0);
    int value = 0;
    quorva_get_field(th, 1, &value);
    EXPECT_EQ(value, 3);
    errno = 0;
    EXPECT_NE(quorva_traceheader(file, 4, th, 3600, 20), 0) << "past the end";
    EXPECT_NE(errno, 0);

    // Impossible geometry: first trace before 3600 or past the end, non-positive length.
    const struct {
        int64_t trace0;
        int trsize;
    } bad[] = {{400, 20},  {3599, 20},   {int64_t{1} << 40, 20},
               {3600, -1}, {3600, -240}, {3600, -1000}};
    for (const auto &row : bad) {
        SCOPED_TRACE(row.trace0);
        errno = 0;
        traces = -1;
        EXPECT_NE(quorva_traces(file, &traces, row.trace0, row.trsize), 0);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(traces, -1);
    }
    // A trace whose offset would pass 64 bits lies past the end, and is refused as such.
    for (int64_t trace0 : {INT64_MAX - 5, INT64_MAX - 240 * 2}) {
        SCOPED_TRACE(trace0);
        errno = 0;
        EXPECT_NE(quorva_traceheader(file, 2, th, trace0, 20), 0);
        EXPECT_EQ(errno, EINVAL);
    }
    // A file that ends right at the first trace has none.
    f.traces.clear();
    f.tail.clear();
    quorva_close(file);
    path = write_segy("empty-traces.sgy", f);
    file = quorva_open(path.c_str(), "r");
    ASSERT_EQ(quorva_traces(file, &traces, 3600, 20), 0);
    EXPECT_EQ(traces, 0);
    quorva_close(file);
}

TEST(Files, UnusableFilesFailWithErrno)
{
    errno = 0;
    EXPECT_EQ(quorva_open("/nonexistent/quorva.sgy", "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(quorva_open(test_dir().c_str(), "r"), nullptr);
    EXPECT_EQ(errno, EISDIR);
    errno = 0;
    EXPECT_EQ(quorva_open("/dev/null", "w"), nullptr);
    EXPECT_EQ(errno, EINVAL);

    // Empty and too-short files open but fail at the first header read.
    for (std::size_t size : {std::size_t{0}, std::size_t{3200}, std::size_t{3599}}) {
        SCOPED_TRACE(size);
        std::string path = write_file("short.sgy", bytes(size, 0));
        quorva_file *file = quorva_open(path.c_str(), "r");
        ASSERT_NE(file, nullptr);
        char bin[QUORVA_BINHEADER_SIZE];
        errno = 0;
        EXPECT_NE(quorva_binheader(file, bin), 0);
        EXPECT_EQ(errno, EINVAL);
        quorva_close(file);
    }
}

TEST(Files, OffsetsBeyondFourGibibytes)
{
    // A sparse file whose last trace starts past 4 GiB.
    std::string path = write_file("large.sgy", bytes(3600, 0));
    const int64_t trsize = 1000 * 4;
    const int64_t traces = 1100000;
    const int64_t size = 3600 + traces * (240 + trsize);
    ASSERT_GT(size, int64_t{1} << 32);
    ASSERT_EQ(truncate(path.c_str(), size), 0);
    quorva_file *file = quorva_open(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    int count = 0;
    ASSERT_EQ(quorva_traces(file, &count, 3600, trsize), 0);
    EXPECT_EQ(count, traces);
    char th[QUORVA_TRACEHEADER_SIZE];
    EXPECT_EQ(quorva_traceheader(file, count - 1, th, 3600, trsize), 0);
    EXPECT_NE(quorva_traceheader(file, count, th, 3600, trsize), 0);
    quorva_close(file);
}

// The bytes of data, put whole into a pipe (they fit its buffer), opened by path like a file.
struct piped {
    int ends[2] = {-1, -1};
    std::string path;

    explicit piped(const bytes &data)
    {
        if (pipe(ends) != 0 ||
            write(ends[1], data.data(), data.size()) != static_cast<ssize_t>(data.size()))
            throw std::runtime_error("cannot fill a pipe");
        close(ends[1]);
        path = "/dev/fd/" + std::to_string(ends[0]);
    }
    ~piped()
    {
        close(ends[0]);
    }
};

TEST(Files, PipesAreReadForward)
{
    segy_file f = make_segy({.traces = 3, .samples = 5, .format = 1, .extended = 2});
    std::string path = write_segy("piped.sgy", f);
    quorva_file *regular = quorva_open(path.c_str(), "r");
    ASSERT_NE(regular, nullptr);
    piped stream(f.serialize());
    quorva_file *file = quorva_open(stream.path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    const int64_t trace0 = 3600 + 2 * 3200;

    // Skipping over the first extended header, then back to the headers that are kept.
    char text[QUORVA_TEXTHEADER_SIZE + 1];
    char expected[QUORVA_TEXTHEADER_SIZE + 1];
    ASSERT_EQ(quorva_read_ext_textheader(file, 1, text), 0);
    ASSERT_EQ(quorva_read_ext_textheader(regular, 1, expected), 0);
    EXPECT_EQ(std::string(text), std::string(expected));
    char bin[QUORVA_BINHEADER_SIZE];
    char expected_bin[QUORVA_BINHEADER_SIZE];
    ASSERT_EQ(quorva_binheader(file, bin), 0);
    ASSERT_EQ(quorva_binheader(regular, expected_bin), 0);
    EXPECT_EQ(std::memcmp(bin, expected_bin, sizeof bin), 0);
    ASSERT_EQ(quorva_read_textheader(file, text), 0);
    ASSERT_EQ(quorva_read_textheader(regular, expected), 0);
    EXPECT_EQ(std::string(text), std::string(expected));

    // What has gone by cannot be read again, and a stream has no size.
    errno = 0;
    EXPECT_NE(quorva_read_ext_textheader(file, 0, text), 0);
    EXPECT_EQ(errno, ESPIPE);
    int traces = -1;
    errno = 0;
    EXPECT_NE(quorva_traces(file, &traces, trace0, 20), 0);
    EXPECT_EQ(errno, ESPIPE);
    EXPECT_EQ(traces, -1);

    // Trace headers in increasing order.
    char th[QUORVA_TRACEHEADER_SIZE];
    int value = 0;
    ASSERT_EQ(quorva_traceheader(file, 0, th, trace0, 20), 0);
    quorva_get_field(th, 1, &value);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(quorva_traceheader(file, 2, th, trace0, 20), 0);
    quorva_get_field(th, 1, &value);
    EXPECT_EQ(value, 3);
    errno = 0;
    EXPECT_NE(quorva_traceheader(file, 1, th, trace0, 20), 0);
    EXPECT_EQ(errno, ESPIPE);
    errno = 0;
    EXPECT_NE(quorva_traceheader(file, 3, th, trace0, 20), 0) << "past the end";
    EXPECT_EQ(errno, EINVAL);
    // A header whose end lies beyond the 64-bit range is refused, not read toward it.
    errno = 0;
    EXPECT_NE(quorva_traceheader(file, 0, th, INT64_MAX - 10, 20), 0);
    EXPECT_EQ(errno, EINVAL);
    quorva_close(file);
    quorva_close(regular);

    // A stream that ends inside the binary header.
    piped short_stream(bytes(3300, 0x40));
    file = quorva_open(short_stream.path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(quorva_read_textheader(file, text), 0);
    errno = 0;
    EXPECT_NE(quorva_binheader(file, bin), 0);
    EXPECT_EQ(errno, EINVAL);
    quorva_close(file);
}

TEST(Version, LibraryMatchesHeaderAndProject)
{
    EXPECT_EQ(quorva_version(), QUORVA_VERSION_NUMBER);
    EXPECT_EQ(QUORVA_VERSION_NUMBER, QUORVA_VERSION_MAJOR * 1000 + QUORVA_VERSION_MINOR);
    EXPECT_EQ(QUORVA_VERSION_MAJOR, QUORVA_PROJECT_VERSION_MAJOR);
    EXPECT_EQ(QUORVA_VERSION_MINOR, QUORVA_PROJECT_VERSION_MINOR);
}
