#include "tef/VornCliSiTefClass.h"

#include "platform/Platform.h"
#include "tef/VornCliSiTef.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

TVornCliSiTefClass::TVornCliSiTefClass(TComponent* owner)
    : TComponent(owner), fComponente(dynamic_cast<TVornCliSiTef*>(owner)) {
  if (fComponente == nullptr) {
    throw EVornCliSiTefErro("TVornCliSiTefClass deve ser criado por TVornCliSiTef");
  }
  const platform::CivilTime agora = platform::Current().LocalNow();
  fpIDSeq = agora.hour * 3600 + agora.minute * 60 + agora.second;
  fpReq = std::make_unique<TVornCliSiTefReq>();
  fpResp = std::make_unique<TVornCliSiTefResp>();
  fComponente->SetEstadoReq(reqNenhum);
  fComponente->SetEstadoResp(respNenhum);
}

TVornCliSiTefClass::~TVornCliSiTefClass() = default;

void TVornCliSiTefClass::SetArqReq(const std::string& value) {
  fArqReq = Trim(value);
}

void TVornCliSiTefClass::SetArqTemp(const std::string& value) {
  fArqTmp = Trim(value);
}

void TVornCliSiTefClass::SetArqResp(const std::string& value) {
  fArqResp = Trim(value);
}

void TVornCliSiTefClass::SetArqSTS(const std::string& value) {
  fArqSTS = Trim(value);
}

void TVornCliSiTefClass::SetGPExeName(const std::string& value) {
  fGPExeName = Trim(value);
}

void TVornCliSiTefClass::SetInicializado(bool value) {
  if (value) {
    Inicializar();
  } else {
    DesInicializar();
  }
}

void TVornCliSiTefClass::SetNumVias(int count) {
  fpNumVias = count;
}

void TVornCliSiTefClass::VerificarIniciouRequisicao() {
  if (fpReq->Header().empty()) {
    throw EVornCliSiTefErro("Nenhuma Requisição Iniciada");
  }
}

void TVornCliSiTefClass::VerificaInicializado() {
  if (!fpInicializado) {
    throw EVornCliSiTefGPNaoInicializado("Gerenciador Padrão: " + Name() + " não foi inicializado");
  }
}

void TVornCliSiTefClass::Inicializar() {
  if (fpInicializado) {
    return;
  }
  ApagaEVerifica(fArqTmp);
  ApagaEVerifica(fArqReq);
  ApagaEVerifica(fArqSTS);
  fpInicializado = true;
  GravaLog(Name() + " Inicializado");
  if (!fArqResp.empty() && platform::Current().FileExists(fArqResp)) {
    fpResp->LeArquivo(fArqResp);
    if (UpperCase(VornCliSiTefStr(fpResp->LeInformacao(9, 0).AsString())) == "FF") {
      ApagaEVerifica(fArqResp);
    }
    fpResp->Clear();
  }
  CancelarTransacoesPendentesClass();
  VerificaAtivo();
}

void TVornCliSiTefClass::DesInicializar() {
  fpInicializado = false;
  GravaLog(Name() + " DesInicializado");
}

// A file-exchange binding has no card reader of its own: it hands the read to
// the current binding, unless it is the current binding itself.
int TVornCliSiTefClass::LerTrilha3(AnsiString& AResposta) {
  if (Componente().TemTEF() && &Componente().TEF() != this) {
    AResposta = VornAnsiStr(Componente().LerTrilha3());
  }
  return 0;
}

int TVornCliSiTefClass::LerCartaoSeguro() {
  if (Componente().TemTEF() && &Componente().TEF() != this) {
    Componente().LerCartaoSeguro();
  }
  return 0;
}

void TVornCliSiTefClass::GravaLog(const std::string& texto) {
  if (fArqLOG.empty()) {
    return;
  }
  try {
    const std::string linha = "-- " + FormatDateTime("dd/mm hh:nn:ss:zzz", Now()) + " - " + texto;
    WriteToTXT(VornAnsiStr(fArqLOG), VornAnsiStr(linha), true, true);
  } catch (...) {
    // The trace never fails an operation.
  }
}

std::unique_ptr<TVornCliSiTefResp> TVornCliSiTefClass::CriarResposta(TVornCliSiTefTipo tipo) {
  if (tipo == gpCliSiTef) {
    return std::make_unique<TVornCliSiTefResp>();
  }
  return std::make_unique<TVornCliSiTefRespTXT>();
}

bool TVornCliSiTefClass::TransacaoEPagamento(const std::string& header) {
  return !header.empty() && std::string("CRT|CHQ").find(header) != std::string::npos;
}

void ApagaEVerifica(const std::string& arquivo) {
  if (arquivo.empty()) {
    return;
  }
  platform::Platform& os = platform::Current();
  os.DeleteFile(arquivo);
  if (os.FileExists(arquivo)) {
    throw EVornCliSiTefArquivo("Erro ao apagar o arquivo:\r\n" + arquivo);
  }
}
