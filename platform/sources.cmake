# The OS seam's sources, all in one place: for each library, the files it compiles from
# platform/ (shared by both back ends) and from the back end being built. A name stands for
# platform/<name>.cpp, platform/posix/<name>.cpp or platform/win32/<name>.cpp.
#
# Adding a seam function: declare it in its platform/<concern>.h, implement it in
# posix/<concern>.cpp and win32/<concern>.cpp, and list the file here under the library that
# needs it. Configuring fails when a back-end file exists that no library lists, or a listed one
# does not exist.

# The foundation: text conversions, the launcher's folder, log delivery, processes, files.
set(velmora_seam_common_shared command_line)
set(velmora_seam_common_backend text launcher_directory log_transport process path_separator
                                file_access safe_write)
# Linux: where the log socket lives and whose it must be.
set(velmora_seam_common_posix log_socket_path owner_checks)

# The main window's handle and what the OS does to the window and the screen.
set(velmora_seam_window_shared main_window)
set(velmora_seam_window_backend window display)

# The web window: the bridge core, the same on both engines, and each engine's primitives.
set(velmora_seam_web_window_shared web_bridge web_page_scripts web_window)
set(velmora_seam_web_window_backend web_engine browser)
set(velmora_seam_web_window_posix webkit_host_trust)
set(velmora_seam_web_window_win32 message_pump webview2_engine webview2_api_check)

# The settings store and the machine's name.
set(velmora_seam_settings_backend settings_store machine_name)

# The update engine's transfers, file operations and signature checks.
set(velmora_seam_update_backend http_client file_ops signature)

# The launcher shell: its own resources and its own files.
set(velmora_seam_shell_backend resources launcher_files)

set(velmora_seam_libraries common window web_window settings update shell)

# velmora_seam_sources(<target> <library>) adds the seam files listed for <library>.
function(velmora_seam_sources target library)
  foreach(name IN LISTS velmora_seam_${library}_shared)
    target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/platform/${name}.cpp")
  endforeach()
  foreach(name IN LISTS velmora_seam_${library}_backend velmora_seam_${library}_${VELMORA_BACKEND})
    target_sources(${target} PRIVATE "${VELMORA_PLATFORM_DIR}/${name}.cpp")
  endforeach()
endfunction()

# Every file of platform/, platform/posix and platform/win32 is listed, and every listed file
# exists.
function(velmora_check_seam_list folder listed)
  file(GLOB present RELATIVE "${PROJECT_SOURCE_DIR}/${folder}" "${PROJECT_SOURCE_DIR}/${folder}/*.cpp")
  list(TRANSFORM present REPLACE "\\.cpp$" "")
  set(unlisted ${present})
  set(missing ${listed})
  if(listed)
    list(REMOVE_ITEM unlisted ${listed})
  endif()
  if(present)
    list(REMOVE_ITEM missing ${present})
  endif()
  if(unlisted OR missing)
    message(FATAL_ERROR "platform/sources.cmake is out of date for ${folder}: "
                        "not listed: ${unlisted}; listed but missing: ${missing}")
  endif()
endfunction()

function(velmora_check_seam_lists)
  foreach(library IN LISTS velmora_seam_libraries)
    list(APPEND shared ${velmora_seam_${library}_shared})
    foreach(backend posix win32)
      list(APPEND ${backend} ${velmora_seam_${library}_backend}
           ${velmora_seam_${library}_${backend}})
    endforeach()
  endforeach()
  velmora_check_seam_list(platform "${shared}")
  velmora_check_seam_list(platform/posix "${posix}")
  velmora_check_seam_list(platform/win32 "${win32}")
endfunction()
velmora_check_seam_lists()
