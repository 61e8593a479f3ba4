// Owners of the GDI and shell handles the window makes, so that none leaks
// on any way out of a handler, a thrown failure included.
#pragma once

#include <windows.h>
// After <windows.h>, which they build on:
#include <shellapi.h>

#include <utility>

namespace gui {

template <typename Handle, typename Free>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle h) : h_(h) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : h_(std::exchange(other.h_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, Handle{});
    }
    return *this;
  }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Handle{}; }
  void reset(Handle h = Handle{}) {
    if (h_ != Handle{}) Free{}(h_);
    h_ = h;
  }

 private:
  Handle h_{};
};

struct DeleteGdiObject {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct FinishDrop {
  void operator()(HDROP h) const { DragFinish(h); }
};
struct DestroyIconHandle {
  void operator()(HICON h) const { DestroyIcon(h); }
};
struct FreeLocal {
  void operator()(LPWSTR* p) const { LocalFree(p); }
};

using Font = Owned<HFONT, DeleteGdiObject>;
using Bitmap = Owned<HBITMAP, DeleteGdiObject>;
using Drop = Owned<HDROP, FinishDrop>;
using Icon = Owned<HICON, DestroyIconHandle>;
using ArgumentList = Owned<LPWSTR*, FreeLocal>;

// A window's device context, released with the window it came from.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A device context to draw off the screen in, like `like`.
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// A font or bitmap chosen into a device context for as long as the object
// lives, so that it is out of the context again before either is freed.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace gui
