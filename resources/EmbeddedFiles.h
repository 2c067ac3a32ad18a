// The table written at build time by EmbedFiles.cmake: one entry per image file.
#pragma once

#include <cstddef>

namespace ombrine::embedded {

struct File {
  const char* name; // the file name as stored in resources/
  const unsigned char* data;
  std::size_t size;
};

extern const File kFiles[];
extern const std::size_t kFileCount;

} // namespace ombrine::embedded
