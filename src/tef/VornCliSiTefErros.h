#pragma once

#include "util/Exception.h"

// Errors of the TEF layer. Messages are UTF-8 texts shown to the operator.

// General errors of the TEF layer.
class EVornCliSiTefErro : public Exception {
 public:
  using Exception::Exception;
};

// A file-exchange manager did not acknowledge a request.
class EVornCliSiTefGPNaoResponde : public EVornCliSiTefErro {
 public:
  using EVornCliSiTefErro::EVornCliSiTefErro;
};

// An operation on a manager binding that is not initialized.
class EVornCliSiTefGPNaoInicializado : public EVornCliSiTefErro {
 public:
  using EVornCliSiTefErro::EVornCliSiTefErro;
};

// The manager's acknowledgement does not match the request.
class EVornCliSiTefSTSInvalido : public EVornCliSiTefErro {
 public:
  using EVornCliSiTefErro::EVornCliSiTefErro;
};

// A record or backup file cannot be read, renamed or deleted.
class EVornCliSiTefArquivo : public EVornCliSiTefErro {
 public:
  using EVornCliSiTefErro::EVornCliSiTefErro;
};

// A fiscal-printer event failed or answered wrongly.
class EVornCliSiTefECF : public EVornCliSiTefErro {
 public:
  using EVornCliSiTefErro::EVornCliSiTefErro;
};
