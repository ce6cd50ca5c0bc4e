# Runs inside cpack once the files are staged, before the .deb is made:
# gives the man page, the copyright and the changelog Debian's forms.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/trevlin)

# gzip -9n: the best compression, and no name or time stamp in the file, so
# that the package is the same from one build to the next.
function(gzip_file path)
  execute_process(COMMAND gzip -9nf ${path} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${path} failed")
  endif()
endfunction()

# Stripped as Debian's own tools strip: the program of all it does not
# need, the library of its debugging sections only.
function(strip_file path)
  execute_process(COMMAND strip --remove-section=.comment ${ARGN} ${path} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip ${path} failed")
  endif()
endfunction()

strip_file(${root}/bin/TREVLIN --strip-unneeded)
file(GLOB_RECURSE libraries ${root}/lib/*.a)
foreach(library ${libraries})
  strip_file(${library} --strip-debug)
endforeach()

gzip_file(${root}/share/man/man1/TREVLIN.1)
# The copyright file carries the licence, in Debian's place and format.
file(REMOVE ${doc}/LICENSE)
file(COPY ${CPACK_TREVLIN_DEBIAN_DIR}/copyright DESTINATION ${doc})
file(COPY ${CPACK_TREVLIN_DEBIAN_DIR}/changelog DESTINATION ${doc})
gzip_file(${doc}/changelog)
