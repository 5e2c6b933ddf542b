#pragma once

#include <functional>
#include <string>

// The debug window's widgets: Start, Stop, the callback test button and the
// JSON editor. They live in a shared module of their own (src/window/), which
// the executable opens only when it shows the window: the service never loads
// the window toolkit and its display libraries.
class TModoDebugView {
 public:
  struct Events {
    std::function<void()> OnStartClick;
    std::function<void()> OnStopClick;
    std::function<void()> OnTestClick;
    // Every 100 ms while the window is open.
    std::function<void()> OnIdle;
  };

  virtual ~TModoDebugView() = default;

  // While the server listens Stop is enabled and Start is not; otherwise the
  // reverse.
  virtual void ShowServerActive(bool active) = 0;
  // The editor's text.
  virtual std::string JsonText() const = 0;
  // A message box with `text`.
  virtual void ShowMessage(const std::string& text) = 0;
  // Shows the window and runs the GUI loop until it is closed; the loop's
  // exit code.
  virtual int Run() = 0;
};

// The module's entry point, looked up by the name kCreateModoDebugView: a new
// view that raises `events`, owned by the caller; null when the window cannot
// be made (no exception crosses the module's boundary).
using CreateModoDebugViewFunction = TModoDebugView* (*)(const TModoDebugView::Events* events);
inline constexpr char kCreateModoDebugView[] = "CreateModoDebugView";
