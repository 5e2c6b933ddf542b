#include "tef/VornCliSiTefTef.h"

TVornCliSiTefCliSiTef::TVornCliSiTefCliSiTef(TComponent* owner) : TVornCliSiTefClass(owner) {
  fArqReq.clear();
  fArqResp.clear();
  fArqSTS.clear();
  fArqTmp.clear();
  fGPExeName.clear();
  fpTipo = gpCliSiTef;
  SetName("CliSiTef");
  fpResp->SetTipoGP(gpCliSiTef);
}

TVornCliSiTefCliSiTef::~TVornCliSiTefCliSiTef() = default;

void TVornCliSiTefCliSiTef::SetNumVias(int) {
  fpNumVias = 2;
}

void TVornCliSiTefCliSiTef::AtivarGP() {
  throw Exception("CliSiTef não pode ser ativado localmente");
}

void TVornCliSiTefCliSiTef::VerificaAtivo() {}
