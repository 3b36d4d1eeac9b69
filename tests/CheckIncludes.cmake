# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the include rules of the source tree (run with -P):
# - no quoted include climbs out of its folder ("../"): every header is named
#   by its path under an include root, so the build's roots decide what a
#   file may reach;
# - a core source (src/<layer>/, outside ui/) includes no window header
#   ("ui/..." or "<layer>/ui/...").
# KOLVEX_SOURCE_DIR names the tree; KOLVEX_CHECK_FILES, when set, replaces
# the file list (used to check the checker on planted files).
if(DEFINED KOLVEX_CHECK_FILES)
  set(_files ${KOLVEX_CHECK_FILES})
else()
  file(GLOB_RECURSE _files
    ${KOLVEX_SOURCE_DIR}/src/*.cpp ${KOLVEX_SOURCE_DIR}/src/*.h
    ${KOLVEX_SOURCE_DIR}/cli/*.cpp ${KOLVEX_SOURCE_DIR}/cli/*.h
    ${KOLVEX_SOURCE_DIR}/app/*.cpp ${KOLVEX_SOURCE_DIR}/app/*.h
    ${KOLVEX_SOURCE_DIR}/sim/*.cpp ${KOLVEX_SOURCE_DIR}/sim/*.h
    ${KOLVEX_SOURCE_DIR}/tests/*.cpp ${KOLVEX_SOURCE_DIR}/tests/*.h
    ${KOLVEX_SOURCE_DIR}/bench/*.cpp ${KOLVEX_SOURCE_DIR}/bench/*.h
    ${KOLVEX_SOURCE_DIR}/fuzz/*.cpp ${KOLVEX_SOURCE_DIR}/fuzz/*.h)
endif()

set(_faults "")
foreach(_file ${_files})
  file(STRINGS ${_file} _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  file(RELATIVE_PATH _rel ${KOLVEX_SOURCE_DIR} ${_file})
  set(_core FALSE)
  if(_rel MATCHES "^src/[^/]+/" AND NOT _rel MATCHES "^src/[^/]+/ui/")
    set(_core TRUE)
  endif()
  foreach(_line ${_includes})
    if(_line MATCHES "\"\\.\\./")
      string(APPEND _faults "${_rel}: relative include: ${_line}\n")
    elseif(_core AND _line MATCHES "\"([^\"]*/)?ui/")
      string(APPEND _faults "${_rel}: core source includes a window header: ${_line}\n")
    endif()
  endforeach()
endforeach()

if(_faults)
  message(FATAL_ERROR "Include rules broken:\n${_faults}")
endif()
list(LENGTH _files _count)
message(STATUS "Include rules hold in ${_count} files")
