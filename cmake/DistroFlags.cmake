# SPDX-License-Identifier: GPL-3.0-or-later
# The distribution's build flags, as dpkg-buildflags gives them to every Debian
# package build, with all hardening on: fortified string and memory functions,
# stack protector and stack clash protection, read-only relocations with
# immediate binding, position-independent executables (the compiler's default
# on Debian). The optimisation and debug level stay those of the build type;
# file paths in the debug information are made relative to the source and
# build folders, so that two builds of one tree give the same programs.
option(KOLVEX_DISTRO_FLAGS "Build with the hardened flags of dpkg-buildflags" ON)
find_program(KOLVEX_DPKG_BUILDFLAGS dpkg-buildflags)

if(KOLVEX_DISTRO_FLAGS AND KOLVEX_DPKG_BUILDFLAGS AND NOT KOLVEX_BUILD_FUZZ)
  set(_kolvex_flags)
  foreach(_kind CPPFLAGS CXXFLAGS CFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${KOLVEX_DPKG_BUILDFLAGS} --get ${_kind}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE _value OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${_kind} failed: ${_rc}")
    endif()
    separate_arguments(_value UNIX_COMMAND "${_value}")
    set(_kept)
    foreach(_flag ${_value})
      # The build type chooses optimisation and debug information.
      if(_flag MATCHES "^-O[0-3sgz]?$" OR _flag MATCHES "^-g[0-3]?$")
        continue()
      endif()
      # Fortification needs optimisation; an unoptimised build only warns.
      if(_flag MATCHES "^-D_FORTIFY_SOURCE" AND CMAKE_BUILD_TYPE STREQUAL "Debug")
        continue()
      endif()
      # The prefix map goes to the debug information only: tests find their
      # data beside their sources through __FILE__.
      if(_flag MATCHES "^-ffile-prefix-map=")
        continue()
      endif()
      list(APPEND _kept "${_flag}")
    endforeach()
    list(JOIN _kept " " _kolvex_${_kind})
  endforeach()
  set(_kolvex_maps "-fdebug-prefix-map=${PROJECT_SOURCE_DIR}=. -fdebug-prefix-map=${CMAKE_BINARY_DIR}=build")
  string(APPEND CMAKE_CXX_FLAGS " ${_kolvex_CPPFLAGS} ${_kolvex_CXXFLAGS} ${_kolvex_maps}")
  string(APPEND CMAKE_C_FLAGS " ${_kolvex_CPPFLAGS} ${_kolvex_CFLAGS} ${_kolvex_maps}")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_kolvex_LDFLAGS}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_kolvex_LDFLAGS}")
  string(APPEND CMAKE_MODULE_LINKER_FLAGS " ${_kolvex_LDFLAGS}")
endif()
