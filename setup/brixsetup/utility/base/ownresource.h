#pragma once
// A resource of the executable itself: found, loaded and locked in one go,
// freed when it goes out of scope. The bytes stay mapped for the life of the
// process, so callers may keep pointers into them.
#include <windows.h>

namespace brix {

class OwnResource {
 public:
  OwnResource(const wchar_t* type, const wchar_t* name) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(self, name, type);
    handle_ = info ? LoadResource(self, info) : nullptr;
    if (!handle_) return;
    data_ = LockResource(handle_);
    size_ = SizeofResource(self, info);
  }
  ~OwnResource() {
    if (handle_) FreeResource(handle_);
  }
  OwnResource(const OwnResource&) = delete;
  OwnResource& operator=(const OwnResource&) = delete;

  // Found and loaded (LoadResource gave a handle).
  bool Found() const { return handle_ != nullptr; }
  // Found, loaded and locked: Data() is usable.
  bool Loaded() const { return data_ != nullptr; }
  void* Data() const { return data_; }
  DWORD Size() const { return size_; }

 private:
  HGLOBAL handle_ = nullptr;
  void* data_ = nullptr;
  DWORD size_ = 0;
};

}  // namespace brix
