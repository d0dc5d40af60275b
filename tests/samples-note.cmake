# Run by ctest after the tests: says why the RealWorldSamples tests were skipped.
if(NOT IS_DIRECTORY "${QUORVA_SAMPLES_DIR}")
    get_filename_component(dir "${QUORVA_SAMPLES_DIR}" ABSOLUTE)
    message("Skipped: the *.RealWorldSamples tests need the real-world SEG-Y samples in ${dir},"
            " which is absent.")
endif()
