// SPDX-License-Identifier: MIT
// The catalogue of the 91 SEG-Y trace header fields, in header order.

#include "trace_fields.h"

#include <array>
#include <cstring>
#include <iterator>

// clang-format off
constexpr trace_field trace_fields[trace_field_count] = {
    {  1, 4, "tracl",  "SEQ_LINE",             "Trace sequence number within line"},
    {  5, 4, "tracr",  "SEQ_FILE",             "Trace sequence number within SEG Y file"},
    {  9, 4, "fldr",   "FIELD_RECORD",         "Original field record number"},
    { 13, 4, "tracf",  "NUMBER_ORIG_FIELD",    "Trace number within the original field record"},
    { 17, 4, "ep",     "ENERGY_SOURCE_POINT",  "Energy source point number"},
    { 21, 4, "cdp",    "ENSEMBLE",             "Ensemble number"},
    { 25, 4, "cdpt",   "NUM_IN_ENSEMBLE",      "Trace number within the ensemble"},
    { 29, 2, "trid",   "TRACE_ID",             "Trace identification code"},
    { 31, 2, "nvs",    "SUMMED_TRACES",        "Number of vertically summed traces yielding this trace"},
    { 33, 2, "nhs",    "STACKED_TRACES",       "Number of horizontally stacked traces yielding this trace"},
    { 35, 2, "duse",   "DATA_USE",             "Data use"},
    { 37, 4, "offset", "OFFSET",               "Distance from center of the source point to the center of the receiver group"},
    { 41, 4, "gelev",  "RECV_GROUP_ELEV",      "Receiver group elevation"},
    { 45, 4, "selev",  "SOURCE_SURF_ELEV",     "Surface elevation at source"},
    { 49, 4, "sdepth", "SOURCE_DEPTH",         "Source depth below surface"},
    { 53, 4, "gdel",   "RECV_DATUM_ELEV",      "Datum elevation at receiver group"},
    { 57, 4, "sdel",   "SOURCE_DATUM_ELEV",    "Datum elevation at source"},
    { 61, 4, "swdep",  "SOURCE_WATER_DEPTH",   "Water depth at source"},
    { 65, 4, "gwdep",  "GROUP_WATER_DEPTH",    "Water depth at group"},
    { 69, 2, "scalel", "ELEV_SCALAR",          "Scalar to be applied to all elevations and depths specified in Trace Header bytes 41-68 to give the real value"},
    { 71, 2, "scalco", "SOURCE_GROUP_SCALAR",  "Scalar to be applied to all coordinates specified in Trace Header bytes 73-88 and to bytes Trace Header 181-188 to give the real value"},
    { 73, 4, "sx",     "SOURCE_X",             "Source coordinate - X"},
    { 77, 4, "sy",     "SOURCE_Y",             "Source coordinate - Y"},
    { 81, 4, "gx",     "GROUP_X",              "Group coordinate - X"},
    { 85, 4, "gy",     "GROUP_Y",              "Group coordinate - Y"},
    { 89, 2, "counit", "COORD_UNITS",          "Coordinate units"},
    { 91, 2, "wevel",  "WEATHERING_VELO",      "Weathering velocity"},
    { 93, 2, "swevel", "SUBWEATHERING_VELO",   "Subweathering velocity"},
    { 95, 2, "sut",    "SOURCE_UPHOLE_TIME",   "Uphole time at source in milliseconds"},
    { 97, 2, "gut",    "GROUP_UPHOLE_TIME",    "Uphole time at group in milliseconds"},
    { 99, 2, "sstat",  "SOURCE_STATIC_CORR",   "Source static correction in milliseconds"},
    {101, 2, "gstat",  "GROUP_STATIC_CORR",    "Group static correction in milliseconds"},
    {103, 2, "tstat",  "TOT_STATIC_APPLIED",   "Total static applied in milliseconds"},
    {105, 2, "laga",   "LAG_A",                "Lag time A"},
    {107, 2, "lagb",   "LAG_B",                "Lag Time B"},
    {109, 2, "delrt",  "DELAY_REC_TIME",       "Delay recording time"},
    {111, 2, "muts",   "MUTE_TIME_START",      "Mute time \u2014 Start time in milliseconds"},
    {113, 2, "mute",   "MUTE_TIME_END",        "Mute time \u2014 End time in milliseconds"},
    {115, 2, "ns",     "SAMPLE_COUNT",         "Number of samples in this trace"},
    {117, 2, "dt",     "SAMPLE_INTER",         "Sample interval in microseconds (\u03BCs) for this trace"},
    {119, 2, "gain",   "GAIN_TYPE",            "Gain type of field instruments"},
    {121, 2, "igc",    "INSTR_GAIN_CONST",     "Instrument gain constant (dB)"},
    {123, 2, "igi",    "INSTR_INIT_GAIN",      "Instrument early or initial gain (dB)"},
    {125, 2, "corr",   "CORRELATED",           "Correlated"},
    {127, 2, "sfs",    "SWEEP_FREQ_START",     "Sweep frequency at start (Hz)"},
    {129, 2, "sfe",    "SWEEP_FREQ_END",       "Sweep frequency at end (Hz)"},
    {131, 2, "slen",   "SWEEP_LENGTH",         "Sweep length in milliseconds"},
    {133, 2, "styp",   "SWEEP_TYPE",           "Sweep type"},
    {135, 2, "stat",   "SWEEP_TAPERLEN_START", "Sweep trace taper length at start in milliseconds"},
    {137, 2, "stae",   "SWEEP_TAPERLEN_END",   "Sweep trace taper length at end in milliseconds"},
    {139, 2, "tatyp",  "TAPER_TYPE",           "Taper type"},
    {141, 2, "afilf",  "ALIAS_FILT_FREQ",      "Alias filter frequency (Hz), if used"},
    {143, 2, "afils",  "ALIAS_FILT_SLOPE",     "Alias filter slope (dB/octave)"},
    {145, 2, "nofilf", "NOTCH_FILT_FREQ",      "Notch filter frequency (Hz), if used"},
    {147, 2, "nofils", "NOTCH_FILT_SLOPE",     "Notch filter slope (dB/octave)"},
    {149, 2, "lcf",    "LOW_CUT_FREQ",         "Low-cut frequency (Hz), if used"},
    {151, 2, "hcf",    "HIGH_CUT_FREQ",        "High-cut frequency (Hz), if used"},
    {153, 2, "lcs",    "LOW_CUT_SLOPE",        "Low-cut slope (dB/octave)"},
    {155, 2, "hcs",    "HIGH_CUT_SLOPE",       "High-cut slope (dB/octave)"},
    {157, 2, "year",   "YEAR_DATA_REC",        "Year data recorded"},
    {159, 2, "day",    "DAY_OF_YEAR",          "Day of year"},
    {161, 2, "hour",   "HOUR_OF_DAY",          "Hour of day (24 hour clock)"},
    {163, 2, "minute", "MIN_OF_HOUR",          "Minute of hour"},
    {165, 2, "sec",    "SEC_OF_MIN",           "Second of minute"},
    {167, 2, "timbas", "TIME_BASE_CODE",       "Time basis code"},
    {169, 2, "trwf",   "WEIGHTING_FAC",        "Trace weighting factor"},
    {171, 2, "grnors", "GEOPHONE_GROUP_ROLL1", "Geophone group number of roll switch position one"},
    {173, 2, "grnofr", "GEOPHONE_GROUP_FIRST", "Geophone group number of trace number one within original field record"},
    {175, 2, "grnlof", "GEOPHONE_GROUP_LAST",  "Geophone group number of last trace within original field record"},
    {177, 2, "gaps",   "GAP_SIZE",             "Gap size (total number of groups dropped)"},
    {179, 2, "otrav",  "OVER_TRAVEL",          "Over travel associated with taper at beginning or end of line"},
    {181, 4, "cdpx",   "CDP_X",                "X coordinate of ensemble (CDP) position of this trace"},
    {185, 4, "cdpy",   "CDP_Y",                "Y coordinate of ensemble (CDP) position of this trace"},
    {189, 4, "iline",  "INLINE",               "Inline number"},
    {193, 4, "xline",  "CROSSLINE",            "Crossline number"},
    {197, 4, "sp",     "SHOT_POINT",           "Shotpoint number"},
    {201, 2, "scalsp", "SHOT_POINT_SCALAR",    "Scalar to be applied to the shotpoint number in Trace Header bytes 197-200 to give the real value"},
    {203, 2, "trunit", "MEASURE_UNIT",         "Trace value measurement unit"},
    {205, 4, "tdcm",   "TRANSDUCTION_MANT",    "Transduction Constant (mantissa)"},
    {209, 2, "tdcp",   "TRANSDUCTION_EXP",     "Transduction Constant (power of ten exponent)"},
    {211, 2, "tdunit", "TRANSDUCTION_UNIT",    "Transduction Units"},
    {213, 2, "triden", "DEVICE_ID",            "Device/Trace Identifier"},
    {215, 2, "sctrh",  "SCALAR_TRACE_HEADER",  "Scalar to be applied to times specified in Trace Header bytes 95-114 to give the true time value in milliseconds"},
    {217, 2, "stype",  "SOURCE_TYPE",          "Source Type/Orientation"},
    {219, 4, "sedm",   "SOURCE_ENERGY_DIR_MA", "Source Energy Direction with respect to the source orientation (vertical and crossline)"},
    {223, 2, "sede",   "SOURCE_ENERGY_DIR_EX", "Source Energy Direction with respect to the source orientation (inline)"},
    {225, 4, "smm",    "SOURCE_MEASURE_MANT",  "Source Measurement (mantissa)"},
    {229, 2, "sme",    "SOURCE_MEASURE_EXP",   "Source Measurement (power of ten exponent)"},
    {231, 2, "smunit", "SOURCE_MEASURE_UNIT",  "Source Measurement Unit"},
    {233, 4, "uint1",  "UNASSIGNED1",          "Unassigned 1"},
    {237, 4, "uint2",  "UNASSIGNED2",          "Unassigned 2"},
};
// clang-format on

