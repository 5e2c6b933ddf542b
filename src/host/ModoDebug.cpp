#include "host/ModoDebug.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cstdlib>

#include "api/CallbackTest.h"
#include "api/DmSitef.h"
#include "util/IniConfig.h"

TfrmModoDebug* frmModoDebug = nullptr;

namespace {
constexpr double kIdleSeconds = 0.1;

// The sale API's callback address that the test button posts to; the token
// follows it directly.
constexpr char kCallbackBase[] = "https://localhost/v1/sales/tef/callback/";

constexpr char kSampleResult[] = R"({
  "type": "result",
  "status": "approved",
  "message": "Transação TEF concluída com sucesso.",
  "transaction_data": [
    {
      "sale_id": 1001,
      "operation": "credit",
      "card_number": "************0001",
      "operator": "REDE TESTE",
      "payer_name": "Cliente de Teste",
      "institution": "BANDEIRA TESTE",
      "payment_method_code": "00",
      "payment_method_description": "A vista",
      "hash": "",
      "nsu_code": "000123",
      "authorization_code": "654321",
      "establishment_code": "0000000000",
      "number_of_installments": 0,
      "transaction_value": 10.5,
      "transaction_date_time": "2026-12-10T17:07:09Z",
      "gateway": "Software Express",
      "receipt": [
        {"copy_number": 1, "data": ["LOJA TESTE", "VIA DO ESTABELECIMENTO", "VALOR: R$ 10,50"]},
        {"copy_number": 2, "data": ["LOJA TESTE", "VIA DO CLIENTE", "VALOR: R$ 10,50"]}
      ]
    }
  ]
})";

void Idle(void* data) {
  static_cast<TfrmModoDebug*>(data)->ApplicationEvents1Idle();
  Fl::repeat_timeout(kIdleSeconds, Idle, data);
}
}  // namespace

TfrmModoDebug::TfrmModoDebug(ClientHandlers handlers) {
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
      [](Fl_Widget*, void* f) { static_cast<TfrmModoDebug*>(f)->ButtonStartClick(); }, this);
  ButtonStop->callback(
      [](Fl_Widget*, void* f) { static_cast<TfrmModoDebug*>(f)->ButtonStopClick(); }, this);
  BitBtn1->callback([](Fl_Widget*, void* f) { static_cast<TfrmModoDebug*>(f)->BitBtn1Click(); },
                    this);

  service_ = std::make_unique<TQuorelSiTefService>(std::move(handlers));
  ApplicationEvents1Idle();
  Fl::add_timeout(kIdleSeconds, Idle, this);
  frmModoDebug = this;
}

TfrmModoDebug::~TfrmModoDebug() {
  Fl::remove_timeout(Idle, this);
  mmJson->buffer(nullptr);
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
  if (service_->ServerActive()) {
    ButtonStart->deactivate();
    ButtonStop->activate();
  } else {
    ButtonStart->activate();
    ButtonStop->deactivate();
  }
}

void TfrmModoDebug::BitBtn1Click() {
  char* text = json_->text();
  const std::string json(text);
  free(text);
  const TIniConfig config(ConfigFilePath());
  const std::string key = config.ReadString("security", "jwt_secret", "");
  TRestOptions options;
  options.extraCAFile = config.ReadString("callback", "ca_file", "");
  fl_message("%s", TestarCallback(json, kCallbackBase, key.empty() ? TDmSitef::kJWTSecretKey : key,
                                  options)
                       .c_str());
}

int RunDebugWindow(ClientHandlers handlers) {
  TfrmModoDebug form(std::move(handlers));
  form.Window()->show();
  return Fl::run();
}
