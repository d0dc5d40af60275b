# find_package(quorva CONFIG) loads this file: it defines the imported target quorva::quorva, the
# shared library with its include directory.
include("${CMAKE_CURRENT_LIST_DIR}/quorva-targets.cmake")
