# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the user units for the prefix of this installation (run by
# "cmake --install" and cpack; CMAKE_INSTALL_PREFIX is the prefix in effect).
#   _sources the service files (NAME.in), with @KOLVEX_CLI@ still to be replaced
#   _timers  the timer files
#   _stage   a folder of the build for the finished service file
#   _bindir  the programs' folder, relative to the prefix or absolute

# A prefix inside the home folder is one user's installation.
set(_prefix "${CMAKE_INSTALL_PREFIX}")
cmake_path(NORMAL_PATH _prefix)
set(_home "$ENV{HOME}")
set(_userdirs lib/systemd/user)
if(_home AND NOT _home STREQUAL "/")
  cmake_path(NORMAL_PATH _home)
  string(REGEX REPLACE "/$" "" _home "${_home}")
  string(REGEX REPLACE "/$" "" _prefix "${_prefix}")
  string(FIND "${_prefix}/" "${_home}/" _at)
  if(_at EQUAL 0)
    set(_userdirs share/systemd/user)
  endif()
endif()

if(IS_ABSOLUTE "${_bindir}")
  set(KOLVEX_CLI "${_bindir}/kolvex12-cli")
else()
  set(KOLVEX_CLI "${_prefix}/${_bindir}/kolvex12-cli")
endif()
file(MAKE_DIRECTORY "${_stage}")
set(_units)
foreach(_source IN LISTS _sources)
  get_filename_component(_name "${_source}" NAME)
  string(REGEX REPLACE "\\.in$" "" _name "${_name}")
  configure_file("${_source}" "${_stage}/${_name}" @ONLY)
  list(APPEND _units "${_stage}/${_name}")
endforeach()

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(INSTALL ${_units} ${_timers}
  DESTINATION "${_prefix}/${_userdirs}"
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
