# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack after its staging install: the install manifest lists the
# user's own install again (or none, when there was none).
if(EXISTS "${CPACK_TOLMU_MANIFEST}.kept")
  file(RENAME "${CPACK_TOLMU_MANIFEST}.kept" "${CPACK_TOLMU_MANIFEST}")
else()
  file(REMOVE "${CPACK_TOLMU_MANIFEST}")
endif()
