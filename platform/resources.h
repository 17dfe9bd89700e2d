// Files carried inside the running executable, looked up by number.
#pragma once

#include <string>

// The bytes of embedded file `id`, exactly as stored; empty when there is no such file or it
// cannot be read. Windows: the RT_RCDATA resource `id` of the executable's own module. Linux:
// the files the build compiled into the program (velmora_embed_files in cmake/VelmoraEmbed.cmake).
std::string LoadEmbeddedResource(int id);
