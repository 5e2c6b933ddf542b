#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/ModoDebugView.h"
#include "host/QuorelSiTefService.h"

// The debug window: Start and Stop around the server, and a test button that
// posts the sample result message in the editor to the sale API callback. The
// widgets are a TModoDebugView; this class is what they do.
class TfrmModoDebug {
 public:
  using ViewFactory = std::function<std::unique_ptr<TModoDebugView>(TModoDebugView::Events)>;

  // FormCreate: builds the window through `makeView` and creates the service
  // module.
  TfrmModoDebug(ClientHandlers handlers, const ViewFactory& makeView);
  ~TfrmModoDebug();
  TfrmModoDebug(const TfrmModoDebug&) = delete;
  TfrmModoDebug& operator=(const TfrmModoDebug&) = delete;

  void ButtonStartClick();
  void ButtonStopClick();
  // Enables Start and Stop from the server's state; runs every 100 ms while
  // the window is open.
  void ApplicationEvents1Idle();
  void BitBtn1Click();

  TModoDebugView& View() const { return *view_; }

 private:
  std::unique_ptr<TModoDebugView> view_;
  std::unique_ptr<TQuorelSiTefService> service_;
};

// The process-wide debug window (set while one exists).
extern TfrmModoDebug* frmModoDebug;

// Opens the window module beside the executable, shows the debug window and
// runs the GUI loop until it is closed. Without the module: a message on the
// standard error stream and exit code 1.
int RunDebugWindow(ClientHandlers handlers);
