# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack before it installs into its staging folder: puts the list of
# the user's own install aside (RestoreManifest.cmake brings it back).
if(EXISTS "${CPACK_TOLMU_MANIFEST}")
  file(COPY_FILE "${CPACK_TOLMU_MANIFEST}" "${CPACK_TOLMU_MANIFEST}.kept")
else()
  file(REMOVE "${CPACK_TOLMU_MANIFEST}.kept")
endif()
