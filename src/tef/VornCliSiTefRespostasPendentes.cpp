#include "tef/VornCliSiTefRespostasPendentes.h"

#include <string>

#include "util/Exception.h"

namespace {

// Whole cents, halves to even.
Currency RoundToCents(Currency value) {
  const std::int64_t raw = value.Raw();
  std::int64_t cents = raw / 100;
  const std::int64_t rest = raw % 100;
  if (rest > 50 || (rest == 50 && cents % 2 != 0)) {
    ++cents;
  } else if (rest < -50 || (rest == -50 && cents % 2 != 0)) {
    --cents;
  }
  return Currency::FromCents(cents);
}

void CheckIndex(int index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) >= count) {
    throw Exception("Índice de lista fora dos limites (" + std::to_string(index) + ")");
  }
}

}  // namespace

TVornCliSiTefResp& TVornCliSiTefRespostasPendentes::operator[](int index) const {
  CheckIndex(index, fItems.size());
  return *fItems[static_cast<std::size_t>(index)];
}

int TVornCliSiTefRespostasPendentes::Add(std::unique_ptr<TVornCliSiTefResp> resposta) {
  fItems.push_back(std::move(resposta));
  return Count() - 1;
}

void TVornCliSiTefRespostasPendentes::Insert(int index,
                                             std::unique_ptr<TVornCliSiTefResp> resposta) {
  if (index < 0 || index > Count()) {
    throw Exception("Índice de lista fora dos limites (" + std::to_string(index) + ")");
  }
  fItems.insert(fItems.begin() + index, std::move(resposta));
}

void TVornCliSiTefRespostasPendentes::Delete(int index) {
  CheckIndex(index, fItems.size());
  fItems.erase(fItems.begin() + index);
}

Currency TVornCliSiTefRespostasPendentes::GetTotalPago() const {
  Currency total;
  for (const auto& resposta : fItems) {
    total += resposta->ValorTotal() - resposta->Saque();
  }
  return RoundToCents(total);
}

Currency TVornCliSiTefRespostasPendentes::GetTotalDesconto() const {
  Currency total;
  for (const auto& resposta : fItems) {
    total -= resposta->Desconto();
  }
  return RoundToCents(total);
}

Currency TVornCliSiTefRespostasPendentes::GetSaldoRestante() const {
  Currency naoRegistrado;
  for (const auto& resposta : fItems) {
    if (resposta->OrdemPagamento() == 0) {
      naoRegistrado += resposta->ValorTotal() - resposta->Saque() + resposta->Desconto();
    }
  }
  return RoundToCents(fValorTotalAPagar - (fValorDinheiro + RoundToCents(naoRegistrado)));
}
