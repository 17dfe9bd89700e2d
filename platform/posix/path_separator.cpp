#include "platform/path_separator.h"

namespace platform {

char PathSeparator() {
  return '/';
}

}  // namespace platform
