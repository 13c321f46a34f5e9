# Run by cpack once it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS).
# cpack gives a package with a library under /usr/lib maintainer scripts that
# call ldconfig; Debian brings the linker's cache up to date through libc's
# trigger instead (the package's triggers file), so the library's package is
# made again from its own contents without them. dpkg-deb keeps the bytes
# reproducible: it takes its times from SOURCE_DATE_EPOCH and sorts the members.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  if(NOT name MATCHES "^${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME}_")
    continue()
  endif()
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Z${CPACK_DEBIAN_COMPRESSION_TYPE}
    --build ${tree} ${package} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
