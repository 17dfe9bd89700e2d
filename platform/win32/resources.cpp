#include <windows.h>

#include "platform/resources.h"

std::string LoadEmbeddedResource(int id) {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (resource == nullptr) return {};
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) return {};
  const DWORD size = SizeofResource(nullptr, resource);
  const void* data = LockResource(loaded);
  if (data == nullptr) return {};
  // The length comes from the resource table; the data carries no terminator.
  return {static_cast<const char*>(data), size};
}
