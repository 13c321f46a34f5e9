# The Debian packages, made by cpack from a build configured with
# -DQVN_DEBIAN_PACKAGES=ON -DCMAKE_INSTALL_PREFIX=/usr (scripts/release.sh):
#
#   libqvn<MAJOR>  the shared library, named after its SONAME as Debian names
#                  library packages, so that a new major could be installed
#                  beside the old one
#   libqvn-dev     headers, the libqvn.so link, qvn.pc, the CMake package, qvn(3)
#                  and a man page per export
#   qvn-tools      qvn and qvn-server with their man pages
#
# Each has the copyright file (with the license) and the changelog Debian asks
# for in /usr/share/doc/<package>/. The version is the project's; the date of
# the changelog comes from SOURCE_DATE_EPOCH, so that two builds of one commit
# give the same bytes.
if(WIN32)
  message(FATAL_ERROR "QVN_DEBIAN_PACKAGES is for Linux builds")
endif()

set(QVN_PACKAGE_MAINTAINER "The qvn authors <maintainers@qvn.invalid>" CACHE STRING
  "Maintainer field of the Debian packages")
set(QVN_RUNTIME_PACKAGE libqvn${PROJECT_VERSION_MAJOR})
set(QVN_DEBIAN_DIR ${PROJECT_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${QVN_DEBIAN_DIR})
# The reference and the changes go with the development files.
set(QVN_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/libqvn-dev)

# qvn_gzip(<source> <name> <variable>): <source> compressed into
# <build>/debian/<name> without a name or time in its header.
function(qvn_gzip source name variable)
  set(out ${QVN_DEBIAN_DIR}/${name})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${out} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  set(${variable} ${out} PARENT_SCOPE)
endfunction()

# copyright, in Debian's machine-readable format: the license text of LICENSE
# under its copyright line, indented, with "." for empty lines.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE)
set(holder "")
set(license_text "")
foreach(line IN LISTS license_lines)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(holder ${CMAKE_MATCH_1})
  elseif(holder AND line STREQUAL "")
    string(APPEND license_text " .\n")
  elseif(holder)
    string(APPEND license_text " ${line}\n")
  endif()
endforeach()
if(NOT holder)
  message(FATAL_ERROR "LICENSE has no \"Copyright (c) ...\" line")
endif()
string(REGEX REPLACE "^ \\.\n" "" license_text "${license_text}")
file(WRITE ${QVN_DEBIAN_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: qvn

Files: *
Copyright: ${holder}
License: Expat
${license_text}")

# changelog: one entry for this version; the changes themselves are in
# CHANGELOG.md, installed with libqvn-dev.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${QVN_DEBIAN_DIR}/changelog
"qvn (${PROJECT_VERSION}) unstable; urgency=medium

  * qvn ${PROJECT_VERSION}; its changes are listed in
    /usr/share/doc/libqvn-dev/CHANGELOG.md.

 -- ${QVN_PACKAGE_MAINTAINER}  ${changelog_date}
")
qvn_gzip(${QVN_DEBIAN_DIR}/changelog changelog.gz changelog_gz)
foreach(component_package IN ITEMS runtime:${QVN_RUNTIME_PACKAGE} dev:libqvn-dev tools:qvn-tools)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${QVN_DEBIAN_DIR}/copyright ${changelog_gz}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The qvn authors")
set(CPACK_PACKAGE_CONTACT ${QVN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QVN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SOURCE qvn)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on system libraries are read from the binaries (dpkg-shlibdeps);
# the library's own shlibs file lets other packages depend on it the same way,
# on any later release of this major.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# qvn needs libqvn.so.1, which is in no installed package yet: dpkg-shlibdeps
# finds it in the build (qvn-tools names its package below).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})

# Descriptions: the synopsis, then paragraphs; cpack indents them as the
# control file wants.
set(QVN_PACKAGE_ABOUT
  "qvn lets a program run scripts on a Quarven NoSQL database server, move\n"
  "files to and from it in encrypted blocks with progress reports, administer\n"
  "it and use its text codecs, through 17 plain C functions.\n")
string(CONCAT CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "client library of the Quarven NoSQL database server\n" ${QVN_PACKAGE_ABOUT}
  "\nThis package holds the shared library.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QVN_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The dynamic linker's cache is brought up to date by libc's trigger (the
# ldconfig calls cpack also writes are taken out again; QvnDebianRepack.cmake).
file(WRITE ${QVN_DEBIAN_DIR}/triggers "activate-noawait ldconfig\n")
# symbols: each export of the version script with the version that brought it.
# All 17 came with 1.0.0 and the set never changes within a major, so any
# program built against them depends on libqvn1 (>= 1.0.0).
file(READ ${PROJECT_SOURCE_DIR}/src/api/qvn.map export_map)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/api/qvn.map)
if(NOT export_map MATCHES "global:([^}]*)local:")
  message(FATAL_ERROR "src/api/qvn.map has no global: list")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" exports "${CMAKE_MATCH_1}")
list(SORT exports)
set(symbols "libqvn.so.${PROJECT_VERSION_MAJOR} ${QVN_RUNTIME_PACKAGE} #MINVER#\n* Build-Depends-Package: libqvn-dev\n")
foreach(name IN LISTS exports)
  string(APPEND symbols " ${name}@Base 1.0.0\n")
endforeach()
file(WRITE ${QVN_DEBIAN_DIR}/symbols "${symbols}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${QVN_DEBIAN_DIR}/triggers ${QVN_DEBIAN_DIR}/symbols)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/QvnDebianRepack.cmake)

string(CONCAT CPACK_DEBIAN_DEV_DESCRIPTION
  "client library of the Quarven NoSQL database server - development files\n"
  ${QVN_PACKAGE_ABOUT}
  "\nThis package holds what programs are built with: the C header qvn.h,\n"
  "the UTF-8 helpers qvn_utf8.h, the C++ header qvn.hpp, pkg-config's qvn.pc,\n"
  "the CMake package (find_package(qvn)), the qvn(3) man page, a man page\n"
  "per function (Script(3) ...), the reference of the C interface, and the\n"
  "sources of the Pascal unit Qvn and the C# binding in /usr/share/qvn/bindings.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqvn-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QVN_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")

string(CONCAT CPACK_DEBIAN_TOOLS_DESCRIPTION
  "command-line client and stand-in server for Quarven databases\n"
  "qvn runs scripts, moves files and administers a Quarven NoSQL database\n"
  "server from the command line, through the qvn client library.\n"
  "\n"
  "qvn-server is a small stand-in for the Quarven server that keeps to\n"
  "every byte the client library relies on, to try and test programs that\n"
  "use the library on one machine.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qvn-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION database)
# qvn is built from the very same sources as the library beside it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QVN_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")
include(CPack)
