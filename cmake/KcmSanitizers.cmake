# KCM_SANITIZE: "address,undefined" for the ASan+UBSan tree, "thread" for the TSan tree.
set(KCM_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(KCM_SANITIZE)
  add_compile_options(-fsanitize=${KCM_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KCM_SANITIZE})
endif()
