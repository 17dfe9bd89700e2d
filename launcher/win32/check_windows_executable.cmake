# cmake -DOBJDUMP=<objdump> -DEXECUTABLE=<Launcher.exe> -DFORMAT=<pei-i386|pei-x86-64>
#       -DPAGE_RESOURCES=<html id>,<css id>,<js id> [-DPE_OBJDUMP=<objdump knowing both PE formats>]
#       -P check_windows_executable.cmake
#
# Fails (and so fails the build) unless the launcher executable is what players can run as it
# stands: a PE of the expected architecture, a Windows GUI program (no console), importing only
# DLLs that every Windows has (the static runtime leaves no libstdc++, libgcc or winpthread DLL
# to ship, and the WebView2 loader is loaded at run time, never imported), carrying the icon group
# 101 with six images, the manifest and the page's three resources (launcher/page_resources.h).
# A WebView2Loader.dll beside the executable must be of the same architecture
# (check_webview2_loader.cmake).

cmake_minimum_required(VERSION 3.25)

foreach(variable OBJDUMP EXECUTABLE FORMAT PAGE_RESOURCES)
  if(NOT ${variable})
    message(FATAL_ERROR "check_windows_executable: ${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND "${OBJDUMP}" -p "${EXECUTABLE}"
                OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXECUTABLE} failed: ${dump_error}")
endif()

set(problems "")

if(NOT dump MATCHES "file format ${FORMAT}\n")
  list(APPEND problems "not a ${FORMAT} executable")
endif()
if(NOT dump MATCHES "Subsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
  list(APPEND problems "not a Windows GUI program (it would open a console)")
endif()

# DLLs of Windows itself; anything else would have to be shipped beside Launcher.exe.
set(system_dlls advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll
    kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll
    version.dll wininet.dll ws2_32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  list(APPEND problems "no import table found")
endif()
foreach(line IN LISTS imports)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower IN_LIST system_dlls)
    list(APPEND problems "imports ${dll}, which is not part of Windows")
  endif()
endforeach()

# The resource tree as objdump prints it: type entries indented by three blanks, the names under
# them by five. Collects "<type>:<name>" pairs (hexadecimal ids) and the name count per type.
string(REGEX MATCHALL "\n[0-9a-f]+ +Entry: ID: 0x[0-9a-f]+," entries "${dump}")
set(resources "")
set(type "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "^\n[0-9a-f]+( +)Entry: ID: 0x0*([0-9a-f]+)," entry "${entry}")
  string(LENGTH "${CMAKE_MATCH_1}" depth)
  if(depth EQUAL 3)
    set(type "${CMAKE_MATCH_2}")
    set(count_${type} 0)
  elseif(depth EQUAL 5 AND NOT type STREQUAL "")
    list(APPEND resources "${type}:${CMAKE_MATCH_2}")
    math(EXPR count_${type} "${count_${type}} + 1")
  endif()
endforeach()

# RT_GROUP_ICON (e) 101 (65), RT_MANIFEST (18) 1, RT_RCDATA (a) for each page file.
set(expected_resources e:65 18:1)
string(REPLACE "," ";" page_resources "${PAGE_RESOURCES}")
foreach(id IN LISTS page_resources)
  math(EXPR hex "${id}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" hex "${hex}")
  list(APPEND expected_resources "a:${hex}")
endforeach()
foreach(expected IN LISTS expected_resources)
  if(NOT expected IN_LIST resources)
    list(APPEND problems "resource ${expected} (type:id, hexadecimal) is missing")
  endif()
endforeach()
if(NOT DEFINED count_3 OR NOT count_3 EQUAL 6)
  list(APPEND problems "the icon has ${count_3} images instead of 6")
endif()

get_filename_component(folder "${EXECUTABLE}" DIRECTORY)
if(EXISTS "${folder}/WebView2Loader.dll")
  if(NOT PE_OBJDUMP)
    set(PE_OBJDUMP "${OBJDUMP}")
  endif()
  execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${PE_OBJDUMP}" "-DLOADER=${folder}/WebView2Loader.dll"
            "-DFORMAT=${FORMAT}" -P "${CMAKE_CURRENT_LIST_DIR}/check_webview2_loader.cmake"
    RESULT_VARIABLE loader_result ERROR_VARIABLE loader_error)
  if(NOT loader_result EQUAL 0)
    string(REGEX REPLACE "^CMake Error at [^\n]*\n *" "" loader_error "${loader_error}")
    string(REGEX REPLACE "[ \t\n]+" " " loader_error "${loader_error}")
    list(APPEND problems "the WebView2 loader beside it: ${loader_error}")
  endif()
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${EXECUTABLE} is not fit to ship:\n  ${text}")
endif()
