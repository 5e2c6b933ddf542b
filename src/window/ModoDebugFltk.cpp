#include "window/ModoDebugFltk.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cstdlib>

#include "window/SampleResult.h"

namespace {
constexpr double kIdleSeconds = 0.1;

void Raise(const std::function<void()>& event) {
  if (event)
    event();
}

}  // namespace

void TModoDebugFltk::Idle(void* data) {
  Raise(static_cast<TModoDebugFltk*>(data)->events_.OnIdle);
  Fl::repeat_timeout(kIdleSeconds, Idle, data);
}

TModoDebugFltk::TModoDebugFltk(Events events) : events_(std::move(events)) {
  window_ = std::make_unique<Fl_Double_Window>(446, 257, "SiTef service - Modo debug");
  ButtonStart = new Fl_Button(8, 8, 75, 25, "Start");
  ButtonStop = new Fl_Button(89, 8, 75, 25, "Stop");
  BitBtn1 = new Fl_Button(170, 8, 75, 25, "BitBtn1");
  mmJson = new Fl_Text_Editor(8, 41, 430, 208);
  window_->end();
  json_ = std::make_unique<Fl_Text_Buffer>();
  json_->text(kSampleResult);
  mmJson->buffer(json_.get());
  mmJson->scrollbar_align(FL_ALIGN_RIGHT);
  window_->size_range(446, 257, 446, 257);

  ButtonStart->callback(
      [](Fl_Widget*, void* v) { Raise(static_cast<TModoDebugFltk*>(v)->events_.OnStartClick); },
      this);
  ButtonStop->callback(
      [](Fl_Widget*, void* v) { Raise(static_cast<TModoDebugFltk*>(v)->events_.OnStopClick); },
      this);
  BitBtn1->callback(
      [](Fl_Widget*, void* v) { Raise(static_cast<TModoDebugFltk*>(v)->events_.OnTestClick); },
      this);
  Fl::add_timeout(kIdleSeconds, Idle, this);
}

TModoDebugFltk::~TModoDebugFltk() {
  Fl::remove_timeout(Idle, this);
  mmJson->buffer(nullptr);
}

void TModoDebugFltk::ShowServerActive(bool active) {
  if (active) {
    ButtonStart->deactivate();
    ButtonStop->activate();
  } else {
    ButtonStart->activate();
    ButtonStop->deactivate();
  }
}

std::string TModoDebugFltk::JsonText() const {
  char* text = json_->text();
  const std::string json(text);
  free(text);
  return json;
}

void TModoDebugFltk::ShowMessage(const std::string& text) {
  fl_message("%s", text.c_str());
}

int TModoDebugFltk::Run() {
  window_->show();
  return Fl::run();
}

TModoDebugView* CreateModoDebugView(const TModoDebugView::Events* events) {
  return new TModoDebugFltk(*events);
}
