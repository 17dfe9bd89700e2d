# velmora_build_config(<target> [PATCH_URL <url>])
#
# Compiles the build settings of common/build_config.h into <target>. Every executable that links
# the launcher's code carries its own copy, so one build tree can hold launchers aimed at
# different patch servers (the product's, a test server on loopback) without building the
# libraries twice.
function(velmora_build_config target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PATCH_URL" "")
  if(NOT arg_PATCH_URL)
    set(arg_PATCH_URL "${VELMORA_PATCH_URL}")
  endif()
  if(NOT arg_PATCH_URL MATCHES "^(https?://[^/]+)/(.*/)?patch/$")
    message(FATAL_ERROR "patch URL must be an http(s) URL ending in /patch/: ${arg_PATCH_URL}")
  endif()
  set(VELMORA_CONFIG_TARGET "${target}")
  set(VELMORA_CONFIG_PATCH_URL "${arg_PATCH_URL}")
  set(VELMORA_CONFIG_INFO_URL "${CMAKE_MATCH_1}/mini/")
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_build_config.cpp")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/build_config.cpp.in" "${generated}" @ONLY)
  target_sources(${target} PRIVATE "${generated}")
endfunction()
