#include "tef/VornCliSiTefReq.h"

#include <gtest/gtest.h>

#include <functional>

#include "FakePlatform.h"

namespace {

TDateTime Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  TDateTime moment = 0;
  EXPECT_TRUE(TryEncodeDateTime({year, month, day, hour, minute, second, 0}, moment));
  return moment;
}

std::vector<AnsiString> Lines(std::initializer_list<const char*> lines) {
  std::vector<AnsiString> result;
  for (const char* line : lines) {
    result.emplace_back(line);
  }
  return result;
}

TEST(VornCliSiTefReq, SettersWriteTheirFields) {
  FakePlatform os;
  struct Row {
    const char* name;
    std::function<void(TVornCliSiTefReq&)> set;
    std::vector<AnsiString> lines;
  };
  const Row rows[] = {
      {"header", [](auto& r) { r.SetHeader("CRT"); }, Lines({"000-000 = CRT"})},
      {"ID", [](auto& r) { r.SetID(42); }, Lines({"001-000 = 42"})},
      {"ID 0 removes the field",
       [](auto& r) {
         r.SetID(7);
         r.SetID(0);
       },
       Lines({})},
      {"linked document keeps digits", [](auto& r) { r.SetDocumentoVinculado("12.34-5"); },
       Lines({"002-000 = 12345"})},
      {"amount in whole cents", [](auto& r) { r.SetValorTotal(Currency::FromCents(1250)); },
       Lines({"003-000 = 1250"})},
      {"small amount", [](auto& r) { r.SetValorTotal(Currency::FromCents(5)); },
       Lines({"003-000 = 005"})},
      {"zero amount removes the field", [](auto& r) { r.SetValorTotal(Currency()); }, Lines({})},
      {"currency code 0 is written", [](auto& r) { r.SetMoeda(0); }, Lines({"004-000 = 0"})},
      {"currency code", [](auto& r) { r.SetMoeda(986); }, Lines({"004-000 = 986"})},
      {"person type", [](auto& r) { r.SetTipoPessoa('J'); }, Lines({"006-000 = J"})},
      {"cheque date", [](auto& r) { r.SetDataCheque(Moment(2024, 12, 31)); },
       Lines({"008-000 = 31122024"})},
      {"NSU keeps digits", [](auto& r) { r.SetNSU(" 00-123 "); }, Lines({"012-000 = 00123"})},
      {"receipt date and time",
       [](auto& r) { r.SetDataHoraTransacaoComprovante(Moment(2024, 1, 31, 23, 5, 9)); },
       Lines({"022-000 = 31012024", "023-000 = 230509"})},
      {"text in the ANSI code page", [](auto& r) { r.SetDocumentoPessoa("José"); },
       Lines({"007-000 = Jos\xE9"})},
      {"bank fields",
       [](auto& r) {
         r.SetCMC7("c");
         r.SetRede("r");
         r.SetFinalizacao("f");
         r.SetBanco("001");
         r.SetAgencia("1");
         r.SetAgenciaDC("2");
         r.SetConta("3");
         r.SetContaDC("4");
         r.SetCheque("5");
         r.SetChequeDC("6");
       },
       Lines({"005-000 = c", "010-000 = r", "027-000 = f", "033-000 = 001", "034-000 = 1",
              "035-000 = 2", "036-000 = 3", "037-000 = 4", "038-000 = 5", "039-000 = 6"})},
      {"an empty text removes the field",
       [](auto& r) {
         r.SetRede("x");
         r.SetRede("");
       },
       Lines({})},
      {"further fields", [](auto& r) { r.GravaInformacao(701, 0, "Aplicação"); },
       Lines({"701-000 = Aplica\xE7\xE3o"})},
  };
  for (const Row& row : rows) {
    TVornCliSiTefReq req;
    row.set(req);
    EXPECT_EQ(req.Conteudo().Linhas(), row.lines) << row.name;
  }
}

TEST(VornCliSiTefReq, PropertiesKeepWhatWasWritten) {
  TVornCliSiTefReq req;
  req.SetDocumentoVinculado("12.34-5");
  req.SetNSU("a1b2");
  req.SetValorTotal(Currency::FromCents(1999));
  EXPECT_EQ(req.DocumentoVinculado(), "12345");
  EXPECT_EQ(req.NSU(), "12");
  EXPECT_EQ(req.ValorTotal(), Currency::FromCents(1999));
}

TEST(VornCliSiTefReq, ClearResetsContentIdAndHeaderOnly) {
  TVornCliSiTefReq req;
  req.SetHeader("CRT");
  req.SetID(5);
  req.SetRede("REDE");
  req.SetMoeda(986);
  req.Clear();
  EXPECT_EQ(req.Conteudo().GetCount(), 0);
  EXPECT_EQ(req.Header(), "");
  EXPECT_EQ(req.ID(), 0);
  EXPECT_EQ(req.Rede(), "REDE");
  EXPECT_EQ(req.Moeda(), 986);
}

}  // namespace
