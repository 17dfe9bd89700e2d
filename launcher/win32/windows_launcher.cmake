# The Windows program's own parts, included by launcher/CMakeLists.txt:
#
# - velmora_windows_resources(<target> PAGE_FILES <html> <css> <js>)
#   Compiles the launcher's resource script into <target>: icon group 101 (six images), the page
#   files as RT_RCDATA (numbered in launcher/page_resources.h), the manifest and the version
#   information.
#
# - velmora_windows_launcher(<target> PAGE_FILES <html> <css> <js>)
#   Makes <target> the Windows launcher: a GUI program (-mwindows) with the resources above,
#   linked statically (VelmoraPlatform.cmake), and checked after every link: PE of the build's
#   architecture, Windows GUI subsystem, only system DLLs imported (the WebView2 loader is loaded
#   at run time), the icon group, the manifest and the three page resources present. With
#   VELMORA_WEBVIEW2_LOADER set, that WebView2Loader.dll is copied beside the executable first, and
#   the check also requires it to be of the executable's architecture.

if(NOT VELMORA_WINDOWS)
  return()
endif()

set(VELMORA_WEBVIEW2_LOADER "" CACHE FILEPATH
    "WebView2Loader.dll to ship beside Launcher.exe (the SDK's x86 one for the product)")
# The loader check reads either PE format.
find_program(VELMORA_PE_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)

# Functions below run in the callers' directories, where this file's own folder is not known.
set(VELMORA_WIN32_LAUNCHER_DIR "${CMAKE_CURRENT_LIST_DIR}" CACHE INTERNAL "launcher/win32")

# "1.0.3" -> "1,0,3,0", the number form of the version resource.
function(velmora_version_numbers version out_var)
  if(version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)")
    set(${out_var} "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0" PARENT_SCOPE)
  else()
    set(${out_var} "0,0,0,0" PARENT_SCOPE)
  endif()
endfunction()

function(velmora_windows_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PAGE_FILES")
  list(LENGTH arg_PAGE_FILES count)
  if(NOT count EQUAL 3)
    message(FATAL_ERROR "velmora_windows_resources(${target}): PAGE_FILES needs <html> <css> <js>")
  endif()
  list(GET arg_PAGE_FILES 0 VELMORA_RC_HTML)
  list(GET arg_PAGE_FILES 1 VELMORA_RC_CSS)
  list(GET arg_PAGE_FILES 2 VELMORA_RC_JS)
  set(VELMORA_RC_ICON "${VELMORA_WIN32_LAUNCHER_DIR}/launcher.ico")
  set(VELMORA_RC_MANIFEST "${VELMORA_WIN32_LAUNCHER_DIR}/launcher.manifest")
  velmora_version_numbers("${VELMORA_LAUNCHER_VERSION}" VELMORA_RC_VERSION_COMMAS)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  configure_file("${VELMORA_WIN32_LAUNCHER_DIR}/launcher.rc.in" "${script}" @ONLY)
  target_sources(${target} PRIVATE "${script}")
  # windres reports no dependencies of its own: name the files the script pulls in.
  set_source_files_properties("${script}" PROPERTIES OBJECT_DEPENDS
    "${VELMORA_RC_HTML};${VELMORA_RC_CSS};${VELMORA_RC_JS};${VELMORA_RC_ICON};${VELMORA_RC_MANIFEST};${PROJECT_SOURCE_DIR}/launcher/page_resources.h")
endfunction()

function(velmora_windows_launcher target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PAGE_FILES")
  velmora_windows_resources(${target} PAGE_FILES ${arg_PAGE_FILES})
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  # Release builds ship without symbols: they are most of the file's size.
  target_link_options(${target} PRIVATE -mwindows $<$<CONFIG:Release>:-s>)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(format pei-i386)
  else()
    set(format pei-x86-64)
  endif()
  velmora_page_resource_ids(page_ids)
  list(JOIN page_ids "," page_ids)
  if(VELMORA_WEBVIEW2_LOADER)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${VELMORA_WEBVIEW2_LOADER}"
              "$<TARGET_FILE_DIR:${target}>/WebView2Loader.dll"
      VERBATIM)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${CMAKE_OBJDUMP}" "-DEXECUTABLE=$<TARGET_FILE:${target}>"
            "-DFORMAT=${format}" "-DPAGE_RESOURCES=${page_ids}" "-DPE_OBJDUMP=${VELMORA_PE_OBJDUMP}"
            -P "${VELMORA_WIN32_LAUNCHER_DIR}/check_windows_executable.cmake"
    COMMENT "Checking $<TARGET_FILE_NAME:${target}>: GUI subsystem, system DLLs only, resources"
    VERBATIM)
endfunction()
