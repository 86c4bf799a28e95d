// Owners of Win32 handles and COM pointers: each releases what it holds when it goes out of
// scope, so that every early return of a shell call sequence gives everything back.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include <utility>

namespace vessiko {

// A COM interface pointer holding one reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For calls that hand out a new reference.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

// Memory from the COM task allocator, such as the item ID lists the shell hands out.
template <class T>
class CoTaskMemPtr {
 public:
  CoTaskMemPtr() = default;
  ~CoTaskMemPtr() { CoTaskMemFree(p_); }
  CoTaskMemPtr(const CoTaskMemPtr&) = delete;
  CoTaskMemPtr& operator=(const CoTaskMemPtr&) = delete;

  T* get() const { return p_; }
  T** put() {
    CoTaskMemFree(std::exchange(p_, nullptr));
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// A kernel handle; both null and INVALID_HANDLE_VALUE mean none.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : h_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(h_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

class ScopedMenu {
 public:
  explicit ScopedMenu(HMENU menu) : menu_(menu) {}
  ~ScopedMenu() {
    if (menu_ != nullptr) DestroyMenu(menu_);
  }
  ScopedMenu(const ScopedMenu&) = delete;
  ScopedMenu& operator=(const ScopedMenu&) = delete;

  HMENU get() const { return menu_; }

 private:
  HMENU menu_;
};

// A GDI font; whoever was given it must have let go of it before it is replaced or goes.
class ScopedFont {
 public:
  ScopedFont() = default;
  ~ScopedFont() { reset(nullptr); }
  ScopedFont(const ScopedFont&) = delete;
  ScopedFont& operator=(const ScopedFont&) = delete;

  HFONT get() const { return font_; }
  void reset(HFONT font) {
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
  }

 private:
  HFONT font_ = nullptr;
};

// COM for the calling thread, for as long as it lives.
class ComInitialization {
 public:
  ComInitialization() : result_(CoInitialize(nullptr)) {}
  ~ComInitialization() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

 private:
  HRESULT result_;
};

}  // namespace vessiko
