#include "tef/VornCliSiTefArquivo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "FakePlatform.h"
#include "tef/VornCliSiTefErros.h"
#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"

namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<AnsiString> Lines(std::initializer_list<const char*> lines) {
  std::vector<AnsiString> result;
  for (const char* line : lines) {
    result.emplace_back(line);
  }
  return result;
}

TEST(VornCliSiTefArquivo, KeyFormat) {
  struct Row {
    std::int32_t identificacao;
    std::int32_t sequencia;
    const char* expected;
  };
  const Row rows[] = {
      {0, 0, "000-000"},     {1, 0, "001-000"},     {29, 3, "029-003"},   {899, 1, "899-001"},
      {999, 999, "999-999"}, {1234, 0, "1234-000"}, {5, 1234, "005-123"},  // the sequence keeps its
                                                                           // first three digits
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NomeCampo(row.identificacao, row.sequencia), row.expected)
        << row.identificacao << "," << row.sequencia;
  }
}

TEST(VornCliSiTefLinha, ParsesKeyAndValue) {
  struct Row {
    const char* line;
    int identificacao;
    int sequencia;
    const char* value;
    const char* chave;
  };
  const Row rows[] = {
      {"012-000 = A = B", 12, 0, "A = B", "012-000"},
      {"009-000 = ", 9, 0, "", "009-000"},
      {"009-000 =", 9, 0, "", "009-000"},
      {"029-001 =   x  ", 29, 1, "  x  ", "029-001"},
      {"1234-005 = v", 1234, 5, "v", "1234-005"},
      {"029001 = v", 29, 1, "v", "029001"},       // no dash: split after the third character
      {"12-000 = v", 0, 0, "v", "12-000"},        // a dash too early spoils the number
      {"ABC-000 = v", 0, 0, "v", "ABC-000"},      // letters in the key
      {"029-0A1 = v", 29, 0, "v", "029-0A1"},     // letters in the sequence
      {"99999-000 = v", 0, 0, "v", "99999-000"},  // beyond 16 bits: no field
      {"-001-000 = v", 0, 0, "v", "-001-000"},
      {"no separator", 0, 0, "", ""},
      {"003-000=1", 0, 0, "", ""},
      {"", 0, 0, "", ""},
      {" = v", 0, 0, "v", ""},
  };
  for (const Row& row : rows) {
    TVornCliSiTefLinha linha;
    linha.SetLinha(row.line);
    EXPECT_EQ(linha.Identificacao(), row.identificacao) << row.line;
    EXPECT_EQ(linha.Sequencia(), row.sequencia) << row.line;
    EXPECT_EQ(linha.Informacao().AsString(), row.value) << row.line;
    EXPECT_EQ(linha.GetChave(), row.chave) << row.line;
    EXPECT_EQ(linha.GetLinha(), row.line) << row.line;
  }
}

TEST(VornCliSiTefArquivo, WritesOneLinePerKeyInSortedOrder) {
  TVornCliSiTefArquivo arquivo;
  arquivo.GravaInformacao(3, 0, "1234");
  arquivo.GravaInformacao(3, 0, "2500");
  arquivo.GravaInformacao(29, 10, "c");
  arquivo.GravaInformacao(29, 2, "b");
  arquivo.GravaInformacao(28, 0, "a");
  arquivo.GravaInformacao(501, 0, "x");
  arquivo.GravaInformacao(4029, 0, "y");
  arquivo.GravaInformacao(1, 0, "gone");
  arquivo.GravaInformacao(1, 0, "");  // an empty text removes the field
  arquivo.GravaInformacao(2, 0, "");  // and adds nothing when it was absent
  EXPECT_EQ(arquivo.Linhas(), Lines({"003-000 = 2500", "028-000 = a", "029-002 = b", "029-010 = c",
                                     "4029-000 = y", "501-000 = x"}));
  EXPECT_EQ(arquivo.AchaLinha(29, 2), 2);
  EXPECT_EQ(arquivo.AchaLinha(29, 3), -1);
  EXPECT_EQ(arquivo.GetLinha(1).GetLinha(), "028-000 = a");
}

