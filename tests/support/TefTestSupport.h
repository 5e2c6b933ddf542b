#pragma once

// Test doubles of the TEF component's surroundings: a clock that advances
// when the component sleeps, a scripted host that records every event and
// answers from tables, a file-exchange binding with its files in a temporary
// folder, and a fake manager program (a thread) that answers its requests.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakePlatform.h"
#include "NativePath.h"
#include "platform/NativePlatform.h"
#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefArquivo.h"
#include "tef/VornCliSiTefClass.h"
#include "util/DateTime.h"
#include "util/VornCliSiTefUtil.h"

// The real platform whose clock only moves when someone sleeps through
// it: a wait of 7 seconds takes a few real milliseconds, and no test depends
// on how fast the machine is.
class TestClockPlatform : public platform::NativePlatform {
 public:
  // Brazilian regional settings, whatever the system's locale.
  TestClockPlatform() : scope_(*this) {
    OverrideRegional(platform::RegionalSettings());
    SetStart({2026, 12, 10, 14, 7, 9, 0});
  }

  platform::CivilTime LocalNow() const override {
    return DecodeDateTime(inicio_.load() + static_cast<double>(elapsedMs_.load()) / 86400000.0);
  }
  // The moment the clock shows before anyone slept.
  void SetStart(const platform::CivilTime& moment) {
    TDateTime inicio = 0;
    TryEncodeDateTime(moment, inicio);
    inicio_ = inicio;
  }
  int UtcOffsetMinutes(const platform::CivilTime&) const override { return -180; }
  void SleepMs(int milliseconds) const override {
    WaitWhileHeld();
    elapsedMs_ += milliseconds;
    if (realSleeps_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  }
  // For waits on a real outside process: sleeps then take their real time.
  void SetRealSleeps(bool real) { realSleeps_ = real; }
  // While the hold answers true the clock stands still and a sleep waits in
  // real time instead: an outside program (the fake manager) is still working
  // on a request, and a slow machine must not turn that into a time-out.
  void SetHold(std::function<bool()> hold) {
    std::lock_guard guard(holdLock_);
    hold_ = std::move(hold);
  }
  std::string ExecutablePath() const override { return executable_; }
  void SetExecutablePath(std::string path) { executable_ = std::move(path); }

 private:
  // A hold still true after a minute of real time is a broken test: the
  // clock goes on, so the test fails instead of hanging.
  void WaitWhileHeld() const {
    std::function<bool()> hold;
    {
      std::lock_guard guard(holdLock_);
      hold = hold_;
    }
    const auto limite = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (hold && hold() && std::chrono::steady_clock::now() < limite) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

  std::atomic<TDateTime> inicio_{0};
  mutable std::mutex holdLock_;
  std::function<bool()> hold_;
  mutable std::atomic<long long> elapsedMs_{0};
  std::atomic<bool> realSleeps_{false};
  std::string executable_ = NativePath("/opt/gateway/SvcQuorelSiTef");
  platform::ScopedPlatform scope_;
};

// The host: every event is recorded as one readable line; answers come from
// tables, with a default when a table is empty.
class ScriptedHost {
 public:
  std::vector<std::string> chamadas;
  std::deque<int> respostasYesNo;                      // answers of opmYesNo, default 0 (no)
  std::map<TVornCliSiTefOperacaoECF, int> retornoECF;  // default 1
  std::deque<int> retornoImprimeVia;                   // default 1
  int retornoAbreVinculado = 1;
  int retornoPagamento = 1;
  std::map<TVornCliSiTefInfoECF, std::deque<std::string>> infoECF;  // the last answer repeats
  int depoisConfirmar = 0;
  int depoisCancelar = 0;
  std::vector<std::string> nsusConfirmados;
  std::vector<std::string> antesCancelar;

  void Ligar(TVornCliSiTef& tef) {
    tef.OnExibeMsg = [this](TVornCliSiTefOperacaoMensagem operacao, const std::string& mensagem,
                            int& resultado) {
      chamadas.push_back("ExibeMsg(" + NomeValor(operacao) + ") " + mensagem);
      if (operacao == opmYesNo && !respostasYesNo.empty()) {
        resultado = respostasYesNo.front();
        respostasYesNo.pop_front();
      }
    };
    tef.OnComandaECF = [this](TVornCliSiTefOperacaoECF operacao, TVornCliSiTefResp&, int& retorno) {
      chamadas.push_back("ComandaECF(" + NomeValor(operacao) + ")");
      const auto it = retornoECF.find(operacao);
      retorno = it == retornoECF.end() ? 1 : it->second;
    };
    tef.OnComandaImpressao = [this](int& retorno, TVornCliSiTefResp&, bool) {
      chamadas.push_back("ComandaImpressao");
      retorno = 1;
    };
    tef.OnComandaECFAbreVinculado = [this](const std::string& coo, const std::string& indice,
                                           Currency valor, int& retorno) {
      chamadas.push_back("AbreVinculado(" + coo + "," + indice + "," + FormatarValor(valor) + ")");
      retorno = retornoAbreVinculado;
    };
    tef.OnComandaECFImprimeVia = [this](TVornCliSiTefTipoRelatorio tipo, int via,
                                        const std::vector<std::string>& linhas, int& retorno) {
      chamadas.push_back("ImprimeVia(" + NomeValor(tipo) + "," + std::to_string(via) + ")" +
                         (linhas.empty() ? "" : " " + linhas.front()));
      retorno = 1;
      if (!retornoImprimeVia.empty()) {
        retorno = retornoImprimeVia.front();
        retornoImprimeVia.pop_front();
      }
    };
    tef.OnInfoECF = [this](TVornCliSiTefInfoECF operacao, std::string& retorno) {
      std::deque<std::string>& respostas = infoECF[operacao];
      if (respostas.empty()) {
        retorno = operacao == ineEstadoECF ? "L" : "0";
        return;
      }
      retorno = respostas.front();
      if (respostas.size() > 1) {
        respostas.pop_front();
      }
    };
    tef.OnComandaECFPagamento = [this](const std::string& indice, Currency valor, int& retorno) {
      chamadas.push_back("Pagamento(" + indice + "," + FormatarValor(valor) + ")");
      retorno = retornoPagamento;
    };
    tef.OnDepoisConfirmarTransacoes = [this](TVornCliSiTefRespostasPendentes& pendentes) {
      ++depoisConfirmar;
      for (int i = 0; i < pendentes.Count(); ++i) {
        nsusConfirmados.push_back(pendentes[i].NSU());
      }
      chamadas.push_back("DepoisConfirmar(" + std::to_string(pendentes.Count()) + ")");
    };
    tef.OnDepoisCancelarTransacoes = [this](TVornCliSiTefRespostasPendentes& pendentes) {
      ++depoisCancelar;
      chamadas.push_back("DepoisCancelar(" + std::to_string(pendentes.Count()) + ")");
    };
    tef.OnAntesCancelarTransacao = [this](TVornCliSiTefResp& resp) {
      antesCancelar.push_back(VornCliSiTefStr(resp.LeInformacao(12, 0).AsString()));
    };
  }

  // The recorded calls whose text starts with the prefix.
  std::vector<std::string> Com(const std::string& prefixo) const {
    std::vector<std::string> encontradas;
    for (const std::string& chamada : chamadas) {
      if (chamada.rfind(prefixo, 0) == 0) {
        encontradas.push_back(chamada);
      }
    }
    return encontradas;
  }
};

// A file-exchange binding whose four files live in a test folder.
class TestBinding : public TVornCliSiTefClass {
 public:
  TestBinding(TVornCliSiTef& tef, const std::string& pasta) : TVornCliSiTefClass(&tef) {
    SetName("Teste");
    fpTipo = gpTefDisc;
    TrocarResposta(std::make_unique<TVornCliSiTefRespTXT>());
    SetArqTemp(pasta + "intpos.tmp");
    SetArqReq(pasta + "intpos.001");
    SetArqSTS(pasta + "intpos.sts");
    SetArqResp(pasta + "intpos.res");
    SetAutoAtivarGP(false);
    SetEsperaSTS(60);
  }
  using TVornCliSiTefClass::GravarArquivoSeguro;
  using TVornCliSiTefClass::ProximoArquivoBackup;
};

// One request seen by the fake manager.
struct RequisicaoRecebida {
  std::string header;
  int id = 0;
  std::map<std::string, std::string> campos;  // "012-000" -> value
};

// What the manager does with one request.
struct RespostaGerenciador {
  bool responderSTS = true;
  int idSTS = -1;  // -1: the request's number
  // Response fields written after the acknowledgement (key -> value); empty:
  // no response file. The header, number and trailer are added.
  std::map<std::string, std::string> resposta;
  bool semTrailer = false;
  // A response written (and taken away by the component) before the right
  // one: of another request, or of this one without trailer.
  enum { nenhuma, deOutroPedido, semTrailerDoPedido } respostaInvalidaAntes = nenhuma;
};

// A manager program as a thread: it takes each request file, acknowledges
// it and answers it, as its script says. The test clock stands still from the
// moment a request file is there until the manager has answered it, so the
// component's waits time out only on requests the script leaves unanswered,
// however slowly the machine runs the thread and its file operations.
class FakeManager {
 public:
  using Script = std::function<RespostaGerenciador(const RequisicaoRecebida&)>;

  FakeManager(const TVornCliSiTefClass& binding, Script script, TestClockPlatform& clock)
      : req_(binding.ArqReq()),
        sts_(binding.ArqSTS()),
        resp_(binding.ArqResp()),
        script_(std::move(script)),
        clock_(clock),
        thread_([this] { Run(); }) {
    clock_.SetHold([this] { return ocupado_ || platform::Current().FileExists(req_); });
  }
  ~FakeManager() {
    clock_.SetHold(nullptr);
    stop_ = true;
    thread_.join();
  }

  std::vector<RequisicaoRecebida> Recebidas() const {
    std::lock_guard guard(lock_);
    return recebidas_;
  }
  // The requests other than ATV, as "HEADER NSU".
  std::vector<std::string> Operacoes() const {
    std::vector<std::string> operacoes;
    for (const RequisicaoRecebida& r : Recebidas()) {
      if (r.header != "ATV") {
        const auto nsu = r.campos.find("012-000");
        operacoes.push_back(r.header + (nsu == r.campos.end() ? "" : " " + nsu->second));
      }
    }
    return operacoes;
  }
  // Answers approve CRT/CHQ/ADM/CNC and acknowledge everything.
  static RespostaGerenciador Aprova(const RequisicaoRecebida& r) {
    RespostaGerenciador resposta;
    if (r.header == "CRT" || r.header == "CHQ" || r.header == "ADM" || r.header == "CNC") {
      resposta.resposta = {{"009-000", "0"},   {"010-000", "REDE"}, {"012-000", "777"},
                           {"027-000", "FIN"}, {"028-000", "1"},    {"029-001", "\"VIA UNICA\""}};
      for (const char* eco : {"002-000", "003-000"}) {
        const auto campo = r.campos.find(eco);
        if (campo != r.campos.end()) {
          resposta.resposta[eco] = campo->second;
        }
      }
    }
    return resposta;
  }

 private:
  static void Gravar(const std::string& arquivo, TVornCliSiTefArquivo& conteudo) {
    conteudo.GravarArquivo(arquivo + ".w", false);
    platform::Current().RenameFile(arquivo + ".w", arquivo);
  }

  void Run() {
    platform::Platform& os = platform::Current();
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (!os.FileExists(req_)) {
        continue;
      }
      ocupado_ = true;
      Atender(os);
      ocupado_ = false;
    }
  }

  void Atender(platform::Platform& os) {
    TVornCliSiTefArquivo pedido;
    try {
      pedido.LeArquivo(req_);
    } catch (...) {
      return;
    }
    os.DeleteFile(req_);
    RequisicaoRecebida recebida;
    for (int i = 0; i < pedido.GetCount(); ++i) {
      TVornCliSiTefLinha& linha = pedido.GetLinha(i);
      recebida.campos[VornCliSiTefStr(linha.GetChave())] =
          VornCliSiTefStr(linha.Informacao().AsString());
    }
    recebida.header = recebida.campos["000-000"];
    recebida.id = std::stoi(recebida.campos["001-000"]);
    {
      std::lock_guard guard(lock_);
      recebidas_.push_back(recebida);
    }
    const RespostaGerenciador resposta = script_(recebida);
    if (!resposta.responderSTS) {
      return;
    }
    TVornCliSiTefArquivo sts;
    sts.GravaInformacao(0, 0, VornAnsiStr(recebida.header));
    sts.GravaInformacao(
        1, 0, VornAnsiStr(std::to_string(resposta.idSTS < 0 ? recebida.id : resposta.idSTS)));
    sts.GravaInformacao(999, 999, "0");
    Gravar(sts_, sts);
    if (resposta.resposta.empty()) {
      return;
    }
    if (resposta.respostaInvalidaAntes != RespostaGerenciador::nenhuma) {
      const bool outroPedido = resposta.respostaInvalidaAntes == RespostaGerenciador::deOutroPedido;
      TVornCliSiTefArquivo outra;
      outra.GravaInformacao(0, 0, VornAnsiStr(recebida.header));
      outra.GravaInformacao(1, 0,
                            VornAnsiStr(std::to_string(recebida.id + (outroPedido ? 1000 : 0))));
      if (outroPedido) {
        outra.GravaInformacao(999, 999, "0");
      }
      Gravar(resp_, outra);
      // The component's clock runs while it takes the wrong file away.
      ocupado_ = false;
      while (!stop_ && os.FileExists(resp_)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      ocupado_ = true;
    }
    TVornCliSiTefArquivo conteudo;
    conteudo.GravaInformacao(0, 0, VornAnsiStr(recebida.header));
    conteudo.GravaInformacao(1, 0, VornAnsiStr(std::to_string(recebida.id)));
    for (const auto& [chave, valor] : resposta.resposta) {
      conteudo.GravaInformacao(VornAnsiStr(chave), VornAnsiStr(valor));
    }
    if (!resposta.semTrailer) {
      conteudo.GravaInformacao(999, 999, "0");
    }
    Gravar(resp_, conteudo);
  }

  std::string req_;
  std::string sts_;
  std::string resp_;
  Script script_;
  mutable std::mutex lock_;
  std::vector<RequisicaoRecebida> recebidas_;
  TestClockPlatform& clock_;
  std::atomic<bool> ocupado_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A component with the scripted host, the test binding selected and
// initialized, backups and trace in a temporary folder.
class TefFixture {
 public:
  explicit TefFixture(FakeManager::Script script = FakeManager::Aprova) {
    tef.SetPathBackup(dir.Path() + "TEF");
    tef.SetArqLOG(dir.Path() + "tef.log");
    tef.SetEsperaSleep(10);
    host.Ligar(tef);
    auto owned = std::make_unique<TestBinding>(tef, dir.Path());
    binding = owned.get();
    binding->SetArqLOG(tef.ArqLOG());
    tef.Bindings().Add(std::move(owned));
    manager = std::make_unique<FakeManager>(*binding, std::move(script), os);
  }

  std::string Trace() const {
    return VornCliSiTefStr(
        AnsiFromBytes(platform::Current().ReadFile(dir.Path() + "tef.log").value_or("")));
  }
  std::string Backup(int numero) const {
    return dir.Path() + NativePath("TEF/") + "VornCliSiTef_Teste_" +
           VornCliSiTefStr(IntToStrZero(numero, 3)) + ".tef";
  }
  // Writes a backup file as a payment would have left it.
  void GravarBackup(int numero, const std::string& header, const std::string& nsu, bool confirmado,
                    const std::string& documento = "") const {
    platform::Current().ForceDirectories(dir.Path() + "TEF");
    TVornCliSiTefArquivo conteudo;
    conteudo.GravaInformacao(0, 0, VornAnsiStr(header));
    conteudo.GravaInformacao(1, 0, "1");
    conteudo.GravaInformacao(2, 0, VornAnsiStr(documento));
    conteudo.GravaInformacao(3, 0, "1000");
    conteudo.GravaInformacao(9, 0, "0");
    conteudo.GravaInformacao(10, 0, "REDE");
    conteudo.GravaInformacao(12, 0, VornAnsiStr(nsu));
    conteudo.GravaInformacao(27, 0, "FIN");
    conteudo.GravaInformacao(899, 1, confirmado ? "S" : "N");
    conteudo.GravaInformacao(999, 999, "0");
    conteudo.GravarArquivo(Backup(numero), false);
  }

  TestClockPlatform os;
  TempDir dir;
  TVornCliSiTef tef;
  ScriptedHost host;
  TestBinding* binding = nullptr;
  std::unique_ptr<FakeManager> manager;
};
