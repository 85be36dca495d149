#pragma once
// Scoped device contexts and the objects selected into them: what BeginPaint, GetDC,
// SelectObject and SaveDC take is given back when the scope ends, on every path.

#include <windows.h>

// BeginPaint ... EndPaint.
class TPaintDC {
 public:
  explicit TPaintDC(HWND Window) : Window_(Window) { Dc_ = BeginPaint(Window, &Paint_); }
  ~TPaintDC() { EndPaint(Window_, &Paint_); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  HDC Get() const { return Dc_; }

 private:
  HWND Window_;
  PAINTSTRUCT Paint_ = {};
  HDC Dc_ = nullptr;
};

// GetDC ... ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND Window) : Window_(Window), Dc_(GetDC(Window)) {}
  ~TWindowDC() {
    if (Dc_) ReleaseDC(Window_, Dc_);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return Dc_; }

 private:
  HWND Window_;
  HDC Dc_;
};

// SelectObject, and the object that was selected before put back.
class TSelectObject {
 public:
  TSelectObject(HDC Dc, HGDIOBJ Object) : Dc_(Dc), Old_(SelectObject(Dc, Object)) {}
  ~TSelectObject() {
    if (Old_) SelectObject(Dc_, Old_);
  }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC Dc_;
  HGDIOBJ Old_;
};

// SaveDC ... RestoreDC: clipping, colours and modes set in between are undone.
class TSavedDC {
 public:
  explicit TSavedDC(HDC Dc) : Dc_(Dc), Saved_(SaveDC(Dc)) {}
  ~TSavedDC() {
    if (Saved_) RestoreDC(Dc_, Saved_);
  }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC Dc_;
  int Saved_;
};
