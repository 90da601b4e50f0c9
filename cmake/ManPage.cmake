# Writes OUTPUT, the manual page of PROGRAM, with HELP2MAN. The NAME line is
# the first sentence of the description the program prints under its usage
# line.
execute_process(COMMAND ${PROGRAM} --help
  OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()
string(REGEX MATCH "Usage:[^\n]*\n([^\n]+(\n[^\n]+)*)" usage_and_description "${help}")
string(REPLACE "\n" " " summary "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\\.( .*)?$" "" summary "${summary}")
string(STRIP "${summary}" summary)
if(summary STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help has no description under its usage line")
endif()
string(SUBSTRING "${summary}" 0 1 first)
string(TOLOWER "${first}" first)
string(SUBSTRING "${summary}" 1 -1 rest)
execute_process(COMMAND ${HELP2MAN} --no-info "--name=${first}${rest}" --output=${OUTPUT} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}: ${status}")
endif()