TEST(VornCliSiTefArquivo, FreeKeysAndValueObjects) {
  TVornCliSiTefArquivo arquivo;
  TVornCliSiTefInformacao valor;
  valor.SetAsFloat(12.5);
  arquivo.GravaInformacao(3, 0, valor);
  arquivo.GravaInformacao("abc", "1");
  arquivo.GravaInformacao("ABC", "2");  // the key's letter case counts
  arquivo.GravaInformacao("abc", valor);
  EXPECT_EQ(arquivo.Linhas(), Lines({"003-000 = 1250", "abc = 1250", "ABC = 2"}));
  arquivo.GravaInformacao("003-000", "");
  EXPECT_EQ(arquivo.AchaLinha(3, 0), -1);
}

TEST(VornCliSiTefArquivo, AbsentKeyReadsOneBlank) {
  TVornCliSiTefArquivo arquivo;
  arquivo.GravaInformacao(3, 0, "1234");
  TVornCliSiTefLinha& linha = arquivo.LeLinha(4, 0);
  EXPECT_EQ(linha.GetLinha(), "004-000 =  ");
  EXPECT_EQ(linha.Identificacao(), 4);
  EXPECT_EQ(arquivo.LeInformacao(4, 0).AsString(), " ");
  EXPECT_EQ(arquivo.LeInformacao(4, 0).AsInteger(), 0);
  EXPECT_EQ(arquivo.LeInformacao(4, 0).AsFloat(), 0.0);
  EXPECT_EQ(arquivo.GetCount(), 1) << "reading does not add the key";
}

TEST(VornCliSiTefArquivo, SharedLineObject) {
  TVornCliSiTefArquivo arquivo;
  arquivo.GravaInformacao(1, 0, "first");
  arquivo.GravaInformacao(2, 0, "second");
  TVornCliSiTefLinha& a = arquivo.GetLinha(0);
  TVornCliSiTefLinha& b = arquivo.LeLinha(2, 0);
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(a.Informacao().AsString(), "second");

  // A reader that changes the value it borrowed does not change what the
  // next read of the same line returns.
  arquivo.LeInformacao(1, 0).SetAsString("changed");
  EXPECT_EQ(arquivo.LeInformacao(1, 0).AsString(), "first");
  EXPECT_EQ(arquivo.Linhas()[0], "001-000 = first");

  EXPECT_THROW(arquivo.GetLinha(2), Exception);
  EXPECT_THROW(arquivo.GetLinha(-1), Exception);
}

TEST(VornCliSiTefArquivo, WritesAndReadsBackByteForByte) {
  FakePlatform os;
  TempDir dir;
  const std::string name = dir.Path() + "record.tef";

  TVornCliSiTefArquivo arquivo;
  arquivo.GravaInformacao(0, 0, "CRT");
  arquivo.GravaInformacao(12, 0, "A = B = C");
  arquivo.GravaInformacao(29, 1, "  blanks around  ");
  arquivo.GravaInformacao(29, 2, BinaryStringToString("tab\tline\r\nend\x01\xE9"));
  arquivo.GravaInformacao(29, 3, VornAnsiStr("Crédito à vista"));
  arquivo.GravaInformacao(999, 999, "0");
  arquivo.GravarArquivo(name, true);

  EXPECT_EQ(ReadBytes(name),
            "000-000 = CRT\r\n"
            "012-000 = A = B = C\r\n"
            "029-001 =   blanks around  \r\n"
            "029-002 = tab\\x09line\\x0D\\x0Aend\\x01\\xE9\r\n"
            "029-003 = Cr\xE9"
            "dito \xE0 vista\r\n"
            "999-999 = 0\r\n");

  TVornCliSiTefArquivo lido;
  lido.LeArquivo(name);
  EXPECT_EQ(lido.Linhas(), arquivo.Linhas());
  EXPECT_EQ(lido.LeInformacao(12, 0).AsString(), "A = B = C");
  EXPECT_EQ(StringToBinaryString(lido.LeInformacao(29, 2).AsString()), "tab\tline\r\nend\x01\xE9");

  const std::string again = dir.Path() + "again.tef";
  lido.GravarArquivo(again, false);
  EXPECT_EQ(ReadBytes(again), ReadBytes(name));
}

