# cmake -DCHECK=<check_webview2_loader.cmake> -DOBJDUMP=<objdump> -DX86_DLL=<dll> -DX64_DLL=<dll>
#       -DX86_PROGRAM=<exe> -DNOT_PE=<file> -P loader_check_test.cmake
#
# The packaging check of the WebView2 loader against real files of each kind: only a DLL of the
# launcher's architecture passes, and a refusal names what the file is.

cmake_minimum_required(VERSION 3.25)

set(cases
  "X86_DLL|pei-i386|"
  "X64_DLL|pei-i386|is the pei-x86-64 WebView2Loader.dll, but this launcher needs the pei-i386 one"
  "X86_DLL|pei-x86-64|is the pei-i386 WebView2Loader.dll, but this launcher needs the pei-x86-64 one"
  "X86_PROGRAM|pei-i386|is a program, not a DLL"
  "NOT_PE|pei-i386|is not a Windows DLL")
set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 file)
  list(GET parts 1 format)
  list(GET parts 2 refusal)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${OBJDUMP}" "-DLOADER=${${file}}" "-DFORMAT=${format}"
            -P "${CHECK}"
    RESULT_VARIABLE result ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \t\n]+" " " output "${output}")
  if(refusal STREQUAL "" AND NOT result EQUAL 0)
    list(APPEND failures "${file} as ${format} was refused: ${output}")
  elseif(NOT refusal STREQUAL "" AND result EQUAL 0)
    list(APPEND failures "${file} as ${format} passed")
  elseif(NOT refusal STREQUAL "" AND NOT output MATCHES "${refusal}")
    list(APPEND failures "${file} as ${format} was refused without saying \"${refusal}\": ${output}")
  endif()
endforeach()
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "loader check:\n  ${text}")
endif()
