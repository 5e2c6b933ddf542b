#pragma once

#include <windows.h>

#include "host/ModoDebugView.h"

// The debug window drawn with Windows' own controls.
class TModoDebugWin32 : public TModoDebugView {
 public:
  explicit TModoDebugWin32(Events events);
  ~TModoDebugWin32() override;
  TModoDebugWin32(const TModoDebugWin32&) = delete;
  TModoDebugWin32& operator=(const TModoDebugWin32&) = delete;

  void ShowServerActive(bool active) override;
  std::string JsonText() const override;
  void ShowMessage(const std::string& text) override;
  int Run() override;

  HWND Window() const { return window_; }
  HWND ButtonStart = nullptr;
  HWND ButtonStop = nullptr;
  HWND BitBtn1 = nullptr;
  HWND mmJson = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  Events events_;
  HWND window_ = nullptr;
};

extern "C" __declspec(dllexport)
    TModoDebugView* CreateModoDebugView(const TModoDebugView::Events* events);
