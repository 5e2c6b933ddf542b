#include "window/ModoDebugFltk.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cstdlib>

namespace {
constexpr double kIdleSeconds = 0.1;

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
