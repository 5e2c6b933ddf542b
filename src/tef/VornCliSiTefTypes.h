#pragma once

// Enumerations shared by the request and response records and the manager
// bindings. The ordinal values are stable: they identify the kinds in logs
// and configuration.

// Kind of TEF manager a binding talks to.
enum TVornCliSiTefTipo : int {
  gpNenhum = 0,
  gpTefDial = 1,
  gpTefDisc = 2,
  gpHiperTef = 3,
  gpCliSiTef = 4,
  gpTefGpu = 5,
  gpVeSPague = 6,
  gpBanese = 7,
  gpTefAuttar = 8,
  gpGoodCard = 9,
  gpFoxWin = 10,
  gpCliDTEF = 11,
  gpPetrocard = 12,
  gpCrediShop = 13,
  gpTicketCar = 14,
  gpConvCard = 15,
};

// Who finances the instalments of a payment.
enum TVornCliSiTefRespParceladoPor : int {
  parcNenhum = 0,
  parcADM = 1,   // the card administrator
  parcLoja = 2,  // the store
};

// How a payment is settled.
enum TVornCliSiTefRespTipoOperacao : int {
  opOutras = 0,
  opAvista = 1,     // single payment
  opParcelado = 2,  // instalments
  opPreDatado = 3,  // post-dated
};
