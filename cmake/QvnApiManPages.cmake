# man 3 NAME for each export of src/api/qvn.map, made at build time from the
# export's section of docs/api.md by docs/man/api_pages.py, so that the
# reference has one text. Sets QVN_API_MAN_PAGES (installed with the other man
# pages; gzipped, as Debian's policy wants, for the Debian packages).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(READ ${CMAKE_SOURCE_DIR}/src/api/qvn.map map)
string(REGEX MATCH "global:[^:]*local:" globals "${map}")
string(REGEX MATCHALL "[A-Z][A-Za-z]+" QVN_EXPORTS "${globals}")
# The pages belong to the manual of qvn(3) and carry its date.
file(STRINGS ${CMAKE_SOURCE_DIR}/docs/man/qvn.3 title REGEX "^\\.TH " LIMIT_COUNT 1)
string(REGEX REPLACE "^\\.TH [^ ]+ [0-9]+ ([^ ]+) .*" "\\1" manual_date "${title}")
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/api/qvn.map ${CMAKE_SOURCE_DIR}/docs/man/qvn.3)

set(QVN_API_MAN_DIR ${CMAKE_BINARY_DIR}/man/man3)
set(suffix .3)
set(gzip)
if(QVN_DEBIAN_PACKAGES)
  set(suffix .3.gz)
  set(gzip --gzip)
endif()
list(TRANSFORM QVN_EXPORTS PREPEND ${QVN_API_MAN_DIR}/ OUTPUT_VARIABLE QVN_API_MAN_PAGES)
list(TRANSFORM QVN_API_MAN_PAGES APPEND ${suffix})
add_custom_command(OUTPUT ${QVN_API_MAN_PAGES}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/docs/man/api_pages.py ${gzip}
    --version ${PROJECT_VERSION} --date ${manual_date}
    ${CMAKE_SOURCE_DIR}/docs/api.md ${QVN_API_MAN_DIR} ${QVN_EXPORTS}
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/api.md ${CMAKE_SOURCE_DIR}/docs/man/api_pages.py
  COMMENT "Making a man page per export from docs/api.md" VERBATIM)
add_custom_target(api_man_pages ALL DEPENDS ${QVN_API_MAN_PAGES})
