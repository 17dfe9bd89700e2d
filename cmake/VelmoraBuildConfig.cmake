# velmora_build_config(<target> [PATCH_URL <url>] [CA_BUNDLE <file>] [LAUNCHER_VERSION <text>]
#                      [SIGNING_KEY <key>])
#
# Compiles the build settings of common/build_config.h into <target>. Every executable that links
# the launcher's code carries its own copy, so one build tree can hold launchers aimed at
# different patch servers (the product's, a test server on loopback), of different versions (an
# older and a newer one for the self-update), or holding different signing keys, without building
# the libraries twice. CA_BUNDLE (default VELMORA_CA_BUNDLE, empty) is a PEM file of the
# authorities the program trusts instead of the system's store; Linux only: WinINet trusts the
# system's store. LAUNCHER_VERSION defaults to VELMORA_LAUNCHER_VERSION. Without SIGNING_KEY the
# program checks no signatures (the product launcher is given VELMORA_SIGNING_KEY,
# launcher/CMakeLists.txt).
function(velmora_build_config target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PATCH_URL;CA_BUNDLE;LAUNCHER_VERSION;SIGNING_KEY" "")
  if(NOT arg_PATCH_URL)
    set(arg_PATCH_URL "${VELMORA_PATCH_URL}")
  endif()
  if(NOT DEFINED arg_CA_BUNDLE)
    set(arg_CA_BUNDLE "${VELMORA_CA_BUNDLE}")
  endif()
  if(arg_CA_BUNDLE AND VELMORA_WINDOWS)
    message(FATAL_ERROR "a CA bundle cannot be built into a Windows program: WinINet trusts "
                        "the system's certificate store; add the authority there instead")
  endif()
  set(VELMORA_CONFIG_CA_BUNDLE "${arg_CA_BUNDLE}")
  if(arg_LAUNCHER_VERSION)
    set(VELMORA_LAUNCHER_VERSION "${arg_LAUNCHER_VERSION}")
  endif()
  velmora_info_page_url("${arg_PATCH_URL}" info_url)
  velmora_check_signing_key("${arg_SIGNING_KEY}")
  set(VELMORA_CONFIG_TARGET "${target}")
  set(VELMORA_CONFIG_PATCH_URL "${arg_PATCH_URL}")
  set(VELMORA_CONFIG_INFO_URL "${info_url}")
  string(TOLOWER "${arg_SIGNING_KEY}" VELMORA_CONFIG_SIGNING_KEY)
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_build_config.cpp")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/build_config.cpp.in" "${generated}" @ONLY)
  target_sources(${target} PRIVATE "${generated}")
endfunction()

# velmora_info_page_url(<patch url> <variable>): the information page that goes with a patch
# server, its scheme and host with the path /mini/.
function(velmora_info_page_url patch_url out_var)
  if(NOT patch_url MATCHES "^(https?://[^/]+)/(.*/)?patch/$")
    message(FATAL_ERROR "patch URL must be an http(s) URL ending in /patch/: ${patch_url}")
  endif()
  set(${out_var} "${CMAKE_MATCH_1}/mini/" PARENT_SCOPE)
endfunction()

# The test certificate authority of this build tree (scripts/test-certificates.sh makes it): the
# launchers of the tests, the benchmarks and the demo trust it; the product never does.
set(VELMORA_TEST_CA_DIR "${CMAKE_BINARY_DIR}/test-ca")
if(VELMORA_WINDOWS)
  set(VELMORA_TEST_CA_BUNDLE "")
else()
  set(VELMORA_TEST_CA_BUNDLE "${VELMORA_TEST_CA_DIR}/ca.pem")
endif()

# velmora_check_signing_key(<key>): empty, or the 128 hexadecimal digits that `publish keygen`
# writes (the X and Y coordinates of a P-256 point). A key that is not on the curve passes this
# check; the launcher then refuses every publication and says so in its log.
function(velmora_check_signing_key key)
  if(NOT key STREQUAL "" AND NOT key MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "VELMORA_SIGNING_KEY must be hexadecimal digits: ${key}")
  endif()
  string(LENGTH "${key}" length)
  if(NOT length EQUAL 0 AND NOT length EQUAL 128)
    message(FATAL_ERROR "VELMORA_SIGNING_KEY must be 128 hexadecimal digits (publish keygen "
                        "writes it), not ${length}")
  endif()
endfunction()
