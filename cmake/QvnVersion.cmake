# qvn_set_product_version(<target> <major>.<minor>.<release>.<build>)
#
# Gives a host program (or library) the product version that qvn's
# VersionText and the update check read from it. On Windows this is the
# PRODUCTVERSION of a VERSIONINFO resource. ELF files have no version
# resources, so on Linux the version goes into a section ".qvn_version":
# 16 bytes, the magic "QVNPRVER" and then the four numbers as 16-bit
# little-endian values. The section survives `strip`.
function(qvn_set_product_version target version)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "qvn_set_product_version(${target}): '${version}' is not four dotted numbers")
  endif()
  set(parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
  foreach(p IN LISTS parts)
    if(p GREATER 65535)
      message(FATAL_ERROR "qvn_set_product_version(${target}): ${p} does not fit in 16 bits")
    endif()
  endforeach()
  get_target_property(already ${target} QVN_PRODUCT_VERSION)
  if(already)
    message(FATAL_ERROR "qvn_set_product_version(${target}): already set to ${already}")
  endif()
  set_target_properties(${target} PROPERTIES QVN_PRODUCT_VERSION ${version})

  set(out ${CMAKE_CURRENT_BINARY_DIR}/qvn_version/${target})
  if(WIN32)
    list(JOIN parts "," commas)
    file(CONFIGURE OUTPUT ${out}.rc CONTENT [=[
#include <winver.h>
VS_VERSION_INFO VERSIONINFO
 FILEVERSION    @commas@
 PRODUCTVERSION @commas@
 FILEOS         VOS_NT_WINDOWS32
 FILETYPE       VFT_APP
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "ProductVersion", "@version@"
      VALUE "FileVersion", "@version@"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
]=] @ONLY)
    target_sources(${target} PRIVATE ${out}.rc)
  else()
    set(bytes "")
    foreach(p IN LISTS parts)
      math(EXPR lo "${p} % 256")
      math(EXPR hi "${p} / 256")
      string(APPEND bytes ", ${lo}, ${hi}")
    endforeach()
    file(CONFIGURE OUTPUT ${out}.c CONTENT [=[
/* Written by qvn_set_product_version: product version @version@. */
#if defined(__has_attribute)
#if __has_attribute(retain)
#define QVN_RETAIN __attribute__((retain))
#endif
#endif
#ifndef QVN_RETAIN
#define QVN_RETAIN
#endif
__attribute__((used, section(".qvn_version"), aligned(4))) QVN_RETAIN
static const unsigned char qvn_product_version[16] = {
  'Q', 'V', 'N', 'P', 'R', 'V', 'E', 'R'@bytes@
};
]=] @ONLY)
    target_sources(${target} PRIVATE ${out}.c)
    # A project without C would otherwise skip the file without a word and
    # leave the target with no version; the same lines are valid C++.
    get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
    if(NOT "C" IN_LIST languages)
      if(NOT "CXX" IN_LIST languages)
        message(FATAL_ERROR "qvn_set_product_version(${target}): enable C or CXX in the project")
      endif()
      set_source_files_properties(${out}.c PROPERTIES LANGUAGE CXX)
    endif()
  endif()
endfunction()
