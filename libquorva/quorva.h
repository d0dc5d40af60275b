/* SPDX-License-Identifier: MIT */
/* libquorva: reading SEG-Y revision 1 files and their header fields. */
#ifndef QUORVA_H
#define QUORVA_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header; quorva_version() gives the library's. The build reads the project
 * version from these two lines. */
#define QUORVA_VERSION_MAJOR 0
#define QUORVA_VERSION_MINOR 0
/* MAJOR x 1000 + MINOR, comparable as a number. */
#define QUORVA_VERSION_NUMBER (QUORVA_VERSION_MAJOR * 1000 + QUORVA_VERSION_MINOR)

#if defined(QUORVA_BUILDING_LIBRARY)
#define QUORVA_API __attribute__((visibility("default")))
#else
#define QUORVA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    QUORVA_TEXTHEADER_SIZE = 3200,
    QUORVA_BINHEADER_SIZE = 400,
    QUORVA_TRACEHEADER_SIZE = 240,
    /* File position of the first binary header byte (1-based). */
    QUORVA_BINHEADER_POSITION = 3201,
    /* Textual header (3200) plus binary header (400). */
    QUORVA_TRACE0_MIN = 3600
};

/* The version of the library in use, as QUORVA_VERSION_NUMBER: compare it with the macro to
 * learn whether the library is at least as new as the header a program was built with. */
QUORVA_API int quorva_version(void);

/* An open SEG-Y file. */
typedef struct quorva_file quorva_file;

/*
 * Every function that returns int returns 0 on success and non-zero on
 * failure. A failing call leaves a non-zero errno: the system's own where a
 * system call failed, EINVAL for a file that is too short or malformed and for
 * bad arguments.
 */

/* Opens path for reading ("r" or "rb"). Null on failure, errno set. Directories are refused
 * (EISDIR). A file that cannot seek, such as a pipe, is read forward: its first 3600 bytes are
 * kept once read, and a read that would need to go back before what was taken from it since
 * fails with ESPIPE, so extended textual headers and trace headers come in increasing order. */
QUORVA_API quorva_file *quorva_open(const char *path, const char *mode);

/* Releases the handle; null is accepted. */
QUORVA_API int quorva_close(quorva_file *file);

/* Reads file bytes 3201-3600 into binheader[QUORVA_BINHEADER_SIZE], as stored. */
QUORVA_API int quorva_binheader(quorva_file *file, char *binheader);

/*
 * Reads the textual header into buf[QUORVA_TEXTHEADER_SIZE + 1]: 3200 characters
 * followed by a NUL. EBCDIC (code page 037) is translated to ASCII; a header
 * that is ASCII already is passed through unchanged (see quorva_is_ascii_text).
 */
QUORVA_API int quorva_read_textheader(quorva_file *file, char *buf);

/* Reads extended textual header number index + 1 (index counts from 0) in the same form. The
 * extended headers follow the binary header back to back. */
QUORVA_API int quorva_read_ext_textheader(quorva_file *file, int index, char *buf);

/*
 * Decides whether a 3200-byte textual header is ASCII: it is when it holds more
 * ASCII letters, digits and blanks than EBCDIC ones (the two sets are
 * disjoint). A header of neither, all NUL bytes for instance, counts as EBCDIC.
 */
QUORVA_API int quorva_is_ascii_text(const char *text);

/* Translates n bytes of EBCDIC (code page 037) to ASCII in place. Characters
 * with no ASCII counterpart become '?'; control characters keep their ASCII
 * control counterpart. */
QUORVA_API void quorva_ebcdic_to_ascii(char *text, int n);

/* Byte offset of the first trace: 3600 + 3200 x the extended header count
 * (byte 3505). Below 3600 when that count is negative. */
QUORVA_API int64_t quorva_trace0(const char *binheader);

/* Samples per trace (byte 3221), sign-extended. */
QUORVA_API int quorva_samples(const char *binheader);

/* Sample format code (byte 3225), as stored, sign-extended. */
QUORVA_API int quorva_format(const char *binheader);

/* Bytes in one sample of the given format code; 0 for a code of unknown size. */
QUORVA_API int quorva_format_size(int format);

/*
 * Bytes of one trace's samples: samples x the format's sample width. -1 with
 * errno EINVAL for an unknown format or a product outside the int range.
 */
QUORVA_API int quorva_trsize(int format, int samples);

