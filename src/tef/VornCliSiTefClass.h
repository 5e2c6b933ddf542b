#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tef/VornCliSiTefEnums.h"
#include "tef/VornCliSiTefErros.h"
#include "tef/VornCliSiTefReq.h"
#include "tef/VornCliSiTefResp.h"
#include "tef/VornCliSiTefRespostasPendentes.h"
#include "tef/VornCliSiTefTypes.h"
#include "tef/VornComponente.h"
#include "util/AnsiString.h"
#include "util/Currency.h"
#include "util/DateTime.h"

class TVornCliSiTef;

// Base of the manager bindings. Its own operations speak the file-exchange
// protocol (request, status and response files) and run the operation,
// confirmation and printing flows; a binding for another kind of manager
// overrides what differs. The component that owns it is its owner.
class TVornCliSiTefClass : public TComponent {
 public:
  // Raises EVornCliSiTefErro when the owner is not a TVornCliSiTef.
  explicit TVornCliSiTefClass(TComponent* owner);
  ~TVornCliSiTefClass() override;

  const std::string& ArqLOG() const { return fArqLOG; }
  void SetArqLOG(const std::string& value) { fArqLOG = value; }
  const std::string& ArqReq() const { return fArqReq; }
  void SetArqReq(const std::string& value);
  const std::string& ArqTemp() const { return fArqTmp; }
  void SetArqTemp(const std::string& value);
  const std::string& ArqResp() const { return fArqResp; }
  void SetArqResp(const std::string& value);
  const std::string& ArqSTS() const { return fArqSTS; }
  void SetArqSTS(const std::string& value);
  const std::string& GPExeName() const { return fGPExeName; }
  void SetGPExeName(const std::string& value);
  bool AutoAtivarGP() const { return fAutoAtivarGP; }
  void SetAutoAtivarGP(bool value) { fAutoAtivarGP = value; }
  int EsperaSTS() const { return fEsperaSTS; }
  void SetEsperaSTS(int value) { fEsperaSTS = value; }
  bool Habilitado() const { return fHabilitado; }
  void SetHabilitado(bool value) { fHabilitado = value; }
  bool Inicializado() const { return fpInicializado; }
  // True runs Inicializar, false DesInicializar.
  void SetInicializado(bool value);
  TVornCliSiTefReq& Req() { return *fpReq; }
  TVornCliSiTefResp& Resp() { return *fpResp; }
  TVornCliSiTefTipo Tipo() const { return fpTipo; }
  int NumVias() const { return fpNumVias; }
  bool AguardandoResposta() const { return fpAguardandoResposta; }
  // Whether this binding exchanges files with a manager program.
  virtual bool TrocaArquivos() const { return true; }

  // Virtual operations, in their slot order.
  virtual void SetNumVias(int count);
  virtual void IniciarRequisicao(const std::string& AHeader, int AID = 0);
  virtual void AdicionarIdentificacao();
  virtual void FinalizarRequisicao();
  virtual bool VerificarRespostaRequisicao();
  virtual void LerRespostaRequisicao();
  virtual void FinalizarResposta(bool ApagarArqResp);
  virtual std::string CopiarResposta();
  virtual void ProcessarResposta();
  virtual bool ProcessarRespostaPagamento(const std::string& IndiceFPG_ECF, Currency Valor);
  virtual void VerificarIniciouRequisicao();
  virtual void ImprimirRelatorio();
  virtual void ConfirmarESolicitarImpressaoTransacoesPendentes();
  virtual void VerificarTransacaoPagamento(Currency Valor);
  virtual void Inicializar();
  virtual void DesInicializar();
  virtual int LerTrilha3(AnsiString& AResposta);
  virtual int LerCartaoSeguro();
  virtual void AtivarGP();
  virtual void VerificaAtivo();
  virtual void CancelarTransacoesPendentesClass();
  virtual void ConfirmarTransacoesAnteriores();
  virtual void ATV();
  virtual bool ADM();
  virtual bool CRT(Currency Valor, const std::string& IndiceFPG_ECF,
                   const std::string& NumeroCartao, const std::string& DataVencimento,
                   const std::string& CVV, const std::string& QtdParcela,
                   const std::string& DocumentoVinculado, int Moeda);
  virtual bool CHQ(Currency Valor, const std::string& IndiceFPG_ECF,
                   const std::string& DocumentoVinculado, const std::string& CMC7, char TipoPessoa,
                   const std::string& DocumentoPessoa, TDateTime DataCheque,
                   const std::string& Banco, const std::string& Agencia,
                   const std::string& AgenciaDC, const std::string& Conta,
                   const std::string& ContaDC, const std::string& Cheque,
                   const std::string& ChequeDC, const std::string& Compensacao);
  virtual void NCN();
  virtual void NCN(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
                   Currency Valor, const std::string& DocumentoVinculado);
  virtual void CNF();
  virtual void CNF(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
                   const std::string& DocumentoVinculado);
  virtual bool CNC();
  virtual bool CNC(const std::string& Rede, const std::string& NSU, TDateTime DataHoraTransacao,
                   Currency Valor);

