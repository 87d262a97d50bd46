# The test build runs everything under ASan and UBSan; UB aborts instead of only printing.
if(TIDWEN_SANITIZE)
  set(_tidwen_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${_tidwen_san})
  add_link_options(-fsanitize=address,undefined)
endif()

# Fuzz builds instrument all our code for coverage, not only the harness.
if(TIDWEN_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
