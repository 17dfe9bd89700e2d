# The launcher page as the programs carry it, and files compiled into a program.
#
# velmora_prepare_page(<name> INFO_URL <url> OUTPUT_VARIABLE <var> [SOURCE_DIR <dir>])
#   Writes the three page files of launcher/ui (or <dir>) into ${CMAKE_CURRENT_BINARY_DIR}/<name>/
#   (index.html, css/style.css, js/launcher.js) as the launcher embeds them: CR LF line ends, no
#   byte-order mark, and the information page address of the HTML replaced by <url>. Sets <var>
#   to the three generated paths in resource order (HTML, style sheet, script). The Windows
#   resource script and the Linux byte arrays are made from these same files.
#
# velmora_page_resource_ids(<var>)
#   Sets <var> to the resource numbers of the HTML, the style sheet and the script, in that order,
#   as launcher/page_resources.h defines them.
#
# velmora_embed_files(<target> <id> <file> [<id> <file>]...)
#   Linux: compiles each file into <target> as a byte array that LoadEmbeddedResource(<id>)
#   returns (platform/resources.h).

set(VELMORA_PAGE_SOURCE_DIR "${PROJECT_SOURCE_DIR}/launcher/ui")
set(VELMORA_PAGE_FILE_NAMES index.html css/style.css js/launcher.js)
# The address written in the page's source; the build replaces it with each program's own.
set(VELMORA_PAGE_DEFAULT_INFO_URL "https://patch.velmora.example/mini/")

function(velmora_page_resource_ids out_var)
  set(header "${PROJECT_SOURCE_DIR}/launcher/page_resources.h")
  set(ids "")
  foreach(part HTML CSS JS)
    file(STRINGS "${header}" line REGEX "^#define VELMORA_PAGE_${part}_RESOURCE [0-9]+$")
    if(NOT line MATCHES " ([0-9]+)$")
      message(FATAL_ERROR "${header} does not define VELMORA_PAGE_${part}_RESOURCE")
    endif()
    list(APPEND ids "${CMAKE_MATCH_1}")
  endforeach()
  set(${out_var} "${ids}" PARENT_SCOPE)
endfunction()

# A page file that is missing is embedded empty (the launcher then loads the page without it);
# the glob makes the build notice when it appears.
function(velmora_page_source dir name out_var)
  file(GLOB found CONFIGURE_DEPENDS "${dir}/${name}")
  if(NOT found)
    message(WARNING "launcher page file ${dir}/${name} is missing; it is embedded empty")
  endif()
  set(${out_var} "${found}" PARENT_SCOPE)
endfunction()

function(velmora_prepare_page name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "INFO_URL;OUTPUT_VARIABLE;SOURCE_DIR" "")
  if(NOT arg_SOURCE_DIR)
    set(arg_SOURCE_DIR "${VELMORA_PAGE_SOURCE_DIR}")
  endif()
  set(outputs "")
  foreach(file_name IN LISTS VELMORA_PAGE_FILE_NAMES)
    velmora_page_source("${arg_SOURCE_DIR}" "${file_name}" source)
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}/${file_name}")
    set(replace "")
    if(file_name STREQUAL "index.html")
      set(replace -DFROM=${VELMORA_PAGE_DEFAULT_INFO_URL} -DTO=${arg_INFO_URL})
    endif()
    add_custom_command(
      OUTPUT "${output}"
      COMMAND ${CMAKE_COMMAND} "-DSOURCE=${source}" "-DOUTPUT=${output}" ${replace}
              -P "${PROJECT_SOURCE_DIR}/cmake/embed/prepare_page_file.cmake"
      DEPENDS ${source} "${PROJECT_SOURCE_DIR}/cmake/embed/prepare_page_file.cmake"
      COMMENT "Preparing ${name}/${file_name}"
      VERBATIM)
    list(APPEND outputs "${output}")
  endforeach()
  set(${arg_OUTPUT_VARIABLE} "${outputs}" PARENT_SCOPE)
endfunction()

function(velmora_embed_files target)
  set(arguments ${ARGN})
  list(LENGTH arguments count)
  math(EXPR odd "${count} % 2")
  if(count EQUAL 0 OR odd)
    message(FATAL_ERROR "velmora_embed_files(${target}): expected <id> <file> pairs")
  endif()
  set(ids "")
  set(files "")
  while(arguments)
    list(POP_FRONT arguments id file)
    list(APPEND ids "${id}")
    list(APPEND files "${file}")
  endwhile()
  list(JOIN ids "," id_text)
  list(JOIN files "|" file_text)  # one command-line argument; "|" is not used in paths here
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_embedded_files.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} "-DIDS=${id_text}" "-DFILES=${file_text}" "-DOUTPUT=${output}"
            -P "${PROJECT_SOURCE_DIR}/cmake/embed/embed_files.cmake"
    DEPENDS ${files} "${PROJECT_SOURCE_DIR}/cmake/embed/embed_files.cmake"
    COMMENT "Embedding files into ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
endfunction()
