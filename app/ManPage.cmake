# Writes the man page tolmu.1 from the program's own --help and --version,
# so the page and the help text cannot drift apart.
# Run with -DTOLMU=<the built tolmu> -DOUT=<tolmu.1>.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${TOLMU} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
execute_process(COMMAND ${TOLMU} --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOLMU} --help failed")
endif()

# Text for roff: backslashes and minus signs escaped, a leading dot or
# quote kept from being read as a request.
function(roff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(part usage)
set(synopsis "")
set(description "")
set(options "")
foreach(line IN LISTS lines)
  if(part STREQUAL "usage")
    if(line STREQUAL "")
      set(part description)
      continue()
    endif()
    string(REGEX REPLACE "^Usage: " "" line "${line}")
    string(REGEX REPLACE "^       " "" line "${line}")
    roff(line "${line}")
    string(APPEND synopsis "${line}\n")
  elseif(part STREQUAL "description")
    if(line STREQUAL "")
      set(part options)
      continue()
    endif()
    roff(line "${line}")
    string(APPEND description "${line}\n")
  elseif(line MATCHES "^  (\\([a-z ]+\\)|-[^ ]*( [A-Z.N]+[^ ]*)?( [A-Z.]+)?) +(.*)$")
    # "  --word ARG   text": a new option with the start of its text.
    set(name "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_4}")
    roff(name "${name}")
    roff(text "${text}")
    string(APPEND options ".TP\n.B ${name}\n${text}\n")
  elseif(NOT line STREQUAL "")
    string(STRIP "${line}" line)
    roff(line "${line}")
    string(APPEND options "${line}\n")
  endif()
endforeach()

string(STRIP "${description}" summary)
string(REGEX REPLACE "\\.$" "" summary "${summary}")
string(REPLACE "-" "\\-" version "${version}")
file(WRITE ${OUT} ".TH TOLMU 1 \"\" \"${version}\" \"User Commands\"\n"
  ".SH NAME\ntolmu \\- ${summary}\n"
  ".SH SYNOPSIS\n.nf\n${synopsis}.fi\n"
  ".SH DESCRIPTION\n${description}"
  ".SH OPTIONS\n${options}")
