# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack after the packages are made: the debug-symbol package mended (dbgsym-mend).
foreach(p IN LISTS CPACK_PACKAGE_FILES)
  if(p MATCHES "\\.ddeb$")
    execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/dbgsym-mend ${p} RESULT_VARIABLE r)
    if(NOT r EQUAL 0)
      message(FATAL_ERROR "dbgsym-mend failed for ${p}")
    endif()
  endif()
endforeach()
