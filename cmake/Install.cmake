# Install rules shared by the programs: each one goes to bin/ with a manual
# page written from its own --help and --version, so the page never drifts
# from the code.
include(GNUInstallDirs)
find_program(MYZOR_HELP2MAN help2man REQUIRED)
find_program(MYZOR_GZIP gzip REQUIRED)

# Sections help2man cannot take from --help (EXAMPLES), one file per program.
set(MYZOR_MAN_INCLUDES ${PROJECT_SOURCE_DIR}/packaging/man)

function(myzor_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (cpack, cmake --install --strip) also drops the
  # compilers' version notes, which nothing reads at run time.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1.gz)
  set(include ${MYZOR_MAN_INCLUDES}/${target}.h2m)
  if(NOT EXISTS ${include})
    set(include "")
  endif()
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${MYZOR_HELP2MAN} -DGZIP=${MYZOR_GZIP}
            -DPROGRAM=$<TARGET_FILE:${target}> -DINCLUDE=${include}
            -DOUTPUT=${page} -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ManPage.cmake
    DEPENDS ${target} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ManPage.cmake ${include}
    COMMENT "Writing the manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The metainfo lists every installed program.
  set_property(GLOBAL APPEND PROPERTY MYZOR_PROGRAMS ${target})
endfunction()
