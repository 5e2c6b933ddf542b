#include "api/TransactionResult.h"

#include <cmath>
#include <sstream>

#include "api/JsonMessage.h"
#include "api/RequestConversions.h"
#include "api/WireJson.h"
#include "platform/Platform.h"
#include "util/DateTime.h"

TJsonMembers& TJsonMembers::AddText(const std::string& name, const std::string& text) {
  return AddRaw(name, WireString(text));
}

TJsonMembers& TJsonMembers::AddRaw(const std::string& name, const std::string& json) {
  fMembers.emplace_back(name, json);
  return *this;
}

bool TJsonMembers::Remove(const std::string& name) {
  const auto before = fMembers.size();
  std::erase_if(fMembers, [&](const auto& member) { return member.first == name; });
  return fMembers.size() != before;
}

bool TJsonMembers::Has(const std::string& name) const {
  for (const auto& member : fMembers) {
    if (member.first == name) {
      return true;
    }
  }
  return false;
}

std::string TJsonMembers::Text() const {
  std::string text = "{";
  for (const auto& [name, json] : fMembers) {
    text += (text.size() > 1 ? "," : "") + WireString(name) + ":" + json;
  }
  return text + "}";
}

std::string TTransactionResult::Text() const {
  TJsonMembers object;
  object.AddText("type", "result").AddText("status", status).AddText("message", message);
  if (transaction_data) {
    std::string items = "[";
    for (const TJsonMembers& item : *transaction_data) {
      items += (items.size() > 1 ? "," : "") + item.Text();
    }
    object.AddRaw("transaction_data", items + "]");
  }
  return object.Text();
}

std::string UtcTransactionDateTime(TDateTime local) {
  const int offsetMinutes = platform::Current().UtcOffsetMinutes(DecodeDateTime(local));
  return FormatDateTime("yyyy'-'mm'-'dd'T'hh':'nn':'ss'Z'", local - offsetMinutes / 1440.0);
}

namespace {

std::string ReceiptCopies(const TVornCliSiTefResp& resp) {
  TWireArray copies;
  const std::vector<std::string>* images[] = {&resp.ImagemComprovante1aVia(),
                                              &resp.ImagemComprovante2aVia()};
  for (int copy = 1; copy <= 2; ++copy) {
    const std::vector<std::string>& lines = *images[copy - 1];
    if (lines.empty()) {
      continue;
    }
    TWireArray data;
    for (const std::string& line : lines) {
      data.Add(line);
    }
    copies.Add(TWireObject().Add("copy_number", copy).Add("data", data));
  }
  return copies.Text();
}

}  // namespace

TJsonMembers BuildTransactionItem(const TVornCliSiTefResp& resp,
                                  const TTransactionItemValues& values) {
  TJsonMembers item;
  item.AddRaw("sale_id", std::to_string(values.saleId));
  if (resp.IndiceFPG_ECF() == "113" || resp.IndiceFPG_ECF() == "114") {
    item.AddText("operation", "reprint");
    item.AddRaw("receipt", ReceiptCopies(resp));
    return item;
  }
  if (values.cancellation) {
    item.AddText("operation", "cancellation");
    item.AddText("operator", resp.Rede());
  }
  const std::string kind = resp.Debito() ? "debit" : resp.Credito() ? "credit" : "pix";
  item.AddText("operation", kind);
  if (kind != "pix") {
    item.AddText("card_number", resp.NumeroCartao());
  }
  item.AddText("operator", resp.Rede())
      .AddText("payer_name", values.payerName)
      .AddText("institution", resp.Instituicao())
      .AddText("payment_method_code", resp.ModalidadePagto())
      .AddText("payment_method_description", resp.ModalidadePagtoDescrita())
      .AddText("hash", resp.CodigoHASH())
      .AddText("nsu_code", resp.NSUComprovante())
      .AddText("authorization_code", resp.CodigoAutorizacaoTransacao())
      .AddText("establishment_code", resp.CodigoEstabelecimento())
      .AddRaw("number_of_installments", std::to_string(resp.QtdParcelas()))
      .AddRaw("transaction_value", CurrencyWireText(resp.ValorTotal()))
      .AddText("transaction_date_time", UtcTransactionDateTime(resp.DataHoraTransacaoHost()))
      .AddText("gateway", "Software Express")
      .AddRaw("receipt", ReceiptCopies(resp));
  return item;
}

std::string BuildReceiptMessage(int via, const std::vector<std::string>& lines) {
  TWireArray data;
  for (const std::string& line : lines) {
    data.Add(line);
  }
  return TWireObject().Add("type", "receipt").Add("copy_number", via).Add("data", data).Text();
}

bool AdicionarCampoTransactionData(TTransactionResult& result, const std::string& name,
                                   const TResultValue& value) {
  if (!result.transaction_data || result.transaction_data->empty()) {
    return false;
  }
  TJsonMembers& first = result.transaction_data->front();
  first.Remove(name);
  struct {
    TJsonMembers& item;
    const std::string& name;
    void operator()(std::nullptr_t) { item.AddRaw(name, "null"); }
    void operator()(std::int64_t number) { item.AddRaw(name, std::to_string(number)); }
    void operator()(double number) {
      std::ostringstream text;
      text.precision(17);
      text << number;
      item.AddRaw(name, std::isfinite(number) ? text.str() : "null");
    }
    void operator()(Currency amount) { item.AddRaw(name, CurrencyWireText(amount)); }
    void operator()(bool flag) { item.AddRaw(name, flag ? "true" : "false"); }
    void operator()(const std::string& text) { item.AddText(name, text); }
  } add{first, name};
  std::visit(add, value);
  return true;
}

std::int64_t CallbackPaymentId(const std::string& body) {
  const auto answer = ParseJsonMessage(body);
  if (!answer || !answer->is_object() || !answer->contains("data")) {
    return 0;
  }
  return StrToInt32(GetValue(*answer, "data"));
}

std::optional<std::string> CallbackMessage(const std::string& body) {
  const auto answer = ParseJsonMessage(body);
  if (!answer || !answer->is_object() || !answer->contains("message")) {
    return std::nullopt;
  }
  return GetValue(*answer, "message");
}

std::string CallbackAddress(std::string& baseUrl, const std::string& token) {
  if (baseUrl.empty() || baseUrl.back() != '/') {
    baseUrl += '/';
  }
  return baseUrl + "v1/sales/tef/callback/" + token;
}
