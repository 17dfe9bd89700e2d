# velmora_warnings(<target>): the project's warning set, errors when VELMORA_WERROR is on.
function(velmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wformat=2
                                           -Wnon-virtual-dtor -Wcast-qual -Wundef)
  # GCC 12's optimiser reports overlapping copies inside std::string's own inlined code when a
  # literal and a string are concatenated (GCC bug 105329); the warning says nothing about ours.
  target_compile_options(
    ${target}
    PRIVATE $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
  if(VELMORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
