# Writes OUTPUT, the gzipped manual page of PROGRAM, with HELP2MAN and GZIP,
# adding the sections of INCLUDE when it is set. The NAME line is the first
# sentence of the description the program prints under its usage line.
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
set(include_option "")
if(INCLUDE)
  set(include_option "--include=${INCLUDE}")
endif()
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
execute_process(COMMAND ${HELP2MAN} --no-info ${include_option} "--name=${first}${rest}"
                        --output=${page} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}: ${status}")
endif()
# -n leaves the name and time out, so the same page gives the same bytes.
execute_process(COMMAND ${GZIP} -9 -n -f ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${page}: ${status}")
endif()
