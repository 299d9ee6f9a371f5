# cmake --install into a fresh prefix: the program and its manual page land where a Unix tool's
# do, the program runs from there, and the page renders without a warning.
#   cmake -DBUILD=<build folder> -DPREFIX=<scratch prefix> -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${failed}")
endif()
execute_process(COMMAND ${PREFIX}/bin/quorvane-cli --version OUTPUT_VARIABLE version RESULT_VARIABLE failed)
if(failed OR NOT version MATCHES "^quorvane-cli [0-9]")
  message(FATAL_ERROR "the installed program did not run: ${failed} ${version}")
endif()
execute_process(COMMAND groff -man -ww -Tutf8 ${PREFIX}/share/man/man1/quorvane-cli.1
                OUTPUT_QUIET ERROR_VARIABLE warnings RESULT_VARIABLE failed)
if(failed OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "the manual page does not render cleanly: ${failed} ${warnings}")
endif()
file(REMOVE_RECURSE ${PREFIX})
