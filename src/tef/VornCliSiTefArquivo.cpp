#include "tef/VornCliSiTefArquivo.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/Platform.h"
#include "tef/VornCliSiTefErros.h"
#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"

namespace {

constexpr AnsiStringView kSeparador = " = ";

// Upper case of a Windows-1252 byte (ASCII and the accented letters).
unsigned char Fold(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 'a' && byte <= 'z') {
    return byte - 32;
  }
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) {
    return byte - 32;
  }
  switch (byte) {
    case 0x9A:  // s caron
    case 0x9C:  // oe
    case 0x9E:  // z caron
      return byte - 16;
    case 0xFF:  // y diaeresis
      return 0x9F;
    default:
      return byte;
  }
}

// Ordinal comparison with letter case ignored.
int CompareLines(AnsiStringView a, AnsiStringView b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = Fold(a[i]);
    const unsigned char y = Fold(b[i]);
    if (x != y) {
      return x < y ? -1 : 1;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

bool LineLess(const AnsiString& a, const AnsiString& b) {
  return CompareLines(a, b) < 0;
}

// A decimal number with an optional sign that fits 16 bits; 0 otherwise, so
// a malformed key never aliases a real field.
std::int16_t ParseInt16(AnsiStringView text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) {
    return 0;
  }
  int magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return 0;
    }
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > 32768) {
      return 0;
    }
  }
  const int value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int16_t>::max()) {
    return 0;
  }
  return static_cast<std::int16_t>(value);
}

// Position of the separator that ends the key, as if searched with one blank
// appended: a line ending in " =" still has a key.
std::size_t SeparatorPosition(AnsiStringView linha) {
  const std::size_t p = linha.find(kSeparador);
  if (p == AnsiStringView::npos && linha.size() >= 2 && linha.substr(linha.size() - 2) == " =") {
    return linha.size() - 2;
  }
  return p;
}

AnsiString Chave(std::int32_t identificacao, std::int32_t sequencia) {
  return VornAnsiStr(NomeCampo(identificacao, sequencia));
}

}  // namespace

std::string NomeCampo(std::int32_t identificacao, std::int32_t sequencia) {
  char numero[16];
  std::snprintf(numero, sizeof numero, "%03d", identificacao);
  return numero + std::string("-") + std::string(AnsiBytes(IntToStrZero(sequencia, 3)));
}

void TVornCliSiTefLinha::SetLinha(AnsiStringView linha) {
  // Parsed on every call, also for the same text: the value object may have
  // been changed by a reader since the line was last loaded.
  fLinha = AnsiString(linha);
  fIdentificacao = 0;
  fSequencia = 0;
  const AnsiStringView texto = fLinha;
  const std::size_t p = SeparatorPosition(texto);
  if (p == AnsiString::npos) {
    fVornCliSiTefLinhaInformacao.SetAsString({});
    return;
  }
  const AnsiStringView chave = texto.substr(0, p);
  fVornCliSiTefLinhaInformacao.SetAsString(p + 3 <= texto.size() ? texto.substr(p + 3)
                                                                 : AnsiStringView());
  // 1-based position of the dash; the fixed form NNN-NNN, and keys without a
  // dash, split after the third character.
  std::size_t d = chave.find('-');
  d = d == AnsiStringView::npos || d + 1 < 5 ? 4 : d + 1;
  fIdentificacao = ParseInt16(chave.substr(0, std::min(d - 1, chave.size())));
  fSequencia = d < chave.size() ? ParseInt16(chave.substr(d, 3)) : std::int16_t{0};
}

AnsiString TVornCliSiTefLinha::GetLinha() const {
  if (!fLinha.empty()) {
    return fLinha;
  }
  if (fIdentificacao != 0) {
    return Chave(fIdentificacao, fSequencia) + AnsiString(kSeparador) +
           fVornCliSiTefLinhaInformacao.AsString();
  }
  return {};
}

AnsiString TVornCliSiTefLinha::GetChave() const {
  if (!fLinha.empty()) {
    const std::size_t p = SeparatorPosition(fLinha);
    return p == AnsiString::npos ? AnsiString() : fLinha.substr(0, p);
  }
  if (fIdentificacao != 0) {
    return Chave(fIdentificacao, fSequencia);
  }
  return {};
}

void TVornCliSiTefArquivo::Clear() {
  fStringList.clear();
}

TVornCliSiTefLinha& TVornCliSiTefArquivo::GetLinha(int index) {
  if (index < 0 || index >= GetCount()) {
    throw Exception("Índice de linha fora dos limites (" + std::to_string(index) + ")");
  }
  fVornCliSiTefLinha.SetLinha(fStringList[static_cast<std::size_t>(index)]);
  return fVornCliSiTefLinha;
}

