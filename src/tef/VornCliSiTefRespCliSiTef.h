#pragma once

#include <cstdint>

#include "tef/VornCliSiTefResp.h"
#include "util/AnsiString.h"

// The response of the CliSiTef library: every value the library asks to store
// during a command loop is kept in the content under its field type, and the
// mapping turns those values into the response's properties.
class TVornCliSiTefRespCliSiTef : public TVornCliSiTefResp {
 public:
  // The library reports final statuses separately; a stored response is
  // always an approved one.
  bool GetTransacaoAprovada() const override { return true; }
  void ConteudoToProperty() override;

  // Stores a value the library handed over under its field type, escaped for
  // the record file. Instalment dates (141) and amounts (142) take the next
  // free sequence from 1 upwards, every other type sequence 0; receipt texts
  // (121, 122) mark the response as having receipt text.
  void GravaInformacao(std::int32_t tipoCampo, AnsiStringView valor);
};
