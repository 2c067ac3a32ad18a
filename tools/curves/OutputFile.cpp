#include "curves/OutputFile.h"

#include "render/HostSession.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace curves {

OutputFile::OutputFile(std::string path) : finalPath(std::move(path)) {
  const auto slash = finalPath.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
  if (base.empty()) throw render::RenderError("not a file name: \"" + finalPath + "\"");
  // Hidden, so that a directory listing never shows a half-written plot.
  std::string pattern = dir + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) throw render::RenderError("cannot write " + finalPath + ": " + std::strerror(errno));
  temporaryPath = name.data();
  file = fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    close(fd);
    unlink(temporaryPath.c_str());
    throw render::RenderError("cannot write " + finalPath + ": " + std::strerror(error));
  }
}

OutputFile::~OutputFile() {
  if (file) std::fclose(file);
  if (!committed) unlink(temporaryPath.c_str());
}

void OutputFile::commit() {
  const bool written = std::fflush(file) == 0 && !std::ferror(file);
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  if (!written || !closed)
    throw render::RenderError("cannot write " + finalPath + ": " + std::strerror(errno));
  // mkstemp makes the file private; a plot is an ordinary document.
  const mode_t mask = umask(0);
  umask(mask);
  chmod(temporaryPath.c_str(), 0666 & ~mask);
  if (std::rename(temporaryPath.c_str(), finalPath.c_str()) != 0)
    throw render::RenderError("cannot write " + finalPath + ": " + std::strerror(errno));
  committed = true;
}

} // namespace curves
