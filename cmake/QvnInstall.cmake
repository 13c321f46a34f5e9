# Installation: the shared library (with its SONAME links), qvn.h, qvn_utf8.h and
# qvn.hpp, a pkg-config file, a CMake package (find_package(qvn) gives qvn::qvn
# and qvn_set_product_version), the license and reference, and, on Linux, the
# two tools and the man pages.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS qvn EXPORT qvnTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/qvn.h ${CMAKE_SOURCE_DIR}/include/qvn.hpp
  ${CMAKE_SOURCE_DIR}/include/qvn_utf8.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Generated from the project version; qvn.h includes it.
install(FILES ${QVN_GENERATED_INCLUDE_DIR}/qvn_version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# qvn links the internal object library privately (BUILD_INTERFACE only), so
# the exported target needs nothing but the installed library and header.
install(EXPORT qvnTargets NAMESPACE qvn::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qvn FILE qvnTargets.cmake)
# The package brings qvn_set_product_version too: a host program that asks
# UpdateIsAvailable needs a product version of its own.
file(WRITE ${CMAKE_BINARY_DIR}/qvnConfig.cmake
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/qvnTargets.cmake\")\n"
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/QvnVersion.cmake\")\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qvnConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qvnConfig.cmake ${CMAKE_BINARY_DIR}/qvnConfigVersion.cmake
  ${CMAKE_SOURCE_DIR}/cmake/QvnVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qvn)

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
install(FILES ${CMAKE_BINARY_DIR}/qvn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET qvn-cli)
  # The client finds the library next to it, in the installed tree.
  file(RELATIVE_PATH QVN_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(qvn-cli PROPERTIES INSTALL_RPATH "\$ORIGIN/${QVN_BIN_TO_LIB}")
  install(TARGETS qvn-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET qvn-server)
  install(TARGETS qvn-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# share/doc/qvn: the license, the changes and the reference of the C interface
# that qvn(3) points to.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md
  ${CMAKE_SOURCE_DIR}/docs/api.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(NOT WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/man/qvn.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
  if(TARGET qvn-cli)
    install(FILES ${CMAKE_SOURCE_DIR}/docs/man/qvn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  if(TARGET qvn-server)
    install(FILES ${CMAKE_SOURCE_DIR}/docs/man/qvn-server.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()
