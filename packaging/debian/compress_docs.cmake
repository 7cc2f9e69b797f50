# Run by cpack after staging the .deb's files: compresses the changelog and the manual pages with
# `gzip -9n` (no name or time stamp inside), as Debian packages ship them.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(doc ${staged})
  if(doc MATCHES "/share/doc/orbivane/changelog$" OR doc MATCHES "/share/man/man[1-9][^/]*/[^/]+\\.[1-9][a-z]*$")
    execute_process(COMMAND gzip -9nf "${doc}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${doc}")
    endif()
  endif()
endforeach()
