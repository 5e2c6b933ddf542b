#include "host/ModoDebug.h"

#include <cstdio>
#include <optional>

#include "api/CallbackTest.h"
#include "api/DmSitef.h"
#include "platform/Platform.h"
#include "util/IniConfig.h"
#include "util/VornSysUtils.h"

TfrmModoDebug* frmModoDebug = nullptr;

namespace {
// The sale API's callback address that the test button posts to; the token
// follows it directly.
constexpr char kCallbackBase[] = "https://localhost/v1/sales/tef/callback/";
}  // namespace

TfrmModoDebug::TfrmModoDebug(ClientHandlers handlers, const ViewFactory& makeView) {
  TModoDebugView::Events events;
  events.OnStartClick = [this] { ButtonStartClick(); };
  events.OnStopClick = [this] { ButtonStopClick(); };
  events.OnTestClick = [this] { BitBtn1Click(); };
  events.OnIdle = [this] { ApplicationEvents1Idle(); };
  view_ = makeView(std::move(events));
  service_ = std::make_unique<TQuorelSiTefService>(std::move(handlers));
  ApplicationEvents1Idle();
  frmModoDebug = this;
}

TfrmModoDebug::~TfrmModoDebug() {
  if (frmModoDebug == this)
    frmModoDebug = nullptr;
}

void TfrmModoDebug::ButtonStartClick() {
  service_->StartServer();
  ApplicationEvents1Idle();
}

void TfrmModoDebug::ButtonStopClick() {
  service_->StopServer();
  ApplicationEvents1Idle();
}

void TfrmModoDebug::ApplicationEvents1Idle() {
  // While a server thread exists the buttons follow its listening state;
  // without one (never started, stopped, or its activation failed) the
  // server is not active either, so only Start can be pressed.
  view_->ShowServerActive(service_->ServerActive());
}

void TfrmModoDebug::BitBtn1Click() {
  const TIniConfig config(ConfigFilePath());
  const std::string key = config.ReadString("security", "jwt_secret", "");
  TRestOptions options;
  options.extraCAFile = config.ReadString("callback", "ca_file", "");
  view_->ShowMessage(TestarCallback(view_->JsonText(), kCallbackBase,
                                    key.empty() ? TDmSitef::kJWTSecretKey : key, options));
}

int RunDebugWindow(ClientHandlers handlers) {
  const platform::Platform& os = platform::Current();
  const std::string path = VornAppDir() + GATEWAY_WINDOW_MODULE;
  void* module = os.LoadLibrary(path);
  const auto create = reinterpret_cast<CreateModoDebugViewFunction>(
      module == nullptr ? nullptr : os.FindSymbol(module, kCreateModoDebugView));
  if (create == nullptr) {
    std::fprintf(stderr, "Janela de depuração indisponível: %s não pôde ser carregado.\n",
                 path.c_str());
    return 1;
  }
  // The module stays loaded until the process ends.
  struct NoWindow {};
  std::optional<TfrmModoDebug> form;
  try {
    form.emplace(std::move(handlers), [create](TModoDebugView::Events events) {
      TModoDebugView* view = create(&events);
      if (view == nullptr)
        throw NoWindow();
      return std::unique_ptr<TModoDebugView>(view);
    });
  } catch (const NoWindow&) {
    std::fprintf(stderr, "Janela de depuração indisponível: a janela não pôde ser criada.\n");
    return 1;
  }
  return form->View().Run();
}
