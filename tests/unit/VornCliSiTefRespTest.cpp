#include "tef/VornCliSiTefResp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "FakePlatform.h"
#include "tef/VornCliSiTefErros.h"
#include "tef/VornCliSiTefRespCliSiTef.h"

namespace {

TDateTime Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  TDateTime moment = 0;
  EXPECT_TRUE(TryEncodeDateTime({year, month, day, hour, minute, second, 0}, moment));
  return moment;
}

using Receipt = std::vector<std::string>;

// A response file written with the given bytes and read back.
class VornCliSiTefRespTXTTest : public ::testing::Test {
 protected:
  VornCliSiTefRespTXTTest() { os_.SetNow({2025, 1, 1, 10, 0, 0, 0}); }

  std::string File(const std::string& bytes) {
    const std::string name = dir_.Path() + "resp" + std::to_string(++files_) + ".txt";
    std::ofstream(name, std::ios::binary) << bytes;
    return name;
  }

  std::unique_ptr<TVornCliSiTefRespTXT> Read(const std::string& bytes) {
    auto resp = std::make_unique<TVornCliSiTefRespTXT>();
    resp->LeArquivo(File(bytes));
    return resp;
  }

  FakePlatform os_;
  TempDir dir_;
  int files_ = 0;
};

TEST_F(VornCliSiTefRespTXTTest, ApprovalRule) {
  struct Row {
    const char* content;
    bool approved;
  };
  const Row rows[] = {
      {"009-000 = 0\r\n", true},    {"009-000 = 00\r\n", true},  {"009-000 = P1\r\n", true},
      {"009-000 =  p1 \r\n", true}, {"009-000 = 05\r\n", false}, {"009-000 = P2\r\n", false},
      {"009-000 = 0A\r\n", false},  {"009-000 = \r\n", false},   {"000-000 = CRT\r\n", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Read(row.content)->GetTransacaoAprovada(), row.approved) << row.content;
  }
  EXPECT_TRUE(TVornCliSiTefResp().GetTransacaoAprovada()) << "the base record approves";
}

