# mugrove_warnings(target): the warning set every target of ours is built with.
function(mugrove_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wformat=2
    -Wimplicit-fallthrough)
  if(MUGROVE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# On in the presets CI builds; a newer compiler's new warning must not stop anyone else.
option(MUGROVE_WERROR "Treat warnings as errors" OFF)
