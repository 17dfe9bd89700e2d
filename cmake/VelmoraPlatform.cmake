# Chooses the OS back end: every target compiles the files of platform/win32 or platform/posix,
# never both. VELMORA_BACKEND (posix or win32) names the folder whose implementations are
# linked in; platform/sources.cmake lists them.
if(WIN32)
  set(VELMORA_WINDOWS TRUE)
  set(VELMORA_BACKEND win32)
  # Windows 10 API level; the product still starts on anything that has the WebView2 runtime.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0A00
                          __USE_MINGW_ANSI_STDIO=1)
  # One self-contained executable: no libstdc++, libgcc or winpthread DLL beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  set(VELMORA_WINDOWS FALSE)
  set(VELMORA_BACKEND posix)
endif()

set(VELMORA_PLATFORM_DIR "${PROJECT_SOURCE_DIR}/platform/${VELMORA_BACKEND}")
include("${PROJECT_SOURCE_DIR}/platform/sources.cmake")

if(VELMORA_SANITIZE)
  list(JOIN VELMORA_SANITIZE "," sanitizers)
  add_compile_options(-fsanitize=${sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${sanitizers})
  if("undefined" IN_LIST VELMORA_SANITIZE)
    # The dynamic-type check cannot see through libraries built without type information: the
    # browser engine releases its own shared_ptr blocks through the library-wide copy of
    # std::_Sp_counted_base that our instrumented program provides, and every such release is
    # reported as a wrong vptr. The check is left out; the rest of UBSan stays.
    add_compile_options(-fno-sanitize=vptr)
    add_link_options(-fno-sanitize=vptr)
  endif()
endif()
