#pragma once

#include <cstdint>

#include "util/AnsiString.h"
#include "util/DateTime.h"

// The value of one field of a TEF record, held as the 8-bit text written to
// and read from record files. The typed accessors convert on the fly with the
// fixed conventions of the TEF file exchange; none of them ever raises: a
// getter that cannot convert returns 0, a setter given 0 stores the empty text.
class TVornCliSiTefInformacao {
 public:
  // A name carried with the value; nothing in the gateway reads it.
  const AnsiString& Nome() const { return FNome; }
  void SetNome(AnsiStringView nome) { FNome = AnsiString(nome); }

  // The stored text, unchanged. Empty means "no value".
  const AnsiString& AsString() const { return fInformacao; }
  void SetAsString(AnsiStringView text) { fInformacao = AnsiString(text); }

  // Decimal integer of the trimmed text; 0 when empty, not a number or out of
  // the 32-bit range.
  std::int32_t AsInteger() const;
  void SetAsInteger(std::int32_t value);

  // An amount stored as whole cents, digits only, at least three digits
  // (12.34 is "1234", 0.05 is "005"). Reading drops every "," and "." before
  // parsing (they are removed, not interpreted); more than 32 bits reads 0.
  // Writing rounds to cents with halves away from zero.
  double AsFloat() const;
  void SetAsFloat(double value);

  // Dates and times. Getters keep only the digits of the trimmed text and cut
  // fixed positions from them; a missing piece or an invalid date or time
  // reads 0.
  TDateTime AsDate() const;  // "DDMMYYYY"
  void SetAsDate(TDateTime value);
  TDateTime AsTime() const;  // "HHNNSS", 24-hour clock
  void SetAsTime(TDateTime value);
  // "DDMMHHNNSS"; the year is the current year of the platform clock.
  TDateTime AsTimeStamp() const;
  void SetAsTimeStamp(TDateTime value);
  TDateTime AsTimeStampSQL() const;  // "YYYYMMDDHHNNSS"
  void SetAsTimeStampSQL(TDateTime value);

 private:
  AnsiString fInformacao;
  AnsiString FNome;
};
