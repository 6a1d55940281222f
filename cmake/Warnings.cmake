# Warning flags for every target of the project; the build must stay free of warnings.
function(velora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Woverloaded-virtual -Wimplicit-fallthrough)
  if(VELORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
option(VELORA_WERROR "Treat warnings as errors" OFF)
