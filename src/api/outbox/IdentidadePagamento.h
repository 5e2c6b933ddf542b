#pragma once

#include <string>

class TVornCliSiTefResp;

// What identifies an approved payment across its backup file, the pending
// list and a restart: the SHA-256 (hex) of its record's lines, without the
// component's bookkeeping fields (899-*), which change as it is confirmed.
std::string IdentidadePagamento(const TVornCliSiTefResp& resp);
