#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tef/VornCliSiTefBase.h"
#include "util/AnsiString.h"

// Record files: one field per line, "key = value", where the key names a field
// by its identification (field number) and its sequence (occurrence number),
// "NNN-NNN". Files are 8-bit text in the ANSI code page, every line ended by
// CR LF, without a byte-order mark.

// The key of a field: the identification zero-filled to at least three digits
// (never shortened), "-", the sequence zero-filled to three digits and cut to
// its first three (1234 gives "123"). (29, 3) is "029-003", (1234, 0) is
// "1234-000".
std::string NomeCampo(std::int32_t identificacao, std::int32_t sequencia);

// One parsed line.
class TVornCliSiTefLinha {
 public:
  // Stores and parses the line. The value is everything after the first
  // " = " (verbatim); the key is split at its first "-" (keys without a dash,
  // or with one in the first three characters, after the third character).
  // A line without " = " has identification 0, sequence 0 and an empty value;
  // a number that does not parse, or does not fit 16 bits, reads 0.
  void SetLinha(AnsiStringView linha);
  // The raw line; without one, the line rebuilt from key and value when the
  // identification is not 0, else empty.
  AnsiString GetLinha() const;
  // The text before the first " = " (a line ending in " =" still has a key),
  // empty when there is none.
  AnsiString GetChave() const;

  std::int16_t Identificacao() const { return fIdentificacao; }
  std::int16_t Sequencia() const { return fSequencia; }
  TVornCliSiTefInformacao& Informacao() { return fVornCliSiTefLinhaInformacao; }
  const TVornCliSiTefInformacao& Informacao() const { return fVornCliSiTefLinhaInformacao; }

 private:
  std::int16_t fIdentificacao = 0;
  TVornCliSiTefInformacao fVornCliSiTefLinhaInformacao;
  AnsiString fLinha;
  std::int16_t fSequencia = 0;
};

// One record file in memory. The lines are kept sorted (ordinal order with
// letter case ignored, so fixed-width keys come out by identification, then
// sequence); a line equal to one already present, letter case ignored, is
// stored once; every write replaces the line of its key.
//
// GetLinha and LeLinha return one shared line object that each call
// overwrites: copy what you need from it before the next read.
class TVornCliSiTefArquivo {
 public:
  TVornCliSiTefArquivo() = default;
  TVornCliSiTefArquivo(const TVornCliSiTefArquivo&) = delete;
  TVornCliSiTefArquivo& operator=(const TVornCliSiTefArquivo&) = delete;

  void Clear();
  int GetCount() const { return static_cast<int>(fStringList.size()); }
  // Line number index (0-based, sorted order) in the shared line object.
  // Raises Exception for an index outside the list.
  TVornCliSiTefLinha& GetLinha(int index);
  // Index of the first line carrying this key, or -1. A linear search.
  int AchaLinha(std::int32_t identificacao, std::int32_t sequencia) const;
  // The line of this key in the shared line object; an absent key reads as
  // the key with a value of one blank.
  TVornCliSiTefLinha& LeLinha(std::int32_t identificacao, std::int32_t sequencia);
  TVornCliSiTefInformacao& LeInformacao(std::int32_t identificacao, std::int32_t sequencia);

  // Replaces the field: the line of the key is removed, then key = text is
  // added unless the text is empty (so writing an empty text removes it).
  void GravaInformacao(std::int32_t identificacao, std::int32_t sequencia, AnsiStringView texto);
  void GravaInformacao(std::int32_t identificacao, std::int32_t sequencia,
                       const TVornCliSiTefInformacao& informacao);
  // The same for a key given as text; the line removed is the first that
  // begins with chave + " = " (letter case counts).
  void GravaInformacao(AnsiStringView chave, AnsiStringView texto);
  void GravaInformacao(AnsiStringView chave, const TVornCliSiTefInformacao& informacao);

  // Writes every line (created or replaced file); with flush, then forces the
  // file to disk, ignoring whether that worked. File-system errors raise.
  void GravarArquivo(const std::string& fileName, bool flush) const;
  // Replaces the lines with the file's. A missing file raises
  // EVornCliSiTefArquivo "Arquivo: \r\n<name>\r\nnão encontrado", one that
  // cannot be read EVornCliSiTefArquivo "Erro ao ler o arquivo:\r\n<name>";
  // either way no lines are left.
  void LeArquivo(const std::string& fileName);

  // Replaces the lines with a copy of the source's.
  void Assign(const TVornCliSiTefArquivo& source);
  // The lines in sorted order.
  const std::vector<AnsiString>& Linhas() const { return fStringList; }

 private:
  void Adiciona(AnsiString linha);
  int AchaChave(AnsiStringView prefixo) const;

  std::vector<AnsiString> fStringList;
  TVornCliSiTefLinha fVornCliSiTefLinha;
};
