#pragma once

#include <memory>
#include <vector>

#include "tef/VornCliSiTefResp.h"
#include "util/Currency.h"

// The responses of one sale that are not confirmed yet, with the sums that
// drive a payment with several cards. The list owns its responses: removing
// or clearing frees them.
class TVornCliSiTefRespostasPendentes {
 public:
  int Count() const { return static_cast<int>(fItems.size()); }
  // Raises Exception for an index outside the list.
  TVornCliSiTefResp& operator[](int index) const;
  // Returns the index of the new response.
  int Add(std::unique_ptr<TVornCliSiTefResp> resposta);
  void Insert(int index, std::unique_ptr<TVornCliSiTefResp> resposta);
  void Delete(int index);
  void Clear() { fItems.clear(); }

  // Sum of ValorTotal - Saque over all responses, in whole cents.
  Currency GetTotalPago() const;
  // Minus the sum of Desconto over all responses (0 or negative), in whole cents.
  Currency GetTotalDesconto() const;
  // fValorTotalAPagar - (fValorDinheiro + the sum of ValorTotal - Saque +
  // Desconto over the responses not yet registered on the fiscal printer,
  // OrdemPagamento 0), in whole cents.
  Currency GetSaldoRestante() const;

  // The payment being made that is not yet registered on the fiscal printer.
  Currency fSaldoAPagar;
  // Total due for the sale, set by the host before the first payment.
  Currency fValorTotalAPagar;
  // Part of the total paid by other means (cash), set by the host.
  Currency fValorDinheiro;

 private:
  std::vector<std::unique_ptr<TVornCliSiTefResp>> fItems;
};
