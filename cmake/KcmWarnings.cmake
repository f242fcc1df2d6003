# Warnings are errors on our own code; third-party headers come in as system headers.
function(kcm_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
