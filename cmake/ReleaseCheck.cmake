# SPDX-License-Identifier: GPL-3.0-or-later
# What a release package must not carry: a placeholder maintainer or homepage.
# Included by the build, or run on its own by the tests:
#   cmake -DMAINTAINER=... -DHOMEPAGE=... -DCHANGELOG=FILE -P ReleaseCheck.cmake

# Domains reserved for examples and tests, and addresses that reach no one.
set(_kolvex_placeholder_domain
  "(^|\\.)(invalid|example|test|localhost|local)$|(^|\\.)example\\.(com|net|org)$")

# Sets OUT to the list of problems, empty when MAINTAINER, HOMEPAGE and the
# latest entry of the change log CHANGELOG are fit for a release.
function(kolvex_release_problems out maintainer homepage changelog)
  set(_problems)
  if(NOT maintainer MATCHES "^[^<>]*[^ <>][^<>]* <([^@<> ]+)@([^@<> ]+)>$")
    list(APPEND _problems "the maintainer \"${maintainer}\" is not \"Name <address>\"")
  else()
    string(TOLOWER "${CMAKE_MATCH_2}" _domain)
    if(_domain MATCHES "${_kolvex_placeholder_domain}" OR NOT _domain MATCHES "\\.")
      list(APPEND _problems "the maintainer's address \"${maintainer}\" is a placeholder")
    endif()
  endif()
  if(NOT homepage MATCHES "^https?://([^/:]+)")
    list(APPEND _problems "the homepage \"${homepage}\" is not an http or https address")
  else()
    string(TOLOWER "${CMAKE_MATCH_1}" _host)
    if(_host MATCHES "${_kolvex_placeholder_domain}" OR NOT _host MATCHES "\\.")
      list(APPEND _problems "the homepage \"${homepage}\" is a placeholder")
    endif()
  endif()
  if(changelog)
    # The trailer line of the latest entry names who made it.
    file(STRINGS "${changelog}" _trailers REGEX "^ -- ")
    list(GET _trailers 0 _latest)
    if(_latest MATCHES "<[^@<> ]+@([^@<> ]+)>")
      string(TOLOWER "${CMAKE_MATCH_1}" _domain)
      if(_domain MATCHES "${_kolvex_placeholder_domain}")
        list(APPEND _problems "the latest change log entry is signed with a placeholder address")
      endif()
    endif()
  endif()
  set(${out} "${_problems}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  kolvex_release_problems(_problems "${MAINTAINER}" "${HOMEPAGE}" "${CHANGELOG}")
  if(_problems)
    list(JOIN _problems "; " _text)
    message(FATAL_ERROR "not fit for a release: ${_text}")
  endif()
endif()
