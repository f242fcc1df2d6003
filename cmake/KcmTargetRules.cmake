# Warnings are errors on our own code; third-party headers come in as system headers.
function(kcm_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Limits a shared library's dynamic symbols to its export table, written as a version script.
function(kcm_limit_exports target map)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${map}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${map}")
endfunction()
