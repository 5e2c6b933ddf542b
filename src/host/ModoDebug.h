#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>

#include <memory>
#include <string>

#include "host/QuorelSiTefService.h"

// The debug window: Start and Stop around the server, and a test button that
// posts the sample result message in mmJson to the sale API callback.
class TfrmModoDebug {
 public:
  // FormCreate: builds the window and creates the service module.
  explicit TfrmModoDebug(ClientHandlers handlers);
  ~TfrmModoDebug();
  TfrmModoDebug(const TfrmModoDebug&) = delete;
  TfrmModoDebug& operator=(const TfrmModoDebug&) = delete;

  void ButtonStartClick();
  void ButtonStopClick();
  // Enables Start and Stop from the server's state; runs every 100 ms while
  // the window is open.
  void ApplicationEvents1Idle();
  void BitBtn1Click();

  Fl_Double_Window* Window() const { return window_.get(); }
  Fl_Button* ButtonStart = nullptr;
  Fl_Button* ButtonStop = nullptr;
  Fl_Button* BitBtn1 = nullptr;
  Fl_Text_Editor* mmJson = nullptr;

 private:
  std::unique_ptr<Fl_Double_Window> window_;
  std::unique_ptr<Fl_Text_Buffer> json_;
  std::unique_ptr<TQuorelSiTefService> service_;
};

// The process-wide debug window (set while one exists).
extern TfrmModoDebug* frmModoDebug;

// Opens the debug window and runs the GUI loop until it is closed.
int RunDebugWindow(ClientHandlers handlers);
