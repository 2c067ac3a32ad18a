// A file that appears under its name only when complete: written to a temporary file in the same
// directory and renamed over the name on commit, removed if never committed.
#pragma once

#include <cstdio>
#include <string>

namespace curves {

class OutputFile {
public:
  // Creates the temporary file now, so that an unwritable destination fails before any work.
  // Throws render::RenderError.
  explicit OutputFile(std::string path);
  ~OutputFile(); // removes the temporary file unless committed

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& path() const { return finalPath; }
  std::FILE* stream() { return file; }
  // Flushes, closes and renames. Throws render::RenderError.
  void commit();

private:
  std::string finalPath;
  std::string temporaryPath;
  std::FILE* file = nullptr;
  bool committed = false;
};

} // namespace curves
