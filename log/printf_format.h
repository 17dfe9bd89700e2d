// Lets the compiler check printf-style format strings against their arguments (the member
// functions' own object counts as argument 1).
#pragma once

#if defined(__MINGW32__)
#define VELMORA_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(gnu_printf, format_index, first_arg)))
#else
#define VELMORA_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#endif