TEST(VornCliSiTefArquivo, LoadsSortedAndOnce) {
  FakePlatform os;
  TempDir dir;
  struct Row {
    const char* name;
    std::string content;
    std::vector<AnsiString> lines;
  };
  const Row rows[] = {
      {"sorted on loading", "029-002 = b\r\n028-000 = a\r\n029-001 = c\r\n",
       Lines({"028-000 = a", "029-001 = c", "029-002 = b"})},
      {"the same line twice", "003-000 = 1\r\n003-000 = 1\r\n", Lines({"003-000 = 1"})},
      {"lines equal but for letter case, first kept", "009-000 = p1\r\n009-000 = P1\r\n",
       Lines({"009-000 = p1"})},
      {"LF and CR line ends", "002-000 = b\n001-000 = a\r003-000 = c",
       Lines({"001-000 = a", "002-000 = b", "003-000 = c"})},
      {"no final line break", "001-000 = a", Lines({"001-000 = a"})},
      {"empty file", "", Lines({})},
      {"blank line in the middle", "001-000 = a\r\n\r\n002-000 = b\r\n",
       Lines({"", "001-000 = a", "002-000 = b"})},
  };
  for (const Row& row : rows) {
    const std::string name = dir.Path() + "load.tef";
    WriteBytes(name, row.content);
    TVornCliSiTefArquivo arquivo;
    arquivo.GravaInformacao(777, 0, "left over");
    arquivo.LeArquivo(name);
    EXPECT_EQ(arquivo.Linhas(), row.lines) << row.name;
  }
}

TEST(VornCliSiTefArquivo, MissingFileRaisesAndLeavesNoLines) {
  FakePlatform os;
  TempDir dir;
  const std::string name = dir.Path() + "absent.tef";
  TVornCliSiTefArquivo arquivo;
  arquivo.GravaInformacao(1, 0, "before");
  try {
    arquivo.LeArquivo(name);
    FAIL() << "no exception";
  } catch (const EVornCliSiTefArquivo& e) {
    EXPECT_EQ(std::string(e.what()), "Arquivo: \r\n" + name + "\r\nnão encontrado");
  }
  EXPECT_EQ(arquivo.GetCount(), 0);

  // A folder matches the name but cannot be read as a file.
  std::filesystem::create_directory(dir.Path() + "folder.tef");
  arquivo.GravaInformacao(1, 0, "before");
  try {
    arquivo.LeArquivo(dir.Path() + "folder.tef");
    FAIL() << "no exception";
  } catch (const EVornCliSiTefArquivo& e) {
    EXPECT_EQ(std::string(e.what()), "Erro ao ler o arquivo:\r\n" + dir.Path() + "folder.tef");
  }
  EXPECT_EQ(arquivo.GetCount(), 0);
}

TEST(VornCliSiTefArquivo, WriteFailureRaises) {
  FakePlatform os;
  TempDir dir;
  TVornCliSiTefArquivo arquivo;
  arquivo.GravaInformacao(1, 0, "x");
  EXPECT_ANY_THROW(arquivo.GravarArquivo(dir.Path() + "missing/folder/record.tef", false));
}

TEST(VornCliSiTefArquivo, AssignCopiesLines) {
  TVornCliSiTefArquivo source;
  source.GravaInformacao(2, 0, "b");
  source.GravaInformacao(1, 0, "a");
  TVornCliSiTefArquivo target;
  target.GravaInformacao(3, 0, "c");
  target.Assign(source);
  EXPECT_EQ(target.Linhas(), source.Linhas());
  target.Assign(target);
  EXPECT_EQ(target.GetCount(), 2);
}

}  // namespace
