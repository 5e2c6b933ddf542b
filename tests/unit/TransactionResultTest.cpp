#include "api/TransactionResult.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "api/DmSitef.h"
#include "api/RequestConversions.h"
#include "util/Exception.h"

namespace {

std::unique_ptr<TVornCliSiTefResp> Response(const std::string& kind) {
  auto resp = std::make_unique<TVornCliSiTefResp>();
  resp->SetDebito(kind == "debit");
  resp->SetCredito(kind == "credit");
  resp->SetNumeroCartao("411111******1111");
  resp->SetRede("CIELO");
  resp->SetInstituicao("VISA");
  resp->SetModalidadePagto("0202");
  resp->SetModalidadePagtoDescrita("Credito parcelado");
  resp->SetCodigoHASH("H1");
  resp->SetNSUComprovante("000123");
  resp->SetCodigoAutorizacaoTransacao("AUT123");
  resp->SetCodigoEstabelecimento("987");
  resp->SetQtdParcelas(3);
  resp->SetValorTotal(Currency::FromRaw(123400));
  TDateTime when = 0;
  TryEncodeDateTime({2024, 3, 5, 14, 7, 9, 0}, when);
  resp->SetDataHoraTransacaoHost(when);
  resp->ImagemComprovante1aVia() = {"LOJA", "VIA \"CLIENTE\""};
  return resp;
}

TEST(TransactionResult, ItemsHoldTheirMembersInOrder) {
  FakePlatform os;
  os.SetUtcOffsetMinutes(-180);
  const std::string tail =
      R"("institution":"VISA","payment_method_code":"0202",)"
      R"("payment_method_description":"Credito parcelado","hash":"H1","nsu_code":"000123",)"
      R"("authorization_code":"AUT123","establishment_code":"987","number_of_installments":3,)"
      R"("transaction_value":12.34,"transaction_date_time":"2024-03-05T17:07:09Z",)"
      R"("gateway":"Software Express","receipt":[{"copy_number":1,"data":["LOJA","VIA \"CLIENTE\""]}]})";
  struct Case {
    const char* name;
    std::string kind;
    std::string indice;
    TTransactionItemValues values;
    std::string expected;
  };
  const Case cases[] = {
      {"credit payment",
       "credit",
       "02",
       {4711, "Maria", false},
       R"({"sale_id":4711,"operation":"credit","card_number":"411111******1111",)"
       R"("operator":"CIELO","payer_name":"Maria",)" +
           tail},
      {"debit payment",
       "debit",
       "02",
       {1, "Jo\xC3\xA3o", false},
       R"({"sale_id":1,"operation":"debit","card_number":"411111******1111",)"
       R"("operator":"CIELO","payer_name":"Jo\u00E3o",)" +
           tail},
      {"pix has no card number",
       "pix",
       "02",
       {1, "", false},
       R"({"sale_id":1,"operation":"pix","operator":"CIELO","payer_name":"",)" + tail},
      {"cancellation names its operator twice",
       "credit",
       "02",
       {-5, "", true},
       R"({"sale_id":-5,"operation":"cancellation","operator":"CIELO","operation":"credit",)"
       R"("card_number":"411111******1111","operator":"CIELO","payer_name":"",)" +
           tail},
      {"reprint 114",
       "credit",
       "114",
       {9, "Maria", true},
       R"({"sale_id":9,"operation":"reprint","receipt":[{"copy_number":1,"data":["LOJA","VIA \"CLIENTE\""]}]})"},
      {"reprint 113",
       "pix",
       "113",
       {9, "", false},
       R"({"sale_id":9,"operation":"reprint","receipt":[{"copy_number":1,"data":["LOJA","VIA \"CLIENTE\""]}]})"},
  };
  for (const Case& c : cases) {
    auto resp = Response(c.kind);
    resp->SetIndiceFPG_ECF(c.indice);
    EXPECT_EQ(BuildTransactionItem(*resp, c.values).Text(), c.expected) << c.name;
  }
}

TEST(TransactionResult, ReceiptCopiesAndAmounts) {
  FakePlatform os;
  struct Case {
    const char* name;
    std::vector<std::string> copy1, copy2;
    std::int64_t raw;
    std::string receipt, value;
  };
  const Case cases[] = {
      {"no copies", {}, {}, 1000000, "[]", "100"},
      {"second copy only", {}, {"B"}, 105000, R"([{"copy_number":2,"data":["B"]}])", "10.5"},
      {"both copies",
       {"A"},
       {"B"},
       1,
       R"([{"copy_number":1,"data":["A"]},{"copy_number":2,"data":["B"]}])",
       "0.0001"},
  };
  for (const Case& c : cases) {
    TVornCliSiTefResp resp;
    resp.ImagemComprovante1aVia() = c.copy1;
    resp.ImagemComprovante2aVia() = c.copy2;
    resp.SetValorTotal(Currency::FromRaw(c.raw));
    const std::string text = BuildTransactionItem(resp, {}).Text();
    EXPECT_NE(text.find("\"receipt\":" + c.receipt), std::string::npos) << c.name << ": " << text;
    EXPECT_NE(text.find("\"transaction_value\":" + c.value + ","), std::string::npos)
        << c.name << ": " << text;
  }
}

TEST(TransactionResult, UtcDateTimeCrossesMidnight) {
  FakePlatform os;
  os.SetUtcOffsetMinutes(-180);
  TDateTime late = 0;
  TryEncodeDateTime({2024, 12, 31, 22, 30, 0, 0}, late);
  EXPECT_EQ(UtcTransactionDateTime(late), "2025-01-01T01:30:00Z");
}

