#include "tef/VornCliSiTefRespostasPendentes.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "util/Exception.h"

namespace {

std::unique_ptr<TVornCliSiTefResp> Resposta(std::int64_t valorRaw, std::int64_t saqueRaw = 0,
                                            std::int64_t descontoRaw = 0, int ordem = 0) {
  auto resp = std::make_unique<TVornCliSiTefResp>();
  resp->SetValorTotal(Currency::FromRaw(valorRaw));
  resp->SetSaque(Currency::FromRaw(saqueRaw));
  resp->SetDesconto(Currency::FromRaw(descontoRaw));
  resp->SetOrdemPagamento(ordem);
  return resp;
}

TEST(VornCliSiTefRespostasPendentes, SaldoRestanteCountsUnregisteredPaymentsOnly) {
  TVornCliSiTefRespostasPendentes pendentes;
  pendentes.fValorTotalAPagar = Currency::FromCents(10000);
  pendentes.fValorDinheiro = Currency::FromCents(2000);
  EXPECT_EQ(pendentes.GetSaldoRestante(), Currency::FromCents(8000)) << "no payment yet";

  pendentes.Add(Resposta(500000));
  EXPECT_EQ(pendentes.GetSaldoRestante(), Currency::FromCents(3000)) << "one unregistered payment";

  pendentes[0].SetOrdemPagamento(1);
  EXPECT_EQ(pendentes.GetSaldoRestante(), Currency::FromCents(8000)) << "registered on the printer";

  pendentes.Add(Resposta(300000, 100000, 5000));
  EXPECT_EQ(pendentes.GetSaldoRestante(), Currency::FromCents(5950))
      << "withdrawal taken out, discount added";
}

TEST(VornCliSiTefRespostasPendentes, Totals) {
  struct Row {
    const char* name;
    std::vector<std::array<std::int64_t, 3>> respostas;  // ValorTotal, Saque, Desconto (raw)
    std::int64_t totalPagoCents;
    std::int64_t totalDescontoCents;
  };
  const Row rows[] = {
      {"empty list", {}, 0, 0},
      {"discounts 1.00 and 2.50", {{10000, 0, 10000}, {20000, 0, 25000}}, 300, -350},
      {"withdrawal is not paid", {{1200000, 200000, 0}, {500000, 0, 0}}, 15000, 0},
      {"half a cent rounds to even, down", {{10050, 0, 0}}, 100, 0},
      {"half a cent rounds to even, up", {{10150, 0, 0}}, 102, 0},
      {"negative half cent", {{0, 0, 150}}, 0, -2},
  };
  for (const Row& row : rows) {
    TVornCliSiTefRespostasPendentes pendentes;
    for (const auto& [valor, saque, desconto] : row.respostas) {
      pendentes.Add(Resposta(valor, saque, desconto));
    }
    EXPECT_EQ(pendentes.GetTotalPago(), Currency::FromCents(row.totalPagoCents)) << row.name;
    EXPECT_EQ(pendentes.GetTotalDesconto(), Currency::FromCents(row.totalDescontoCents))
        << row.name;
  }
}

TEST(VornCliSiTefRespostasPendentes, OwnsItsResponses) {
  TVornCliSiTefRespostasPendentes pendentes;
  EXPECT_EQ(pendentes.Add(Resposta(100)), 0);
  pendentes.Insert(0, Resposta(200));
  ASSERT_EQ(pendentes.Count(), 2);
  EXPECT_EQ(pendentes[0].ValorTotal(), Currency::FromRaw(200));
  pendentes.Delete(0);
  EXPECT_EQ(pendentes[0].ValorTotal(), Currency::FromRaw(100));
  EXPECT_THROW(pendentes[1], Exception);
  EXPECT_THROW(pendentes.Insert(3, Resposta(1)), Exception);
  pendentes.Clear();
  EXPECT_EQ(pendentes.Count(), 0);
}

}  // namespace
