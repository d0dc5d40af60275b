// SPDX-License-Identifier: MIT
// Builds small SEG-Y files in memory and on disk for the tests.
#ifndef QUORVA_SEGY_FIXTURE_H
#define QUORVA_SEGY_FIXTURE_H

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

// Stores value big-endian in width (1, 2 or 4) bytes at a 1-based position of a buffer whose
// first byte has position `first` (1 for a trace header, 3201 for a binary header).
void put_be(unsigned char *buf, int first, int position, int width, int64_t value);
int64_t get_be(const unsigned char *buf, int first, int position, int width, bool sign);

// 3200 bytes: 40 cards of 80 characters, each line text padded with blanks, in ASCII.
bytes ascii_card_text(const std::vector<std::string> &lines);
// The same in EBCDIC (code page 037) for the characters a card header uses.
bytes ebcdic_card_text(const std::vector<std::string> &lines);
// ASCII to EBCDIC (code page 037) for letters, digits, blank and common punctuation.
bytes to_ebcdic(const std::string &text);

struct segy_trace {
    unsigned char header[240] = {};
    bytes samples;

    void set(int position, int width, int64_t value);
    int64_t get(int position, int width, bool sign = true) const;
};

struct segy_file {
    bytes text; // 3200 bytes as stored
    unsigned char binary[400] = {};
    std::vector<bytes> extended; // each 3200 bytes as stored
    std::vector<segy_trace> traces;
    bytes tail; // bytes after the last trace (e.g. a partial trace)

    // Binary header field at file position 3201-3600.
    void set_bin(int position, int width, int64_t value);
    int64_t get_bin(int position, int width, bool sign = true) const;

    bytes serialize() const;
};

// A regular file: EBCDIC card header, binary header with the sample interval (3217), sample
// count (3221, 3223), format (3225) and revision 1 (3501) set, and `traces` traces laid out as
// `ilines` inlines starting at first_iline, crosslines counting from first_xline, at bytes 189
// and 193. Every trace header holds its sequence numbers (1 and 5), its inline and crossline,
// its sample count (115) and interval (117); samples are a recognisable byte pattern,
// sample_size bytes each (from the format).
struct segy_layout {
    int traces = 4;
    int samples = 8;
    int format = 1;
    int interval_us = 4000;
    int ilines = 2;
    int first_iline = 10;
    int first_xline = 100;
    int extended = 0;
};
segy_file make_segy(const segy_layout &layout = {});
int sample_size(int format);
// The first size bytes of data, as of a file cut short.
bytes cut(bytes data, std::size_t size);

// A directory of the running test's own, emptied when the test first asks for it.
std::string test_dir();
// Writes data to test_dir()/name and returns the path.
std::string write_file(const std::string &name, const bytes &data);
std::string write_segy(const std::string &name, const segy_file &file);
bytes read_file(const std::string &path);

// Skips the running test, with a message, when the real-world samples are absent.
#define SKIP_WITHOUT_SAMPLES(dir)                                                                  \
    if ((dir).empty())                                                                             \
    GTEST_SKIP() << "real-world SEG-Y samples not found beside the repository "                    \
                    "(../shared/segy-samples); skipping"

// Folder of the real-world sample files, or "" when it is absent.
std::string samples_dir();
// The names of the real-world sample files in that folder, each a readable SEG-Y file.
const std::vector<std::string> &sample_names();

#endif
