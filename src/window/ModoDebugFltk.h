#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>

#include <memory>

#include "host/ModoDebugView.h"

// The debug window drawn with FLTK.
class TModoDebugFltk : public TModoDebugView {
 public:
  explicit TModoDebugFltk(Events events);
  ~TModoDebugFltk() override;
  TModoDebugFltk(const TModoDebugFltk&) = delete;
  TModoDebugFltk& operator=(const TModoDebugFltk&) = delete;

  void ShowServerActive(bool active) override;
  std::string JsonText() const override;
  void ShowMessage(const std::string& text) override;
  int Run() override;

  Fl_Double_Window* Window() const { return window_.get(); }
  Fl_Button* ButtonStart = nullptr;
  Fl_Button* ButtonStop = nullptr;
  Fl_Button* BitBtn1 = nullptr;
  Fl_Text_Editor* mmJson = nullptr;

 private:
  // The 100 ms timer that raises OnIdle.
  static void Idle(void* view);

  Events events_;
  std::unique_ptr<Fl_Double_Window> window_;
  std::unique_ptr<Fl_Text_Buffer> json_;
};

extern "C" TModoDebugView* CreateModoDebugView(const TModoDebugView::Events* events);
