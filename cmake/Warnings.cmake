# mugrove_warnings(target): the warning set every target of ours is built with.
function(mugrove_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wformat=2
    -Wimplicit-fallthrough)
  if(MUGROVE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# On only in CI (scripts/test.sh turns it on when CI=true): a newer
# compiler's first new warning must not stop anyone else's build.
option(MUGROVE_WERROR "Treat warnings as errors" OFF)
