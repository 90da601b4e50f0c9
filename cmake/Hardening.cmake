# The hardening every shipped program is built with, for every target of the
# build: stack protector, position-independent executables, read-only
# relocations bound at start, and the checked variants of the C library's
# string and memory functions (they need the optimiser, so not at -O0).
# The libFuzzer build turns it off: its link is not ours to harden.
option(MYZOR_HARDENING "Build with stack protector, PIE, RELRO and _FORTIFY_SOURCE" ON)
if(NOT MYZOR_HARDENING)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(OUTPUT_VARIABLE pie_problem LANGUAGES CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(FATAL_ERROR "The linker cannot make position-independent executables: ${pie_problem}")
endif()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong
                    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro,-z,now)
