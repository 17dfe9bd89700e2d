# cmake -DOBJDUMP=<objdump> -DLOADER=<WebView2Loader.dll> -DFORMAT=<pei-i386|pei-x86-64>
#       -P check_webview2_loader.cmake
#
# Fails unless LOADER is a Windows DLL of the launcher's architecture: objdump's file format
# FORMAT, where pei-i386 is machine 0x14c, the x86 loader a 32-bit Launcher.exe needs. Microsoft
# ships WebView2Loader.dll for x86, x64 and arm64 alike; any other beside the launcher cannot be
# loaded (error 193) and every player would meet an error dialog. OBJDUMP must know both PE
# formats (x86_64-w64-mingw32-objdump does).

cmake_minimum_required(VERSION 3.25)

foreach(variable OBJDUMP LOADER FORMAT)
  if(NOT ${variable})
    message(FATAL_ERROR "check_webview2_loader: ${variable} is not set")
  endif()
endforeach()

if(NOT EXISTS "${LOADER}")
  message(FATAL_ERROR "${LOADER} does not exist")
endif()
execute_process(COMMAND "${OBJDUMP}" -p "${LOADER}"
                OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0 OR NOT dump MATCHES "file format ([^\n]+)\n")
  message(FATAL_ERROR "${LOADER} is not a Windows DLL: ${dump_error}")
endif()
set(format "${CMAKE_MATCH_1}")
if(NOT format STREQUAL FORMAT)
  message(FATAL_ERROR "${LOADER} is the ${format} WebView2Loader.dll, but this launcher needs the "
                      "${FORMAT} one (for a 32-bit Launcher.exe: the WebView2 SDK's "
                      "build/native/x86/WebView2Loader.dll)")
endif()
if(NOT dump MATCHES "\nCharacteristics [^\n]*\n(\t[^\n]*\n)*\tDLL\n")
  message(FATAL_ERROR "${LOADER} is a program, not a DLL")
endif()
