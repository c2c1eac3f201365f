# SPDX-License-Identifier: GPL-3.0-or-later
# Debian's hardening flags, as dpkg-buildflags gives them to every package
# build: stack protector, fortified libc calls, format checks, full RELRO
# with immediate binding; and position-independent programs. The build type
# keeps choosing -O and -g; fortify needs optimisation, so it is left out of
# the builds that have none (Debug, or no build type).
# Without dpkg-buildflags (dpkg-dev) the build goes on with the compiler's
# defaults and says so.

include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
  message(STATUS "dpkg-buildflags not found (dpkg-dev): building without Debian's hardening flags")
  return()
endif()

# hardening=+all adds bindnow; reproducible and qa flags are a package
# build's business (the file prefix map would depend on cmake's folder).
function(tolmu_debian_flags var kind)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-all qa=-all"
            ${DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(g|O)")
  set(${var} ${flags} PARENT_SCOPE)
endfunction()

tolmu_debian_flags(cxx_flags CXXFLAGS)
tolmu_debian_flags(cpp_flags CPPFLAGS)
tolmu_debian_flags(ld_flags LDFLAGS)
add_compile_options(${cxx_flags})
foreach(flag ${cpp_flags})
  if(flag MATCHES "FORTIFY_SOURCE")
    add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${flag}>")
  else()
    add_compile_options(${flag})
  endif()
endforeach()
add_link_options(${ld_flags})
list(JOIN cxx_flags " " shown)
foreach(flag ${cpp_flags} ${ld_flags})
  string(APPEND shown " ${flag}")
endforeach()
message(STATUS "Debian hardening flags: ${shown}")