  // Raises EVornCliSiTefGPNaoInicializado when not initialized.
  void VerificaInicializado();
  // Appends "-- dd/mm hh:nn:ss:zzz - " + text to the TEF trace when ArqLOG is
  // set. The text is UTF-8 and is written in the ANSI code page. Never raises.
  void GravaLog(const std::string& texto);
  // A new empty response record for a manager kind: a plain record for
  // CliSiTef (only content, backup name and kind survive Assign), a
  // file-format record otherwise.
  static std::unique_ptr<TVornCliSiTefResp> CriarResposta(TVornCliSiTefTipo tipo);
  // True for the payment headers "CRT" and "CHQ".
  static bool TransacaoEPagamento(const std::string& header);
  // Runs `passo`, a confirmation or undo (CNF, NCN) of this binding. Once the
  // manager has taken the step only a notice to the operator can still fail:
  // that error goes to the trace instead of being raised, so no retry sends
  // the step a second time. Errors before the manager took it are raised.
  void EnviarFinalizacao(const std::function<void()>& passo);
  // Records in a backup that cannot be deleted that its transaction was
  // finished with the manager, confirmed or undone (899-001 = "S"), so no
  // later undo and no start-up confirmation takes it up again (see
  // BackupEncerrado). Returns whether the mark is on disk.
  bool MarcarBackupConfirmado(const std::string& arquivo);

 protected:
  TVornCliSiTef& Componente() const { return *fComponente; }
  // Replaces the response record (a binding with its own response format).
  void TrocarResposta(std::unique_ptr<TVornCliSiTefResp> resp) { fpResp = std::move(resp); }
  // Prints a report from a copy of the response, put alone in the sale's
  // pending list for the printing and the after-confirmation event; the list
  // is emptied afterwards, also when printing fails.
  void ImprimirRelatorioDaCopia(std::unique_ptr<TVornCliSiTefResp> copia);
  // Sends the request being built with the identification, reads the
  // response, processes it and releases it; true when it was approved.
  bool EnviarEProcessar();
  // Name of the next free backup file of this binding; raises
  // EVornCliSiTefArquivo when all 999 numbers are taken.
  std::string ProximoArquivoBackup() const;
  // Mask of this binding's backup files.
  std::string MascaraBackup() const;
  // Writes a record file to a temporary name, forces it to disk and renames
  // it into place, so a crash leaves either the old file or the whole new one.
  void GravarArquivoSeguro(TVornCliSiTefArquivo& conteudo, const std::string& arquivo);
  // Reads a backup into the response record. A file whose content is not a
  // response record is renamed aside (NomeLivreInvalido) and reported; false
  // then.
  bool LerBackup(const std::string& arquivo);
  // The backup's name + ".invalido", or + ".2.invalido", ".3.invalido"...:
  // the first that names no file, so no set-aside file is ever replaced.
  static std::string NomeLivreInvalido(const std::string& arquivo);
  // Whether the backup just read belongs to a finished transaction, which
  // no undo and no start-up confirmation may take up again: CliSiTef marks a
  // backup confirmed only when the file could not be deleted after its sale
  // was complete, confirmed and reported, or after its undo. (A file-exchange binding marks the
  // earlier cards of a sale that is still open.)
  bool BackupEncerrado() const;

  TVornCliSiTef* fComponente;
  std::string fArqLOG;
  std::string fArqReq;
  std::string fArqTmp;
  std::string fArqResp;
  std::string fArqSTS;
  bool fAutoAtivarGP = true;
  int fEsperaSTS = 7;
  std::string fGPExeName;
  bool fHabilitado = false;
  bool fpInicializado = false;
  std::unique_ptr<TVornCliSiTefReq> fpReq;
  std::unique_ptr<TVornCliSiTefResp> fpResp;
  TVornCliSiTefTipo fpTipo = gpNenhum;
  int fpIDSeq = 0;
  int fpNumVias = 2;
  bool fpAguardandoResposta = false;
  bool fpSalvarArquivoBackup = true;
  // Confirmations and undos the manager has taken from this binding; see
  // EnviarFinalizacao.
  int fpFinalizacoes = 0;
};

// The bindings of a component; owns them.
class TVornCliSiTefClassList {
 public:
  void Add(std::unique_ptr<TVornCliSiTefClass> binding) { items_.push_back(std::move(binding)); }
  int Count() const { return static_cast<int>(items_.size()); }
  TVornCliSiTefClass& operator[](int index) const { return *items_.at(index); }

 private:
  std::vector<std::unique_ptr<TVornCliSiTefClass>> items_;
};

// Deletes the file; an empty name does nothing and a missing file is no error.
// Raises EVornCliSiTefArquivo when the file still exists afterwards.
void ApagaEVerifica(const std::string& arquivo);

// How many times the retry loops over pending transactions try one entry
// before leaving it for a later run.
inline constexpr int kTentativasPorPendencia = 3;
