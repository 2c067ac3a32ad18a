#include "EmbeddedResources.h"

#include "EmbeddedFiles.h"

namespace ombrine {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares at most as far as the stored name reaches plus its terminator, so an unterminated or
// very long query is never read past the first character that differs.
bool sameNameIgnoringCase(const char* query, const char* stored) {
  for (;; ++query, ++stored) {
    if (lowerAscii(*query) != lowerAscii(*stored)) return false;
    if (*stored == '\0') return true;
  }
}

} // namespace

ResourceBlob findResource(const char* name) {
  if (name == nullptr) return {nullptr, 0};
  for (std::size_t i = 0; i < embedded::kFileCount; ++i) {
    const embedded::File& file = embedded::kFiles[i];
    if (sameNameIgnoringCase(name, file.name)) return {file.data, file.size};
  }
  return {nullptr, 0};
}

} // namespace ombrine
