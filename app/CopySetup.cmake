# Puts the bundled set-up next to the built program: the skins always (they
# are part of the build), Tolmu.ini only when none is there, so a user's
# settings are never overwritten.
# Run with -DSRC=<assets dir> -DDST=<directory of the program>.
if(NOT EXISTS "${DST}/Tolmu.ini")
  file(COPY_FILE "${SRC}/Tolmu.ini" "${DST}/Tolmu.ini")
endif()
file(COPY "${SRC}/skins" DESTINATION "${DST}")