/*
 * Stores in *traces the number of whole traces (240 + trsize bytes each) from
 * trace0 to the end of the file; a partial trace at the end is not counted.
 * Fails with EINVAL when trace0 is below 3600 or beyond the end of the file or
 * when trsize is negative, with EFBIG for more than INT_MAX traces, and with
 * ESPIPE for a file that cannot seek, which has no size to count by.
 */
QUORVA_API int quorva_traces(quorva_file *file, int *traces, int64_t trace0, int trsize);

/* Reads the 240 header bytes of trace number index (from 0), found at
 * trace0 + index x (240 + trsize). */
QUORVA_API int quorva_traceheader(quorva_file *file, int index, char *buf, int64_t trace0,
                                  int trsize);

/*
 * Field access. A field is named by the 1-based position of its first byte:
 * file positions 3201-3600 in the binary header, 1-240 in a trace header.
 * Fields are big-endian, 2 or 4 bytes wide; a read sign-extends 2-byte fields.
 * A write stores the value at the field's width: a 2-byte field takes -32768 to
 * 65535 and fails with ERANGE, leaving the buffer alone, for other values.
 * A position where no field starts fails with EINVAL.
 */
QUORVA_API int quorva_get_bfield(const char *binheader, int position, int *value);
QUORVA_API int quorva_set_bfield(char *binheader, int position, int value);
QUORVA_API int quorva_get_field(const char *traceheader, int position, int *value);
QUORVA_API int quorva_set_field(char *traceheader, int position, int value);

/* Width in bytes of the field starting at position, or 0 where no field starts. */
QUORVA_API int quorva_bfield_width(int position);
QUORVA_API int quorva_field_width(int position);

/*
 * Forward reader: reads one input (a regular file, a pipe, a terminal) from front to back
 * through a buffer of its own, so that callers look at headers and samples in place and skip
 * what they do not need. Memory is fixed when the reader is made; nothing is allocated after.
 * On a regular file, skips past the buffer cost no read, and after a long skip (8 KiB or more)
 * reads fetch only up to the end of the page asked for, so that only the pages peeked at are
 * touched; other inputs are read through, in large reads. The file is never mapped: a file that
 * shrinks or cannot be read under the reader makes a call fail, never the process.
 */
typedef struct quorva_reader quorva_reader;

enum {
    /* The longest span quorva_reader_peek takes: one trace header and 65535 samples of 4
     * bytes, the largest trace any 2-byte sample count gives. */
    QUORVA_READER_SPAN = QUORVA_TRACEHEADER_SIZE + 65535 * 4
};

/* Reads fd forward from its current offset; the descriptor stays the caller's and is not
 * closed. Null on failure with errno set: ENOMEM, or EBADF for a descriptor that is not open. */
QUORVA_API quorva_reader *quorva_reader_new(int fd);

/* As quorva_reader_new, with a buffer of size bytes (1 to 1 MiB) in place of the default one:
 * quorva_reader_peek then takes up to size bytes. For callers that know the longest span they
 * look at, and that make do with less memory when the default buffer cannot be had. */
QUORVA_API quorva_reader *quorva_reader_new_sized(int fd, size_t size);

/* Releases the reader; null is accepted. On a regular file the descriptor's offset is left just
 * after the bytes consumed, so that the caller can go on reading from there. */
QUORVA_API void quorva_reader_free(quorva_reader *reader);

/*
 * Makes the next n bytes contiguous in the reader's buffer without consuming them and returns
 * a pointer to them; *got is how many are there, fewer than n only at the end of the input.
 * The pointer stays valid until the next call on the reader. Null with errno on a read error,
 * and with EINVAL for n above QUORVA_READER_SPAN.
 */
QUORVA_API const char *quorva_reader_peek(quorva_reader *reader, size_t n, size_t *got);

/*
 * Consumes n bytes (n >= 0): inside the buffer by moving on, past it by seeking where the
 * input can seek, else by reading and discarding. *skipped (may be null) is how many were
 * passed, fewer than n only at the end of the input: a skip never passes the end of a regular
 * file. Non-zero with errno on a read error, and with EINVAL for a negative n.
 */
QUORVA_API int quorva_reader_skip(quorva_reader *reader, int64_t n, int64_t *skipped);

/* Input bytes consumed so far, counted from where the reader started. */
QUORVA_API int64_t quorva_reader_tell(const quorva_reader *reader);

#ifdef __cplusplus
}
#endif

#endif
