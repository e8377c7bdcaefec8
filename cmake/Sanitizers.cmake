# MUGROVE_SANITIZE=ON builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer; any finding aborts the process so tests fail.
option(MUGROVE_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)

if(MUGROVE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
