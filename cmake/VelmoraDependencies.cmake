# Header-only and test libraries, as Debian packages them.
#
# Native builds use them where Debian installed them. Cross builds must never see /usr/include
# (its glibc headers would shadow mingw's), so the few header-only libraries are staged into a
# folder of their own and GoogleTest is built from its Debian source package with the cross
# compiler.

set(VELMORA_STAGED_INCLUDE "${CMAKE_BINARY_DIR}/staged-include")

function(velmora_stage_header source)
  get_filename_component(name "${source}" NAME)
  if(IS_DIRECTORY "${source}")
    file(COPY "${source}" DESTINATION "${VELMORA_STAGED_INCLUDE}")
  else()
    configure_file("${source}" "${VELMORA_STAGED_INCLUDE}/${name}" COPYONLY)
  endif()
endfunction()

add_library(velmora_json INTERFACE)
add_library(velmora_xxhash INTERFACE)
add_library(velmora_httplib INTERFACE)
# XXH_INLINE_ALL compiles the hash into the caller: no library to link on either platform and the
# hot loop is inlined.
target_compile_definitions(velmora_xxhash INTERFACE XXH_INLINE_ALL)

if(CMAKE_CROSSCOMPILING)
  foreach(header /usr/include/nlohmann /usr/include/xxhash.h /usr/include/httplib.h)
    if(NOT EXISTS "${header}")
      message(FATAL_ERROR "${header} is missing: run scripts/setup.sh")
    endif()
    velmora_stage_header("${header}")
  endforeach()
  foreach(target velmora_json velmora_xxhash velmora_httplib)
    target_include_directories(${target} SYSTEM INTERFACE "${VELMORA_STAGED_INCLUDE}")
  endforeach()
  target_link_libraries(velmora_httplib INTERFACE ws2_32 crypt32)
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  target_link_libraries(velmora_json INTERFACE nlohmann_json::nlohmann_json)
  find_path(XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
  target_include_directories(velmora_xxhash SYSTEM INTERFACE "${XXHASH_INCLUDE_DIR}")
  # Debian ships cpp-httplib split: a declarations-only header and a shared library built with
  # TLS and compression, whose settings the header must be compiled with (pkg-config has them).
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  find_package(Threads REQUIRED)
  target_link_libraries(velmora_httplib INTERFACE PkgConfig::CPP_HTTPLIB Threads::Threads)
endif()

if(VELMORA_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
    add_library(velmora_gtest INTERFACE)
    target_link_libraries(velmora_gtest INTERFACE gtest gmock)
    add_library(velmora_gtest_main INTERFACE)
    target_link_libraries(velmora_gtest_main INTERFACE gtest_main gmock)
  else()
    find_package(GTest REQUIRED)
    add_library(velmora_gtest INTERFACE)
    target_link_libraries(velmora_gtest INTERFACE GTest::gtest GTest::gmock)
    add_library(velmora_gtest_main INTERFACE)
    target_link_libraries(velmora_gtest_main INTERFACE GTest::gtest_main GTest::gmock)
  endif()
endif()
