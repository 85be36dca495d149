#pragma once
// One move-only owner for every kind of Win32 handle: a traits class says what is invalid and
// how to close, so kernel handles, registry keys, modules and GDI objects share one template.

#include <windows.h>

#include <utility>

template <typename Traits>
class TUniqueHandle {
 public:
  using Type = typename Traits::Type;

  TUniqueHandle() noexcept = default;
  explicit TUniqueHandle(Type Value) noexcept : Value_(Value) {}
  TUniqueHandle(TUniqueHandle&& Other) noexcept : Value_(Other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& Other) noexcept {
    if (this != &Other) Reset(Other.Release());
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  ~TUniqueHandle() { Reset(); }

  Type Get() const noexcept { return Value_; }
  explicit operator bool() const noexcept { return Value_ != Traits::Invalid(); }
  // For functions that return the handle through an out parameter; closes the old one first.
  Type* Put() noexcept {
    Reset();
    return &Value_;
  }
  Type Release() noexcept { return std::exchange(Value_, Traits::Invalid()); }
  void Reset(Type Value = Traits::Invalid()) noexcept {
    if (Value_ != Traits::Invalid()) Traits::Close(Value_);
    Value_ = Value;
  }

 private:
  Type Value_ = Traits::Invalid();
};

// What a traits class shares with others of its kind: the handle's type and its invalid value.
template <typename Handle>
struct TNullIsInvalid {
  using Type = Handle;
  static Type Invalid() noexcept { return nullptr; }
};
struct TInvalidHandleValueIsInvalid {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
};

struct TFileHandleTraits : TInvalidHandleValueIsInvalid {
  static void Close(Type h) noexcept { CloseHandle(h); }
};
using TFileHandle = TUniqueHandle<TFileHandleTraits>;

struct TFindHandleTraits : TInvalidHandleValueIsInvalid {
  static void Close(Type h) noexcept { FindClose(h); }
};
using TFindHandle = TUniqueHandle<TFindHandleTraits>;

struct TKernelHandleTraits : TNullIsInvalid<HANDLE> {
  static void Close(Type h) noexcept { CloseHandle(h); }
};
using TKernelHandle = TUniqueHandle<TKernelHandleTraits>;

struct TRegKeyTraits : TNullIsInvalid<HKEY> {
  static void Close(Type h) noexcept { RegCloseKey(h); }
};
using TRegKey = TUniqueHandle<TRegKeyTraits>;

struct TModuleTraits : TNullIsInvalid<HMODULE> {
  static void Close(Type h) noexcept { FreeLibrary(h); }
};
using TModule = TUniqueHandle<TModuleTraits>;

// Memory the system allocated for the caller with LocalAlloc (security descriptors, messages).
template <typename Pointer>
struct TLocalMemoryTraits : TNullIsInvalid<Pointer> {
  static void Close(Pointer h) noexcept { LocalFree(h); }
};
using TSecurityDescriptor = TUniqueHandle<TLocalMemoryTraits<PSECURITY_DESCRIPTOR>>;

// Brushes, fonts, bitmaps: typed, so a bitmap owner hands out an HBITMAP.
template <typename Object>
struct TGdiObjectTraits : TNullIsInvalid<Object> {
  static void Close(Object h) noexcept { DeleteObject(h); }
};
using TBrush = TUniqueHandle<TGdiObjectTraits<HBRUSH>>;
using TFont = TUniqueHandle<TGdiObjectTraits<HFONT>>;
using TBitmap = TUniqueHandle<TGdiObjectTraits<HBITMAP>>;

// A memory device context of CreateCompatibleDC.
struct TMemoryDCTraits : TNullIsInvalid<HDC> {
  static void Close(Type h) noexcept { DeleteDC(h); }
};
using TMemoryDC = TUniqueHandle<TMemoryDCTraits>;

struct THookTraits : TNullIsInvalid<HHOOK> {
  static void Close(Type h) noexcept { UnhookWindowsHookEx(h); }
};
using THook = TUniqueHandle<THookTraits>;

// A top-level window of ours; child windows go with their parent.
struct TWindowTraits : TNullIsInvalid<HWND> {
  static void Close(Type h) noexcept { DestroyWindow(h); }
};
using TWindowHandle = TUniqueHandle<TWindowTraits>;