TEST_F(VornCliSiTefRespTXTTest, MapsFields) {
  const auto resp = Read(
      "000-000 = CRT\r\n001-000 = 42\r\n002-000 = 123\r\n003-000 = 12,34\r\n004-000 = 0\r\n"
      "005-000 = cmc7\r\n006-000 = J\r\n007-000 = doc\r\n008-000 = 31122024\r\n"
      "009-000 = 0\r\n010-000 = REDE\r\n011-000 = 10\r\n012-000 = 999\r\n013-000 = AUT\r\n"
      "014-000 = 7\r\n015-000 = 3112235959\r\n016-000 = 0101000001\r\n"
      "022-000 = 31012024\r\n023-000 = 230509\r\n024-000 = 01022024\r\n025-000 = 888\r\n"
      "026-000 = 1501120000\r\n027-000 = FIN\r\n030-000 = oper\r\n031-000 = cli\r\n"
      "032-000 = auth\r\n033-000 = 001\r\n034-000 = 1234\r\n035-000 = 5\r\n036-000 = 678\r\n"
      "037-000 = 9\r\n038-000 = 000123\r\n039-000 = 4\r\n040-000 = ADMIN\r\n"
      "707-000 = 1500\r\n708-000 = 2000\r\n709-000 = 250\r\n"
      "899-001 = s\r\n899-002 = 03\r\n899-003 = 2\r\n999-999 = 0\r\n");
  EXPECT_EQ(resp->Header(), "CRT");
  EXPECT_EQ(resp->ID(), 42);
  EXPECT_EQ(resp->DocumentoVinculado(), "123");
  EXPECT_EQ(resp->ValorTotal(), Currency::FromCents(1234));
  EXPECT_EQ(resp->CMC7(), "cmc7");
  EXPECT_EQ(resp->TipoPessoa(), 'J');
  EXPECT_EQ(resp->DocumentoPessoa(), "doc");
  EXPECT_EQ(resp->DataCheque(), Moment(2024, 12, 31));
  EXPECT_EQ(resp->StatusTransacao(), "0");
  EXPECT_EQ(resp->Rede(), "REDE");
  EXPECT_EQ(resp->TipoTransacao(), 10);
  EXPECT_EQ(resp->NSU(), "999");
  EXPECT_EQ(resp->CodigoAutorizacaoTransacao(), "AUT");
  EXPECT_EQ(resp->NumeroLoteTransacao(), 7);
  EXPECT_NEAR(resp->DataHoraTransacaoHost(), Moment(2025, 12, 31, 23, 59, 59), 1e-9);
  EXPECT_NEAR(resp->DataHoraTransacaoLocal(), Moment(2025, 1, 1, 0, 0, 1), 1e-9);
  EXPECT_NEAR(resp->DataHoraTransacaoComprovante(), Moment(2024, 1, 31, 23, 5, 9), 1e-9);
  EXPECT_EQ(resp->DataPreDatado(), Moment(2024, 2, 1));
  EXPECT_EQ(resp->NSUTransacaoCancelada(), "888");
  EXPECT_NEAR(resp->DataHoraTransacaoCancelada(), Moment(2025, 1, 15, 12), 1e-9);
  EXPECT_EQ(resp->Finalizacao(), "FIN");
  EXPECT_EQ(resp->TextoEspecialOperador(), "oper");
  EXPECT_EQ(resp->TextoEspecialCliente(), "cli");
  EXPECT_EQ(resp->Autenticacao(), "auth");
  EXPECT_EQ(resp->Banco() + resp->Agencia() + resp->AgenciaDC() + resp->Conta() + resp->ContaDC() +
                resp->Cheque() + resp->ChequeDC(),
            "001123456789000123"
            "4");
  EXPECT_EQ(resp->NomeAdministradora(), "ADMIN");
  EXPECT_EQ(resp->ValorOriginal(), Currency::FromCents(1500));
  EXPECT_EQ(resp->Saque(), Currency::FromCents(2000));
  EXPECT_EQ(resp->Desconto(), Currency::FromCents(250));
  EXPECT_TRUE(resp->CNFEnviado());
  EXPECT_EQ(resp->IndiceFPG_ECF(), "03");
  EXPECT_EQ(resp->OrdemPagamento(), 2);
  EXPECT_EQ(resp->Trailer(), "0");
  EXPECT_TRUE(resp->GetTrailerOK());
}

TEST_F(VornCliSiTefRespTXTTest, InstalmentFinancing) {
  struct Row {
    const char* content;
    TVornCliSiTefRespParceladoPor parceladoPor;
  };
  const Row rows[] = {
      {"017-000 = 0\r\n", parcLoja},
      {"017-000 = 1\r\n", parcADM},
      {"017-000 = 2\r\n", parcNenhum},
      {"", parcNenhum},
      {"011-000 = 40\r\n017-000 = 0\r\n", parcADM},  // type 40 is financed by the administrator
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Read(row.content)->ParceladoPor(), row.parceladoPor) << row.content;
  }
}

TEST_F(VornCliSiTefRespTXTTest, TransactionTypes) {
  struct Row {
    int tipo;
    bool debito;
    bool credito;
    TVornCliSiTefRespTipoOperacao operacao;
  };
  const Row rows[] = {
      {10, false, true, opAvista},    {11, false, true, opParcelado},
      {12, false, true, opParcelado}, {20, true, false, opAvista},
      {21, true, false, opPreDatado}, {22, true, false, opParcelado},
      {23, true, false, opAvista},    {24, true, false, opPreDatado},
      {25, true, false, opPreDatado}, {40, true, false, opParcelado},
      {13, false, false, opOutras},   {26, false, false, opOutras},
      {0, false, false, opOutras},
  };
  for (const Row& row : rows) {
    const auto resp = Read("011-000 = " + std::to_string(row.tipo) + "\r\n");
    EXPECT_EQ(resp->Debito(), row.debito) << row.tipo;
    EXPECT_EQ(resp->Credito(), row.credito) << row.tipo;
    EXPECT_EQ(resp->TipoOperacao(), row.operacao) << row.tipo;
  }
}