TEST(TransactionResult, ResultAndReceiptMessages) {
  TTransactionResult failed{"canceled", "Transação TEF não realizada.", std::nullopt};
  EXPECT_EQ(
      failed.Text(),
      R"({"type":"result","status":"canceled","message":"Transa\u00E7\u00E3o TEF n\u00E3o realizada."})");
  TTransactionResult empty{"approved", "ok", std::vector<TJsonMembers>{}};
  EXPECT_EQ(empty.Text(),
            R"({"type":"result","status":"approved","message":"ok","transaction_data":[]})");
  EXPECT_FALSE(AdicionarCampoTransactionData(empty, "payment_id", std::int64_t{1}));
  EXPECT_FALSE(AdicionarCampoTransactionData(failed, "payment_id", std::int64_t{1}));
  EXPECT_EQ(BuildReceiptMessage(2, {"a/b", ""}),
            R"({"type":"receipt","copy_number":2,"data":["a\/b",""]})");
}

TEST(TransactionResult, AddedMembersReplaceOnTheFirstItemOnly) {
  TTransactionResult result{"approved", "ok", std::vector<TJsonMembers>(2)};
  (*result.transaction_data)[0].AddRaw("sale_id", "1").AddRaw("payment_id", "5");
  (*result.transaction_data)[1].AddRaw("sale_id", "1");
  struct Case {
    const char* name;
    TResultValue value;
    std::string json;
  };
  const Case cases[] = {
      {"integer", std::int64_t{77}, "77"},
      {"null", nullptr, "null"},
      {"boolean", true, "true"},
      {"text", std::string("x\"y"), R"("x\"y")"},
      {"currency", Currency::FromRaw(105000), "10.5"},
      {"double", 2.5, "2.5"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(AdicionarCampoTransactionData(result, "payment_id", c.value)) << c.name;
    EXPECT_EQ(result.Text(), R"({"type":"result","status":"approved","message":"ok",)"
                             R"("transaction_data":[{"sale_id":1,"payment_id":)" +
                                 c.json + R"(},{"sale_id":1}]})")
        << c.name;
  }
}

TEST(TransactionResult, CallbackAnswers) {
  struct Case {
    const char* name;
    std::string body;
    std::int64_t paymentId;
  };
  const Case cases[] = {
      {"number", R"({"data":77})", 77},
      {"text", R"({"data":"77"})", 77},
      {"empty body", "", 0},
      {"no data member", R"({"id":1})", 0},
      {"not an object", "[77]", 0},
      {"not JSON", "<html>", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CallbackPaymentId(c.body), c.paymentId) << c.name;
  }
  EXPECT_THROW(CallbackPaymentId(R"({"data":"abc"})"), EConvertError);
  EXPECT_EQ(CallbackMessage(R"({"message":"Falha"})").value_or("-"), "Falha");
  EXPECT_FALSE(CallbackMessage("Service Unavailable").has_value());
}

TEST(TransactionResult, CallbackAddressGetsOneSlash) {
  struct Case {
    std::string base, stored;
  };
  const Case cases[] = {{"https://a.example/api", "https://a.example/api/"},
                        {"https://a.example/api/", "https://a.example/api/"}};
  for (const Case& c : cases) {
    std::string base = c.base;
    EXPECT_EQ(CallbackAddress(base, "T"), c.stored + "v1/sales/tef/callback/T") << c.base;
    EXPECT_EQ(base, c.stored) << c.base;
  }
}

TEST(TransactionRequest, DateConversion) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"2024-03-05 14:07:09", "05/03/2024 14:07:09"},
      {"2024-03-05", "05/03/2024"},
      {"2024-03-05 14:07:09.123", "05/03/2024 14:07:09"},
      {"2024-03-05 14:07", "05/03/2024 Formato de hora inválido"},
      {"2024-03-05T14:07:09", "Formato de data inválido"},
      {"05/03/2024", "24//2/05/0"},
      {"2024-03-05  14:07:09", "05/03/2024 Formato de hora inválido"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TDmSitef::ConverterData(c.in), c.out) << c.in;
  }
}

TEST(TransactionRequest, RegionalConversions) {
  FakePlatform os;
  struct Case {
    std::string text;
    std::int64_t raw;  // -1: refused
  };
  const Case cases[] = {{"12,34", 123400}, {" 10 ", 100000}, {"-0,5", -5000},
                        {"0,00005", 0},    {"0,00015", 2},   {"12.34", -1},
                        {"1.234,50", -1},  {"", -1},         {"12,", 120000}};
  for (const Case& c : cases) {
    if (c.raw == -1) {
      EXPECT_THROW(StrToCurrRegional(c.text), EConvertError) << c.text;
    } else {
      EXPECT_EQ(StrToCurrRegional(c.text).Raw(), c.raw) << c.text;
    }
  }
  TDateTime expected = 0;
  TryEncodeDateTime({2024, 3, 5, 14, 7, 9, 0}, expected);
  EXPECT_DOUBLE_EQ(StrToDateTimeRegional("05/03/2024 14:07:09"), expected);
  for (const std::string bad : {"31/02/2024", "24//2/05/0", "05/03/2024 Formato de hora inválido",
                                "Formato de data inválido"}) {
    EXPECT_THROW(StrToDateTimeRegional(bad), EConvertError) << bad;
  }
  EXPECT_EQ(StrToInt32(" -12 "), -12);
  EXPECT_THROW(StrToInt32("1.5"), EConvertError);
}

}  // namespace
