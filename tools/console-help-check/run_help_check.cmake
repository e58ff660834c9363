# Runs console-help-check (under the emulator, if any) on PATHS and fails unless it exits with
# EXPECTED_STATUS and its output matches the regular expression EXPECTED_OUTPUT.
execute_process(
  COMMAND ${EMULATOR} ${CHECKER} ${PATHS}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
string(REPLACE "\r\n" "\n" output "${output}")
message("${output}")
if(NOT status STREQUAL EXPECTED_STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECTED_STATUS}")
endif()
if(NOT output MATCHES "${EXPECTED_OUTPUT}")
  message(FATAL_ERROR "the output does not match: ${EXPECTED_OUTPUT}")
endif()
