# Read by cpack before it builds a package: the package's time stamps, so
# that the same source gives the same package, byte for byte. CPack takes
# them from SOURCE_DATE_EPOCH; where it is not set, it is set here to the
# time of the source itself: the last commit's in a git checkout, or in a
# tree without git (a release tarball) the date of the latest entry of
# data/changelog, as dpkg reads it.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(date "")
  # A tree of its own, not one unpacked inside some other checkout.
  execute_process(COMMAND git -C "${CPACK_VORNA_SOURCE_DIR}" rev-parse --show-toplevel
    OUTPUT_VARIABLE racine OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE statut)
  if(statut EQUAL 0 AND EXISTS "${racine}")
    file(REAL_PATH "${racine}" racine)
    file(REAL_PATH "${CPACK_VORNA_SOURCE_DIR}" source)
    if(racine STREQUAL source)
      execute_process(COMMAND git -C "${source}" log -1 --format=%ct
        OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
  endif()
  if(NOT date MATCHES "^[0-9]+$")
    execute_process(COMMAND dpkg-parsechangelog -l "${CPACK_VORNA_SOURCE_DIR}/data/changelog"
      -S Timestamp OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(date MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${date}")
  else()
    message(WARNING "No date found for the package's time stamps (no git checkout, and "
                    "dpkg-parsechangelog could not read data/changelog): they are today's.")
  endif()
endif()
