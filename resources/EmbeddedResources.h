// The panel images, compiled into the module so that the Linux editor finds them by name the way
// the Windows build finds its module resources.
#pragma once

#include <cstddef>

namespace ombrine {

struct ResourceBlob {
  const unsigned char* data;
  std::size_t size;
};

// Finds a panel image by name, regardless of case; {nullptr, 0} when there is none.
ResourceBlob findResource(const char* name);

} // namespace ombrine
