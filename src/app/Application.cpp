#include "app/Application.h"

#include <objbase.h>

#include <stdexcept>

#include "app/ErrorText.h"
#include "win32/MessagePump.h"
#include "win32/Text.h"

TApplication Application;

void ProcessMessages() { Application.ProcessMessages(); }

TApplication::~TApplication() { Finalize(); }

void TApplication::Initialize() { ComStarted_ = SUCCEEDED(CoInitialize(nullptr)); }

void TApplication::Finalize() {
  if (ComStarted_) CoUninitialize();
  ComStarted_ = false;
}

void TApplication::SetTitle(std::wstring Title) { Title_ = std::move(Title); }

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::ProcessMessage() {
  MSG Msg;
  if (!PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    Terminated_ = true;
  } else {
    TranslateMessage(&Msg);
    DispatchMessageW(&Msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::Run() {
  while (!Terminated_) {
    if (ProcessMessage()) continue;
    if (OnIdle) Guard(OnIdle);
    if (!Terminated_) WaitMessage();
  }
}

void TApplication::ShowException(const std::exception& Error) {
  const std::wstring Text = Utf8ToWide(ErrorBoxText(Error.what()));
  HWND Owner = GetActiveWindow();
  if (!Owner) Owner = MainWindow;
  MessageBoxW(Owner, Text.c_str(), Title_.c_str(), MB_OK | MB_ICONERROR);
}
