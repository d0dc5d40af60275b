# Packaging: the CMake package that find_package(quorva CONFIG) finds, the licence, and the
# Debian packages that `cpack -G DEB` builds (quorva, libquorva0, libquorva-dev).

# In the build tree, as from an install, the library is quorva::quorva.
add_library(quorva::quorva ALIAS quorva)

include(CMakePackageConfigHelpers)
set(QUORVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quorva)
install(EXPORT quorva-targets NAMESPACE quorva:: DESTINATION ${QUORVA_CMAKE_DIR} COMPONENT dev)
# The SONAME changes with the major version, and so does compatibility.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/quorva-config-version.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorva-config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/quorva-config-version.cmake
    DESTINATION ${QUORVA_CMAKE_DIR} COMPONENT dev)

set(QUORVA_MAINTAINER "quorva developers <quorva-devel@example.org>" CACHE STRING
    "Maintainer of the Debian packages, as \"Name <address>\"")

# Debian wants a copyright file and a changelog in /usr/share/doc/<package> of every package;
# other installs get the licence alone.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(quorva_debian_docs ON)
else()
    set(quorva_debian_docs OFF)
endif()
option(QUORVA_DEBIAN_DOCS "Install each package's Debian copyright and changelog files"
    ${quorva_debian_docs})

set(QUORVA_PACKAGES_tools quorva)
set(QUORVA_PACKAGES_runtime libquorva${PROJECT_VERSION_MAJOR})
set(QUORVA_PACKAGES_dev libquorva-dev)
set(QUORVA_COMPONENTS tools runtime dev)

# A native package: the version carries no Debian revision.
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
if(QUORVA_DEBIAN_DOCS)
    # The copyright file carries the licence text of LICENSE, in the Debian layout.
    file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
    set(QUORVA_LICENSE_TEXT)
    foreach(line IN LISTS license_lines)
        if(line MATCHES "^Copyright \\(c\\) (.*)$")
            set(QUORVA_COPYRIGHT "${CMAKE_MATCH_1}")
        elseif(QUORVA_COPYRIGHT)
            if(line STREQUAL "")
                string(APPEND QUORVA_LICENSE_TEXT " .\n")
            else()
                string(APPEND QUORVA_LICENSE_TEXT " ${line}\n")
            endif()
        endif()
    endforeach()
    string(REGEX REPLACE "^ \\.\n" "" QUORVA_LICENSE_TEXT "${QUORVA_LICENSE_TEXT}")
    string(REGEX REPLACE "\n$" "" QUORVA_LICENSE_TEXT "${QUORVA_LICENSE_TEXT}")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in debian/copyright @ONLY)

    # One changelog for the one version; SOURCE_DATE_EPOCH fixes its date.
    string(TIMESTAMP QUORVA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in debian/changelog @ONLY)
    find_program(QUORVA_GZIP gzip REQUIRED)
    add_custom_command(OUTPUT debian/changelog.gz
        COMMAND ${QUORVA_GZIP} -9nkf debian/changelog
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
        VERBATIM)
    add_custom_target(debian-changelog ALL DEPENDS debian/changelog.gz)
    foreach(component IN LISTS QUORVA_COMPONENTS)
        set(doc ${CMAKE_INSTALL_DATADIR}/doc/${QUORVA_PACKAGES_${component}})
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
                      ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
            DESTINATION ${doc} COMPONENT ${component})
    endforeach()
else()
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT runtime)
endif()

# The Debian packages. They belong in /usr, with the library in the multiarch folder that
# GNUInstallDirs picks for that prefix: the `package` preset configures so.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Debian packages need -DCMAKE_INSTALL_PREFIX=/usr (cmake --preset package)")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorva)
set(CPACK_PACKAGE_VENDOR "the quorva developers")
set(CPACK_PACKAGE_CONTACT "${QUORVA_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${QUORVA_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Depends from the binaries (dpkg-shlibdeps), plus the packages' dependencies on each other.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Where dpkg-shlibdeps finds libquorva.so.0, which no installed package provides yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${QUORVA_PACKAGES_tools})
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
"command-line tools for SEG-Y seismic files
Small, exact programs for looking into SEG-Y revision 1 seismic files and
cutting them down, from shells and scripts:
 - quorva-showtext prints the textual headers, EBCDIC translated to ASCII;
 - quorva-showbin prints the binary header fields by their Seismic Unix
   keywords;
 - quorva-showtrace prints the trace header fields of chosen traces;
 - quorva-trim copies a sub-cube (inline and crossline intervals, a time
   window) into a new SEG-Y file in one streaming pass;
 - quorva-scan sums a file up in one pass: traces, format, inline and
   crossline ranges, sorting, regularity, consistency.
All of them read the files through the libquorva library.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QUORVA_PACKAGES_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file for the packages that link the library, and the ldconfig trigger. CPack adds
# postinst and postrm scripts that call ldconfig as well.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"SEG-Y seismic file access library
libquorva opens SEG-Y revision 1 files, reads their textual, binary and
trace headers, translates EBCDIC textual headers and decodes and encodes
header fields by byte position.

This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${QUORVA_PACKAGES_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
"SEG-Y seismic file access library - development files
libquorva opens SEG-Y revision 1 files, reads their textual, binary and
trace headers, translates EBCDIC textual headers and decodes and encodes
header fields by byte position.

This package holds the C header, the pkg-config file, the CMake package
and the manual page.")

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "libquorva shared library")
cpack_add_component(tools DISPLAY_NAME "quorva programs" DEPENDS runtime)
cpack_add_component(dev DISPLAY_NAME "libquorva development files" DEPENDS runtime)
