// SPDX-License-Identifier: MIT
// Builds small SEG-Y files in memory and on disk for the tests.

#include "segy_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

void
put_be(unsigned char *buf, int first, int position, int width, int64_t value)
{
    auto bits = static_cast<uint64_t>(value);
    unsigned char *p = buf + (position - first);
    for (int i = 0; i < width; ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * (width - 1 - i)));
}

int64_t
get_be(const unsigned char *buf, int first, int position, int width, bool sign)
{
    const unsigned char *p = buf + (position - first);
    uint64_t bits = 0;
    for (int i = 0; i < width; ++i)
        bits = bits << 8 | p[i];
    if (sign && (bits >> (8 * width - 1)) & 1)
        return static_cast<int64_t>(bits) - (int64_t{1} << (8 * width));
    return static_cast<int64_t>(bits);
}

bytes
to_ebcdic(const std::string &text)
{
    static const std::string ascii =
        " .<(+|&!$*);-/,%_>?`:#@'=\"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static const unsigned char ebcdic[] = {
        0x40, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x61, 0x6B,
        0x6C, 0x6D, 0x6E, 0x6F, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F, 0x81, 0x82, 0x83, 0x84,
        0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0xA2,
        0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8,
        0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6,
        0xE7, 0xE8, 0xE9, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9};
    static_assert(std::size(ebcdic) == 88);
    bytes out;
    for (char c : text) {
        auto at = ascii.find(c);
        if (at == std::string::npos)
            throw std::invalid_argument("no EBCDIC code for character");
        out.push_back(ebcdic[at]);
    }
    return out;
}

bytes
ascii_card_text(const std::vector<std::string> &lines)
{
    bytes text(3200, ' ');
    for (std::size_t i = 0; i < lines.size() && i < 40; ++i)
        for (std::size_t j = 0; j < lines[i].size() && j < 80; ++j)
            text[i * 80 + j] = static_cast<unsigned char>(lines[i][j]);
    return text;
}

bytes
ebcdic_card_text(const std::vector<std::string> &lines)
{
    bytes ascii = ascii_card_text(lines);
    return to_ebcdic(std::string(ascii.begin(), ascii.end()));
}

void
segy_trace::set(int position, int width, int64_t value)
{
    put_be(header, 1, position, width, value);
}

int64_t
segy_trace::get(int position, int width, bool sign) const
{
    return get_be(header, 1, position, width, sign);
}

void
segy_file::set_bin(int position, int width, int64_t value)
{
    put_be(binary, 3201, position, width, value);
}

int64_t
segy_file::get_bin(int position, int width, bool sign) const
{
    return get_be(binary, 3201, position, width, sign);
}

bytes
segy_file::serialize() const
{
    bytes out(text);
    out.resize(3200, 0);
    out.insert(out.end(), std::begin(binary), std::end(binary));
    for (const bytes &ext : extended)
        out.insert(out.end(), ext.begin(), ext.end());
    for (const segy_trace &trace : traces) {
        out.insert(out.end(), std::begin(trace.header), std::end(trace.header));
        out.insert(out.end(), trace.samples.begin(), trace.samples.end());
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

int
sample_size(int format)
{
    switch (format) {
    case 3:
        return 2;
    case 8:
        return 1;
    default:
        return 4;
    }
}

bytes
cut(bytes data, std::size_t size)
{
    data.resize(size);
    return data;
}

segy_file
make_segy(const segy_layout &layout)
{
    segy_file file;
    file.text = ebcdic_card_text(
        {"C 1 QUORVA TEST FIXTURE", "C 2 SMALL SYNTHETIC SURVEY", "C40 END TEXTUAL HEADER"});
    file.set_bin(3213, 2, layout.traces / (layout.ilines > 0 ? layout.ilines : 1));
    file.set_bin(3217, 2, layout.interval_us);
    file.set_bin(3219, 2, layout.interval_us);
    file.set_bin(3221, 2, layout.samples);
    file.set_bin(3223, 2, layout.samples);
    file.set_bin(3225, 2, layout.format);
    file.set_bin(3501, 2, 0x0100);
    file.set_bin(3503, 2, 1);
    file.set_bin(3505, 2, layout.extended);
    for (int e = 0; e < layout.extended; ++e)
        file.extended.push_back(ebcdic_card_text({"C 1 EXTENDED HEADER " + std::to_string(e + 1)}));

    int per_line = layout.traces / (layout.ilines > 0 ? layout.ilines : 1);
    if (per_line < 1)
        per_line = 1;
    int size = sample_size(layout.format);
    for (int t = 0; t < layout.traces; ++t) {
        segy_trace trace;
        trace.set(1, 4, t + 1);
        trace.set(5, 4, t + 1);
        trace.set(115, 2, layout.samples);
        trace.set(117, 2, layout.interval_us);
        trace.set(189, 4, layout.first_iline + t / per_line);
        trace.set(193, 4, layout.first_xline + t % per_line);
        trace.samples.resize(static_cast<std::size_t>(layout.samples * size));
        for (std::size_t i = 0; i < trace.samples.size(); ++i)
            trace.samples[i] = static_cast<unsigned char>((t * 37 + i) & 0xFF);
        file.traces.push_back(trace);
    }
    return file;
}

// One folder per test process, so that test runs of several build trees at once (other work
// trees, both presets) never empty each other's files; it goes when the process ends.
static const std::filesystem::path &
process_dir()
{
    static const std::filesystem::path dir =
        std::filesystem::path(testing::TempDir()) / ("quorva-" + std::to_string(getpid()));
    // Registered after dir is made, so that it runs before dir is destroyed.
    static const int registered = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(process_dir(), ignored);
    });
    (void)registered;
    return dir;
}

std::string
test_dir()
{
    static std::string dir;
    static const testing::TestInfo *owner = nullptr;
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    if (!dir.empty() && info == owner)
        return dir;
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    for (char &c : name)
        if (c == '/')
            c = '_';
    std::filesystem::path path = process_dir() / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    dir = path.string();
    owner = info;
    return dir;
}

std::string
write_file(const std::string &name, const bytes &data)
{
    std::string path = test_dir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string
write_segy(const std::string &name, const segy_file &file)
{
    return write_file(name, file.serialize());
}

bytes
read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string
samples_dir()
{
    std::filesystem::path dir(QUORVA_SAMPLES_DIR);
    return std::filesystem::is_directory(dir) ? dir.string() : std::string();
}

const std::vector<std::string> &
sample_names()
{
    static const std::vector<std::string> names = {"00001034.sgy_first_trace",
                                                   "1.sgy_first_trace",
                                                   "example.y_first_trace",
                                                   "ld0042_file_00018.sgy_first_trace",
                                                   "one_trace_year_11.sgy",
                                                   "one_trace_year_99.sgy",
                                                   "planes.segy_first_trace",
                                                   "su-329.sgy",
                                                   "su-File010690.sgy",
                                                   "su-data.sgy",
                                                   "su-junk.sgy"};
    return names;
}
