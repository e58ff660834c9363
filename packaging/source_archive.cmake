# Run by cpack after it has made the release ZIP: packs the source beside it
# (ConsoleRelay-<version>-source.zip), so that the one package target makes both.
if(CPACK_PACKAGE_FILE_NAME MATCHES "-source$")
  return()  # this is the source archive's own run
endif()
execute_process(
  COMMAND "${CPACK_RELAY_CPACK}" --config "${CPACK_RELAY_SOURCE_CONFIG}"
  OUTPUT_QUIET
  RESULT_VARIABLE packed)
if(NOT packed EQUAL 0)
  message(FATAL_ERROR "Packing the source beside the release ZIP failed (${packed})")
endif()
