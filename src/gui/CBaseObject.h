// Reference counting for toolkit objects: a new object holds one reference,
// remember() adds one, forget() drops one and deletes the object at zero.
// The count is atomic so that a reference may be dropped on another thread,
// but the views themselves belong to the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace VSTGUI {

class CBaseObject {
public:
  CBaseObject() = default;
  virtual ~CBaseObject() = default;

  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;

  void remember() { nbReference.fetch_add(1, std::memory_order_relaxed); }
  void forget() {
    if (nbReference.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t getNbReference() const { return nbReference.load(std::memory_order_relaxed); }

private:
  std::atomic<int32_t> nbReference{1};
};

} // namespace VSTGUI
