# SPDX-License-Identifier: GPL-3.0-or-later
# Turns the scdoc source of the manual page into tolmu.1 and tolmu.1.gz.
# Run with -DSCDOC=<scdoc> -DIN=<tolmu.1.scd> -DOUT=<tolmu.1>.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${SCDOC} INPUT_FILE ${IN} OUTPUT_VARIABLE page RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "scdoc failed on ${IN}")
endif()
# scdoc switches hyphenation off before .TH, which turns it on again; after
# it, a narrow terminal breaks lines between words, not inside "--timeout".
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
file(WRITE ${OUT} "${page}")
execute_process(COMMAND gzip -9n --force --keep ${OUT} COMMAND_ERROR_IS_FATAL ANY)