static constexpr int32_t trace_header_size = 240;

// The fields follow each other without gaps or overlaps, 2 or 4 bytes wide, from byte 1 to
// byte 240.
static constexpr bool
tiles_header()
{
    int32_t next = 1;
    for (const trace_field &f : trace_fields) {
        if (f.position != next || (f.width != 2 && f.width != 4))
            return false;
        next = f.position + f.width;
    }
    return next == trace_header_size + 1;
}

static constexpr bool
texts_fit()
{
    for (const trace_field &f : trace_fields) {
        if (std::char_traits<char>::length(f.mnemonic) > 6 ||
            std::char_traits<char>::length(f.library_name) > trace_field_name_max ||
            std::char_traits<char>::length(f.description) == 0 ||
            std::char_traits<char>::length(f.description) > trace_field_description_max)
            return false;
    }
    return true;
}

static constexpr int
count_width(int32_t width)
{
    int n = 0;
    for (const trace_field &f : trace_fields)
        n += f.width == width;
    return n;
}

static_assert(std::size(trace_fields) == 91, "row count");
static_assert(tiles_header(), "rows must tile the 240-byte trace header");
static_assert(count_width(4) == 29 && count_width(2) == 62, "29 four-byte and 62 two-byte fields");
static_assert(texts_fit(),
              "mnemonics up to 6 characters, library names up to 20, descriptions up to 160 bytes");
static_assert(trace_fields[73].position == 189 && trace_fields[74].position == 193,
              "inline and crossline numbers sit at 189 and 193");

// Whether a field starts at each position 0 to 240, derived from the catalogue.
static constexpr std::array<bool, trace_header_size + 1> field_starts = [] {
    std::array<bool, trace_header_size + 1> starts{};
    for (const trace_field &f : trace_fields)
        starts[static_cast<std::size_t>(f.position)] = true;
    return starts;
}();

bool
is_trace_field_position(int32_t position)
{
    return position >= 0 && position <= trace_header_size &&
           field_starts[static_cast<std::size_t>(position)];
}
