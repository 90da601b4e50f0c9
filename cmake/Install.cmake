# Install rules shared by the programs: each one goes to bin/ with a manual
# page written from its own --help and --version, so the page never drifts
# from the code.
include(GNUInstallDirs)
find_program(MYZOR_HELP2MAN help2man REQUIRED)

function(myzor_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${MYZOR_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${target}>
            -DOUTPUT=${page} -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ManPage.cmake
    DEPENDS ${target} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ManPage.cmake
    COMMENT "Writing the manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The metainfo lists every installed program.
  set_property(GLOBAL APPEND PROPERTY MYZOR_PROGRAMS ${target})
endfunction()