int TVornCliSiTefArquivo::AchaChave(AnsiStringView prefixo) const {
  for (std::size_t i = 0; i < fStringList.size(); ++i) {
    if (AnsiStringView(fStringList[i]).substr(0, prefixo.size()) == prefixo) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int TVornCliSiTefArquivo::AchaLinha(std::int32_t identificacao, std::int32_t sequencia) const {
  return AchaChave(Chave(identificacao, sequencia) + AnsiString(kSeparador));
}

TVornCliSiTefLinha& TVornCliSiTefArquivo::LeLinha(std::int32_t identificacao,
                                                  std::int32_t sequencia) {
  const AnsiString chave = Chave(identificacao, sequencia);
  const int index = AchaChave(chave + AnsiString(kSeparador));
  if (index >= 0) {
    fVornCliSiTefLinha.SetLinha(fStringList[static_cast<std::size_t>(index)]);
  } else {
    fVornCliSiTefLinha.SetLinha(chave + " =  ");
  }
  return fVornCliSiTefLinha;
}

TVornCliSiTefInformacao& TVornCliSiTefArquivo::LeInformacao(std::int32_t identificacao,
                                                            std::int32_t sequencia) {
  return LeLinha(identificacao, sequencia).Informacao();
}

void TVornCliSiTefArquivo::Adiciona(AnsiString linha) {
  const auto at = std::lower_bound(fStringList.begin(), fStringList.end(), linha, LineLess);
  if (at != fStringList.end() && CompareLines(*at, linha) == 0) {
    return;
  }
  fStringList.insert(at, std::move(linha));
}

void TVornCliSiTefArquivo::GravaInformacao(std::int32_t identificacao, std::int32_t sequencia,
                                           AnsiStringView texto) {
  GravaInformacao(Chave(identificacao, sequencia), texto);
}

void TVornCliSiTefArquivo::GravaInformacao(std::int32_t identificacao, std::int32_t sequencia,
                                           const TVornCliSiTefInformacao& informacao) {
  GravaInformacao(identificacao, sequencia, informacao.AsString());
}

void TVornCliSiTefArquivo::GravaInformacao(AnsiStringView chave, AnsiStringView texto) {
  AnsiString prefixo(chave);
  prefixo += kSeparador;
  const int index = AchaChave(prefixo);
  if (index >= 0) {
    fStringList.erase(fStringList.begin() + index);
  }
  if (!texto.empty()) {
    Adiciona(prefixo + AnsiString(texto));
  }
}

void TVornCliSiTefArquivo::GravaInformacao(AnsiStringView chave,
                                           const TVornCliSiTefInformacao& informacao) {
  GravaInformacao(chave, informacao.AsString());
}

void TVornCliSiTefArquivo::GravarArquivo(const std::string& fileName, bool flush) const {
  std::string bytes;
  for (const AnsiString& linha : fStringList) {
    bytes += AnsiBytes(linha);
    bytes += "\r\n";
  }
  platform::Current().WriteFile(fileName, bytes, false);
  if (flush) {
    FlushFileToDisk(fileName);
  }
}

void TVornCliSiTefArquivo::LeArquivo(const std::string& fileName) {
  Clear();
  if (!FilesExists(fileName)) {
    throw EVornCliSiTefArquivo("Arquivo: \r\n" + fileName + "\r\nnão encontrado");
  }
  const std::optional<std::string> content = platform::Current().ReadFile(fileName);
  if (!content) {
    throw EVornCliSiTefArquivo("Erro ao ler o arquivo:\r\n" + fileName);
  }
  // Lines end at CR LF, LF or CR; a final line break ends the last line.
  std::vector<AnsiString> linhas;
  const std::string& text = *content;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      linhas.push_back(AnsiFromBytes(std::string_view(text).substr(start)));
      break;
    }
    linhas.push_back(AnsiFromBytes(std::string_view(text).substr(start, end - start)));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  // Stable, so of lines equal but for letter case the first one read stays.
  std::stable_sort(linhas.begin(), linhas.end(), LineLess);
  const auto last = std::unique(linhas.begin(), linhas.end(), [](const auto& a, const auto& b) {
    return CompareLines(a, b) == 0;
  });
  linhas.erase(last, linhas.end());
  fStringList = std::move(linhas);
}

void TVornCliSiTefArquivo::Assign(const TVornCliSiTefArquivo& source) {
  if (&source != this) {
    fStringList = source.fStringList;
  }
}
