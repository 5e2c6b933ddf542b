#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tef/VornCliSiTefResp.h"
#include "util/Currency.h"

// A JSON object as an ordered list of members whose values are already JSON
// text. Unlike the wire writer's append-only objects, a member can be removed
// (the callback step replaces "payment_id"), and a name may appear twice (the
// cancellation item has two "operation" members).
class TJsonMembers {
 public:
  TJsonMembers& AddText(const std::string& name, const std::string& text);
  TJsonMembers& AddRaw(const std::string& name, const std::string& json);
  // Removes every member of that name; true when there was one.
  bool Remove(const std::string& name);
  bool Has(const std::string& name) const;
  std::string Text() const;

 private:
  std::vector<std::pair<std::string, std::string>> fMembers;
};

// The result message of a transaction: {"type":"result","status":…,
// "message":…} and, for an approved one, "transaction_data" with one item
// per confirmed response.
struct TTransactionResult {
  std::string status;
  std::string message;
  std::optional<std::vector<TJsonMembers>> transaction_data;
  std::string Text() const;
};

// What a result item reads besides the response record: the values of the
// request that started the transaction.
struct TTransactionItemValues {
  std::int32_t saleId = 0;
  std::string payerName;
  // The request was a cancellation of an earlier payment.
  bool cancellation = false;
};

// One "transaction_data" item for a confirmed response: reprints (payment
// index "113" or "114") carry only the sale, the kind and the receipt;
// payments carry the card and host data, the amount as a number and the host
// date-time in UTC.
TJsonMembers BuildTransactionItem(const TVornCliSiTefResp& resp,
                                  const TTransactionItemValues& values);

// The host date-time (local) as "yyyy-mm-ddThh:nn:ssZ" in UTC.
std::string UtcTransactionDateTime(TDateTime local);

// {"type":"receipt","copy_number":via,"data":[lines]}.
std::string BuildReceiptMessage(int via, const std::vector<std::string>& lines);

// A value added to the first result item.
using TResultValue =
    std::variant<std::nullptr_t, std::int64_t, double, Currency, bool, std::string>;

// Replaces (or adds) the member on the first item of "transaction_data";
// false when the result has no items.
bool AdicionarCampoTransactionData(TTransactionResult& result, const std::string& name,
                                   const TResultValue& value);

// The payment id of a successful callback answer: the "data" member of a JSON
// object body as an integer (number or text); 0 when the body is not a JSON
// object or has no "data". Raises EConvertError when "data" is there but is
// not an integer.
std::int64_t CallbackPaymentId(const std::string& body);

// The "message" member of a failed callback answer, when the body is a JSON
// object that has one.
std::optional<std::string> CallbackMessage(const std::string& body);

// The callback address: the base with a final "/" (added when missing) +
// "v1/sales/tef/callback/" + token.
std::string CallbackAddress(std::string& baseUrl, const std::string& token);