TEST(VornCliSiTefResp, ReceiptLineCleanUp) {
  struct Row {
    const char* stored;
    const char* shown;
  };
  const Row rows[] = {
      {"\"TOTAL: 10,00\"", "TOTAL: 10,00"},
      {"TOTAL\"", "TOTAL"},
      {"\"TOTAL", "TOTAL"},
      {"a \"b\" c", "a \"b\" c"},
      {"\"", ""},
      {"\"\"", ""},
      {"", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(AjustaLinhaImagemComprovante(row.stored), row.shown) << row.stored;
  }
}

TEST_F(VornCliSiTefRespTXTTest, ReceiptCopies) {
  struct Row {
    const char* name;
    std::string content;
    Receipt copy1;
    Receipt copy2;
    int lineCount;
  };
  const Row rows[] = {
      {"one receipt gives two identical copies",
       "028-000 = 2\r\n029-001 = \"LINE 1\"\r\n029-002 = LINE 2\"\r\n", Receipt{"LINE 1", "LINE 2"},
       Receipt{"LINE 1", "LINE 2"}, 2},
      {"a second copy of its own",
       "028-000 = 1\r\n029-001 = \"A\"\r\n714-000 = 1\r\n715-001 = \"B\"\r\n", Receipt{"A"},
       Receipt{"B"}, 1},
      {"the short receipt wins over 028/029 and 712/713",
       "028-000 = 1\r\n029-001 = LONG\r\n710-000 = 1\r\n711-001 = SHORT\r\n712-000 = 1\r\n"
       "713-001 = OTHER\r\n",
       Receipt{"SHORT"}, Receipt{"SHORT"}, 1},
      {"712/713 replace 028/029 without a short receipt",
       "028-000 = 1\r\n029-001 = LONG\r\n712-000 = 1\r\n713-001 = OTHER\r\n", Receipt{"OTHER"},
       Receipt{"OTHER"}, 1},
      {"lines in sequence order", "029-010 = C\r\n029-002 = B\r\n029-001 = A\r\n",
       Receipt{"A", "B", "C"}, Receipt{"A", "B", "C"}, 0},
      {"no receipt", "000-000 = CRT\r\n", Receipt{}, Receipt{}, 0},
  };
  for (const Row& row : rows) {
    const auto resp = Read(row.content);
    EXPECT_EQ(resp->ImagemComprovante1aVia(), row.copy1) << row.name;
    EXPECT_EQ(resp->ImagemComprovante2aVia(), row.copy2) << row.name;
    EXPECT_EQ(resp->QtdLinhasComprovante(), row.lineCount) << row.name;
  }
}

TEST_F(VornCliSiTefRespTXTTest, Instalments) {
  struct Parcela {
    TDateTime vencimento;
    std::int64_t cents;
    std::string nsu;
  };
  struct Row {
    const char* name;
    std::string content;
    std::vector<Parcela> parcelas;
  };
  const Row rows[] = {
      {"count without instalment lines", "018-000 = 3\r\n", {}},
      {"instalment lines without count", "019-001 = 10022025\r\n", {}},
      {"missing instalments read zero and a blank",
       "018-000 = 3\r\n019-001 = 10022025\r\n020-001 = 5000\r\n021-001 = 77\r\n"
       "020-003 = 2500\r\n",
       {{Moment(2025, 2, 10), 5000, "77"}, {0, 0, " "}, {0, 2500, " "}}},
  };
  for (const Row& row : rows) {
    const auto resp = Read(row.content);
    ASSERT_EQ(resp->Parcelas().Count(), static_cast<int>(row.parcelas.size())) << row.name;
    for (std::size_t i = 0; i < row.parcelas.size(); ++i) {
      const TVornCliSiTefRespParcela& parcela = resp->Parcelas()[static_cast<int>(i)];
      EXPECT_EQ(parcela.fsVencimentoParcela, row.parcelas[i].vencimento) << row.name << " " << i;
      EXPECT_EQ(parcela.fsValorParcela, Currency::FromCents(row.parcelas[i].cents))
          << row.name << " " << i;
      EXPECT_EQ(parcela.fsNSUParcela, row.parcelas[i].nsu) << row.name << " " << i;
    }
  }
}

TEST_F(VornCliSiTefRespTXTTest, InstalmentCountIsBoundedByTheKeyWidth) {
  // Sequences have three digits, so a larger count cannot describe more
  // instalments; it must not build millions of empty ones.
  const auto resp = Read("018-000 = 2000000000\r\n019-001 = 10022025\r\n");
  EXPECT_EQ(resp->QtdParcelas(), 2000000000);
  EXPECT_EQ(resp->Parcelas().Count(), 999);

  // The same bound for the values the CliSiTef library hands over.
  TVornCliSiTefRespCliSiTef clisitef;
  clisitef.GravaInformacao(505, "2000000000");
  clisitef.GravaInformacao(141, "10022025");
  clisitef.ConteudoToProperty();
  EXPECT_EQ(clisitef.QtdParcelas(), 2000000000);
  EXPECT_EQ(clisitef.Parcelas().Count(), 999);
}

TEST_F(VornCliSiTefRespTXTTest, MalformedInputMapsToZerosAndEmpties) {
  static const char kBinary[] = "\x00\xFF\x80 = \x01\x02\r\n\xFE\xFE\xFE-\xFF\xFF = \xFF";
  const std::string rows[] = {
      "no separator at all\r\n",
      "029001 no dash\r\n",
      "ABC-DEF = 12\r\n",
      "0A3-000 = 1234\r\n",
      "003-000 = 99999999999999999999\r\n001-000 = 99999999999\r\n",
      "",
      std::string(kBinary, sizeof kBinary - 1),
      " = = = \r\n=\r\n = \r\n",
      "003-000 = 12a\r\n008-000 = 99999999\r\n015-000 = abcdefghij\r\n",
      "99999-000 = 5\r\n65539-000 = 1234\r\n",
      "-01-000 = 5\r\n",
  };
  for (const std::string& content : rows) {
    std::unique_ptr<TVornCliSiTefRespTXT> resp;
    ASSERT_NO_THROW(resp = Read(content)) << content;
    EXPECT_EQ(resp->Header(), "") << content;
    EXPECT_EQ(resp->ID(), 0) << content;
    EXPECT_EQ(resp->ValorTotal(), Currency()) << content;
    EXPECT_EQ(resp->DataCheque(), 0.0) << content;
    EXPECT_EQ(resp->DataHoraTransacaoHost(), 0.0) << content;
    EXPECT_EQ(resp->StatusTransacao(), "") << content;
    EXPECT_FALSE(resp->GetTransacaoAprovada()) << content;
    EXPECT_TRUE(resp->ImagemComprovante1aVia().empty()) << content;
    EXPECT_EQ(resp->Parcelas().Count(), 0) << content;
  }
}

TEST_F(VornCliSiTefRespTXTTest, KeylessLineDoesNotWipeTheHeader) {
  const auto resp = Read("000-000 = CRT\r\ngarbage line\r\nXYZ = 1\r\n");
  EXPECT_EQ(resp->Header(), "CRT");
}

TEST_F(VornCliSiTefRespTXTTest, LargeRecordLoadsAndMaps) {
  std::string content = "000-000 = CRT\r\n018-000 = 999\r\n028-000 = 999\r\n";
  for (int sequencia = 1; sequencia <= 999; ++sequencia) {
    const std::string seq = std::string(sequencia < 10    ? "00"
                                        : sequencia < 100 ? "0"
                                                          : "") +
                            std::to_string(sequencia);
    content += "019-" + seq + " = 10022025\r\n020-" + seq + " = 100\r\n021-" + seq + " = " + seq +
               "\r\n029-" + seq + " = \"LINE " + seq + "\"\r\n715-" + seq + " = V2\r\n";
  }
  // Filler fields up to 10,000 lines.
  for (int identificacao = 1000; identificacao < 1000 + 10000 - 3 - 5 * 999; ++identificacao) {
    content += std::to_string(identificacao) + "-000 = filler\r\n";
  }
  const auto resp = Read(content);
  EXPECT_EQ(resp->Conteudo().GetCount(), 10000);
  EXPECT_EQ(resp->Header(), "CRT");
  EXPECT_EQ(resp->Parcelas().Count(), 999);
  EXPECT_EQ(resp->Parcelas()[998].fsNSUParcela, "999");
  EXPECT_EQ(resp->ImagemComprovante1aVia().size(), 999u);
  EXPECT_EQ(resp->ImagemComprovante1aVia().back(), "LINE 999");
  EXPECT_EQ(resp->ImagemComprovante2aVia().size(), 999u);
}

TEST_F(VornCliSiTefRespTXTTest, MissingFileLeavesTheRecordCleared) {
  TVornCliSiTefRespTXT resp;
  resp.LeArquivo(File("000-000 = CRT\r\n028-000 = 1\r\n029-001 = X\r\n"));
  EXPECT_THROW(resp.LeArquivo(dir_.Path() + "absent.txt"), EVornCliSiTefArquivo);
  EXPECT_EQ(resp.Header(), "");
  EXPECT_EQ(resp.Conteudo().GetCount(), 0);
  EXPECT_TRUE(resp.ImagemComprovante1aVia().empty());
}

TEST(VornCliSiTefResp, BookkeepingSettersWriteTheContent) {
  TVornCliSiTefResp resp;
  resp.SetCNFEnviado(false);
  EXPECT_EQ(resp.Conteudo().Linhas(), std::vector<AnsiString>{"899-001 = N"});
  resp.SetCNFEnviado(true);
  resp.SetIndiceFPG_ECF("03");
  resp.SetOrdemPagamento(0);
  resp.SetArqBackup("  /tef/VornCliSiTef_CliSiTef_001.tef ");
  EXPECT_EQ(resp.Conteudo().Linhas(),
            (std::vector<AnsiString>{"899-001 = S", "899-002 = 03", "899-003 = 0"}));
  EXPECT_TRUE(resp.CNFEnviado());
  EXPECT_EQ(resp.IndiceFPG_ECF(), "03");
  EXPECT_EQ(resp.ArqBackup(), "/tef/VornCliSiTef_CliSiTef_001.tef");
}

TEST(VornCliSiTefResp, ClearResetsOnlyTheMarkedProperties) {
  TVornCliSiTefResp resp;
  resp.SetHeader("CRT");
  resp.SetValorTotal(Currency::FromCents(100));
  resp.SetTipoPessoa('F');
  resp.SetParceladoPor(parcADM);
  resp.SetCNFEnviado(true);
  resp.SetArqBackup("file");
  resp.SetTipoGP(gpCliSiTef);
  resp.SetPendente(true);
  resp.SetDataVencimento(1.0);
  resp.SetBandeira("VISA");
  resp.fMsgImpressao = true;
  resp.ImagemComprovante1aVia().push_back("line");
  resp.Parcelas().Add(std::make_unique<TVornCliSiTefRespParcela>());

  resp.Clear();
  EXPECT_EQ(resp.Header(), "");
  EXPECT_EQ(resp.ValorTotal(), Currency());
  EXPECT_EQ(resp.TipoPessoa(), ' ');
  EXPECT_EQ(resp.ParceladoPor(), parcNenhum);
  EXPECT_FALSE(resp.CNFEnviado());
  EXPECT_EQ(resp.ArqBackup(), "");
  EXPECT_EQ(resp.Conteudo().GetCount(), 0);
  EXPECT_TRUE(resp.ImagemComprovante1aVia().empty());
  EXPECT_EQ(resp.Parcelas().Count(), 0);
  EXPECT_EQ(resp.TipoGP(), gpCliSiTef);
  EXPECT_TRUE(resp.Pendente());
  EXPECT_EQ(resp.DataVencimento(), 1.0);
  EXPECT_EQ(resp.Bandeira(), "VISA");
  EXPECT_TRUE(resp.fMsgImpressao);
}

TEST_F(VornCliSiTefRespTXTTest, AssignCopiesContentBackupNameAndKindOnly) {
  const auto source = Read("000-000 = CRT\r\n003-000 = 5000\r\n899-001 = S\r\n");
  source->SetArqBackup("backup.tef");
  source->SetTipoGP(gpTefDial);
  source->SetPendente(true);

  TVornCliSiTefResp plain;
  plain.SetRede("kept");
  plain.Assign(*source);
  EXPECT_EQ(plain.Conteudo().Linhas(), source->Conteudo().Linhas());
  EXPECT_EQ(plain.ArqBackup(), "backup.tef");
  EXPECT_EQ(plain.TipoGP(), gpTefDial);
  EXPECT_FALSE(plain.Pendente());
  EXPECT_EQ(plain.Header(), "") << "the plain record maps nothing";
  EXPECT_EQ(plain.Rede(), "kept");
  EXPECT_EQ(plain.LeInformacao(3, 0).AsFloat(), 50.0);

  TVornCliSiTefRespTXT mapped;
  mapped.Assign(plain);
  EXPECT_EQ(mapped.Header(), "CRT");
  EXPECT_EQ(mapped.ValorTotal(), Currency::FromCents(5000));
  EXPECT_TRUE(mapped.CNFEnviado());

  mapped.Assign(mapped);
  EXPECT_EQ(mapped.Conteudo().GetCount(), 3);
}

TEST_F(VornCliSiTefRespTXTTest, BackupRoundTrip) {
  const auto resp =
      Read("000-000 = CRT\r\n003-000 = 5000\r\n028-000 = 1\r\n029-001 = \"A = B\"\r\n");
  resp->SetCNFEnviado(false);
  resp->SetIndiceFPG_ECF("01");
  resp->SetOrdemPagamento(2);
  const std::string name = dir_.Path() + "VornCliSiTef_CliSiTef_001.tef";
  resp->Conteudo().GravarArquivo(name, true);

  TVornCliSiTefRespTXT back;
  back.LeArquivo(name);
  EXPECT_EQ(back.Conteudo().Linhas(), resp->Conteudo().Linhas());
  EXPECT_FALSE(back.CNFEnviado());
  EXPECT_EQ(back.IndiceFPG_ECF(), "01");
  EXPECT_EQ(back.OrdemPagamento(), 2);
  EXPECT_EQ(back.ImagemComprovante1aVia(), Receipt{"A = B"});
}

TEST(VornCliSiTefRespParcelas, OwnsAndOrdersItsInstalments) {
  TVornCliSiTefRespParcelas parcelas;
  auto make = [](const char* nsu) {
    auto parcela = std::make_unique<TVornCliSiTefRespParcela>();
    parcela->fsNSUParcela = nsu;
    return parcela;
  };
  EXPECT_EQ(parcelas.Add(make("B")), 0);
  parcelas.Insert(0, make("A"));
  parcelas.Insert(2, make("C"));
  ASSERT_EQ(parcelas.Count(), 3);
  EXPECT_EQ(parcelas[0].fsNSUParcela + parcelas[1].fsNSUParcela + parcelas[2].fsNSUParcela, "ABC");
  parcelas.Delete(1);
  EXPECT_EQ(parcelas[1].fsNSUParcela, "C");
  EXPECT_THROW(parcelas[2], Exception);
  EXPECT_THROW(parcelas.Insert(5, make("X")), Exception);
}

}  // namespace
