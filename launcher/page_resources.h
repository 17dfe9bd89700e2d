/* The numbers of the launcher page's three embedded files (RT_RCDATA resources on Windows, byte
   arrays on Linux). This file is the only place they are written: the C++ code includes it, the
   Windows resource script (launcher/win32/launcher.rc.in) includes it, and the build reads the
   numbers from it (velmora_page_resource_ids in cmake/VelmoraEmbed.cmake) for the Linux byte
   arrays and the check of every Windows executable. Plain #define lines, so that the resource
   compiler and CMake can read them. */
#ifndef VELMORA_LAUNCHER_PAGE_RESOURCES_H
#define VELMORA_LAUNCHER_PAGE_RESOURCES_H

#define VELMORA_PAGE_HTML_RESOURCE 103
#define VELMORA_PAGE_CSS_RESOURCE 104
#define VELMORA_PAGE_JS_RESOURCE 105

#endif
