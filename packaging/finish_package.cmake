# Run by cpack after each ZIP it makes. Each ZIP is written again with fixed times, order and
# permissions (fixed_zip.py), so that one commit packs to the same bytes anywhere; after the
# release ZIP, the source is packed beside it (ConsoleRelay-<version>-source.zip), so that the one
# package target makes both.
if(NOT CPACK_PACKAGE_FILE_NAME MATCHES "-source$")
  execute_process(
    COMMAND "${CPACK_RELAY_CPACK}" --config "${CPACK_RELAY_SOURCE_CONFIG}"
    OUTPUT_QUIET
    RESULT_VARIABLE packed)
  if(NOT packed EQUAL 0)
    message(FATAL_ERROR "Packing the source beside the release ZIP failed (${packed})")
  endif()
endif()
execute_process(
  COMMAND "${CPACK_RELAY_PYTHON}" "${CPACK_RELAY_FIXED_ZIP}" "${CPACK_RELAY_SOURCE_DIR}"
    ${CPACK_PACKAGE_FILES}
  RESULT_VARIABLE fixed)
if(NOT fixed EQUAL 0)
  message(FATAL_ERROR "Fixing the times, order and permissions in ${CPACK_PACKAGE_FILES} failed (${fixed})")
endif()
