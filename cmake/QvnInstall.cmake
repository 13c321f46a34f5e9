# Installation: the shared library (with its SONAME links), qvn.h, qvn_utf8.h and
# qvn.hpp, a pkg-config file, a CMake package (find_package(qvn) gives qvn::qvn
# and qvn_set_product_version), the license and reference, and, on Linux, the
# two tools and the man pages (qvn(3), a page per export, qvn(1), qvn-server(1)).
#
# Each file belongs to one of three components, the parts the Debian packages
# are made of: runtime (the shared library), dev (everything to build against
# it) and tools (qvn, qvn-server).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(QVN_DEBIAN_PACKAGES
  "Lay the installation out as the Debian packages (cpack makes them; use with CMAKE_INSTALL_PREFIX=/usr)" OFF)
set(QVN_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
# qvn_install_man_page(<page under the source tree> <component>): into
# share/man/manN, compressed in the Debian packages (their policy).
function(qvn_install_man_page page component)
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\." "man" section_dir ${name})
  if(QVN_DEBIAN_PACKAGES)
    qvn_gzip(${CMAKE_SOURCE_DIR}/${page} ${name}.gz compressed)
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section_dir} COMPONENT ${component})
  else()
    install(FILES ${CMAKE_SOURCE_DIR}/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section_dir}
      COMPONENT ${component})
  endif()
endfunction()
if(QVN_DEBIAN_PACKAGES)
  include(cmake/QvnDebian.cmake)
endif()

install(TARGETS qvn EXPORT qvnTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/include/qvn.h ${CMAKE_SOURCE_DIR}/include/qvn.hpp
  ${CMAKE_SOURCE_DIR}/include/qvn_utf8.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
# Generated from the project version; qvn.h includes it.
install(FILES ${QVN_GENERATED_INCLUDE_DIR}/qvn_version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev)
# The Pascal unit and the C# binding are sources a host compiles with its own
# program, so they come with the headers (libqvn-dev), in share/qvn/bindings.
install(FILES ${CMAKE_SOURCE_DIR}/bindings/pascal/qvn.pas ${CMAKE_SOURCE_DIR}/bindings/pascal/qvn_answers.inc
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/qvn/bindings/pascal COMPONENT dev)
file(GLOB QVN_DOTNET_SOURCES ${CMAKE_SOURCE_DIR}/bindings/dotnet/*.cs)
install(FILES ${QVN_DOTNET_SOURCES} ${CMAKE_SOURCE_DIR}/bindings/dotnet/Qvn.csproj
  ${CMAKE_SOURCE_DIR}/bindings/dotnet/Qvn.dll.config
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/qvn/bindings/dotnet COMPONENT dev)

# qvn links the internal object library privately (BUILD_INTERFACE only), so
# the exported target needs nothing but the installed library and header.
install(EXPORT qvnTargets NAMESPACE qvn::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qvn FILE qvnTargets.cmake COMPONENT dev)
# The package brings qvn_set_product_version too: a host program that asks
# UpdateIsAvailable needs a product version of its own.
file(WRITE ${CMAKE_BINARY_DIR}/qvnConfig.cmake
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/qvnTargets.cmake\")\n"
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/QvnVersion.cmake\")\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qvnConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qvnConfig.cmake ${CMAKE_BINARY_DIR}/qvnConfigVersion.cmake
  ${CMAKE_SOURCE_DIR}/cmake/QvnVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qvn COMPONENT dev)

# The prefix is found from the .pc file's own place, so the file stays right
# wherever `cmake --install --prefix` puts it.
file(RELATIVE_PATH QVN_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" QVN_PC_TO_PREFIX "${QVN_PC_TO_PREFIX}")
file(WRITE ${CMAKE_BINARY_DIR}/qvn.pc
"prefix=\${pcfiledir}/${QVN_PC_TO_PREFIX}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}

Name: qvn
Description: Client library of the Quarven NoSQL database server
Version: ${PROJECT_VERSION}
Libs: -L\${libdir} -lqvn
Cflags: -I\${includedir}
")
install(FILES ${CMAKE_BINARY_DIR}/qvn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)

if(TARGET qvn-cli)
  # The client finds the library next to it in the installed tree, unless the
  # library goes where the dynamic linker looks anyway (/usr/lib/<triplet>).
  if(NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_C_IMPLICIT_LINK_DIRECTORIES)
    file(RELATIVE_PATH QVN_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
    set_target_properties(qvn-cli PROPERTIES INSTALL_RPATH "\$ORIGIN/${QVN_BIN_TO_LIB}")
  endif()
  install(TARGETS qvn-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
if(TARGET qvn-server)
  install(TARGETS qvn-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# share/doc/qvn: the license, the changes and the reference of the C interface
# that qvn(3) points to. (The Debian packages carry the license in their
# copyright files instead.)
if(NOT QVN_DEBIAN_PACKAGES)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${QVN_DOC_DIR} COMPONENT dev)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_SOURCE_DIR}/docs/api.md
  DESTINATION ${QVN_DOC_DIR} COMPONENT dev)
if(NOT WIN32)
  qvn_install_man_page(docs/man/qvn.3 dev)
  install(FILES ${QVN_API_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
  if(TARGET qvn-cli)
    qvn_install_man_page(docs/man/qvn.1 tools)
  endif()
  if(TARGET qvn-server)
    qvn_install_man_page(docs/man/qvn-server.1 tools)
  endif()
endif()
