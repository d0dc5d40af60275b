// SPDX-License-Identifier: MIT
// Writes the seed corpus of the fuzz targets: small files from the test fixture builder, and the
// first 32 KiB of each file given (the demo survey, the real-world samples), each behind a few
// option prefixes (fuzz_args.h).
// Usage: quorva-fuzz-seeds OUTDIR [FILE]...

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "segy_fixture.h"

static constexpr std::size_t longest_seed = 32 * 1024;

struct named_file {
    const char *name;
    segy_file file;
};

static segy_layout
layout(int traces, int samples, int format)
{
    segy_layout l;
    l.traces = traces;
    l.samples = samples;
    l.format = format;
    return l;
}

// Files that take every program down its main paths and the fixtures' known faults.
static std::vector<named_file>
fixtures()
{
    std::vector<named_file> files;
    files.push_back({"ibm", make_segy()});
    for (int format : {2, 3, 4, 5, 8})
        files.push_back({"format", make_segy(layout(6, 5, format))});
    segy_layout extended = layout(4, 8, 1);
    extended.extended = 2;
    files.push_back({"extended", make_segy(extended)});

    // Delays and windows: 50 samples 4 ms apart from 100 ms, and one trace without its own
    // interval.
    segy_file delayed = make_segy(layout(6, 50, 1));
    for (std::size_t i = 0; i < delayed.traces.size(); ++i)
        delayed.traces[i].set(109, 2, 100 + 10 * static_cast<int>(i));
    delayed.traces[2].set(117, 2, 0);
    files.push_back({"delayed", delayed});

    segy_file tail = make_segy(layout(3, 8, 1));
    tail.tail.assign(100, 0x5A);
    files.push_back({"tail", tail});

    files.push_back({"no-samples", make_segy(layout(3, 0, 1))});
    files.push_back({"one-trace", make_segy(layout(1, 16, 1))});
    segy_layout grid = layout(9, 4, 3);
    grid.ilines = 3;
    files.push_back({"grid", make_segy(grid)});

    segy_file garbage = make_segy(layout(2, 8, 7));
    files.push_back({"garbage-format", garbage});
    segy_file negative = make_segy(layout(2, 8, 1));
    negative.set_bin(3505, 2, 0xFFFF);
    files.push_back({"negative-extended", negative});
    segy_file huge = make_segy(layout(1, 4, 1));
    huge.set_bin(3221, 2, 0x8000);
    files.push_back({"negative-samples", huge});

    segy_file ascii = make_segy(layout(2, 4, 5));
    ascii.text = ascii_card_text({"C 1 ASCII TEXTUAL HEADER", "C40 END"});
    ascii.traces[1].set(115, 2, 3);
    files.push_back({"ascii-mismatch", ascii});

    segy_file headers_only = make_segy(layout(0, 8, 1));
    files.push_back({"headers-only", headers_only});
    return files;
}

// Option prefixes: none, then a few choices that each target reads its own way.
static const std::vector<bytes> prefixes = {
    {0}, {2, 0, 0}, {3, 0, 1, 7}, {5, 0, 6, 60, 7, 200}, {6, 0, 0x2B, 3, 10, 0x4A, 1},
};

static bool
write_seed(const std::string &path, const bytes &prefix, const bytes &file)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(prefix.data()),
              static_cast<std::streamsize>(prefix.size()));
    std::size_t size = file.size() < longest_seed ? file.size() : longest_seed;
    out.write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

static bool
write_seeds(const std::string &dir, const std::string &name, const bytes &file)
{
    bool ok = true;
    for (std::size_t i = 0; i < prefixes.size(); ++i)
        ok = write_seed(dir + "/" + name + "-" + std::to_string(i), prefixes[i], file) && ok;
    return ok;
}

int
main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("Usage: quorva-fuzz-seeds OUTDIR [FILE]...\n", stderr);
        return 2;
    }
    std::string dir = argv[1];
    bool ok = true;
    int n = 0;
    for (const named_file &f : fixtures())
        ok =
            write_seeds(dir, "fixture-" + std::to_string(n++) + "-" + f.name, f.file.serialize()) &&
            ok;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        ok = in.good() || in.eof() ? write_seeds(dir, "file-" + name, file) && ok : false;
    }
    if (!ok) {
        std::fprintf(stderr, "quorva-fuzz-seeds: cannot write the seeds into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
