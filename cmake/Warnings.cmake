# One place for the compiler warnings every target of ours is built with.
function(myzor_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
