// The component's operations: each selects the kind asked for, turns amounts
// into currency values and hands the operation to the current binding.

#include "tef/VornCliSiTef.h"

void TVornCliSiTef::ATV(TVornCliSiTefTipo GP) {
  if (GP != gpNenhum) {
    SetGPAtual(GP);
  }
  TEF().ATV();
}

bool TVornCliSiTef::ADM(TVornCliSiTefTipo GP) {
  if (GP != gpNenhum) {
    SetGPAtual(GP);
  }
  return TEF().ADM();
}

bool TVornCliSiTef::CRT(double Valor, const std::string& IndiceFPG_ECF,
                        const std::string& DocumentoVinculado, int Moeda,
                        const std::string& NumeroCartaoDigitado,
                        const std::string& DataVencimentoDigitado, const std::string& CVVDigitado,
                        const std::string& QtdParcela) {
  return TEF().CRT(Currency::FromDouble(Valor), IndiceFPG_ECF, NumeroCartaoDigitado,
                   DataVencimentoDigitado, CVVDigitado, QtdParcela, DocumentoVinculado, Moeda);
}

bool TVornCliSiTef::CHQ(double Valor, const std::string& IndiceFPG_ECF,
                        const std::string& DocumentoVinculado, const std::string& CMC7,
                        char TipoPessoa, const std::string& DocumentoPessoa, TDateTime DataCheque,
                        const std::string& Banco, const std::string& Agencia,
                        const std::string& AgenciaDC, const std::string& Conta,
                        const std::string& ContaDC, const std::string& Cheque,
                        const std::string& ChequeDC, const std::string& Compensacao) {
  return TEF().CHQ(Currency::FromDouble(Valor), IndiceFPG_ECF, DocumentoVinculado, CMC7, TipoPessoa,
                   DocumentoPessoa, DataCheque, Banco, Agencia, AgenciaDC, Conta, ContaDC, Cheque,
                   ChequeDC, Compensacao);
}

bool TVornCliSiTef::CNC(const std::string& Rede, const std::string& NSU,
                        TDateTime DataHoraTransacao, double Valor) {
  return TEF().CNC(Rede, NSU, DataHoraTransacao, Currency::FromDouble(Valor));
}

void TVornCliSiTef::CNF(const std::string& Rede, const std::string& NSU,
                        const std::string& Finalizacao, const std::string& DocumentoVinculado) {
  TEF().CNF(Rede, NSU, Finalizacao, DocumentoVinculado);
}

void TVornCliSiTef::NCN(const std::string& Rede, const std::string& NSU,
                        const std::string& Finalizacao, double Valor,
                        const std::string& DocumentoVinculado) {
  TEF().NCN(Rede, NSU, Finalizacao, Currency::FromDouble(Valor), DocumentoVinculado);
}
