// The CliSiTef binding's command loop: starting a library function and
// answering the commands it returns until it ends, through the component's
// events, preset answers and a few automatic answers.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefTef.h"
#include "tef/VornCliSiTefTefFuncoes.h"
#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

// How often an aborted library function is answered with the abort code
// before the driver gives up waiting for its final status.
constexpr int kTentativasAbortar = 50;

std::string TrimRight(const std::string& text) {
  std::size_t fim = text.size();
  while (fim > 0 && static_cast<unsigned char>(text[fim - 1]) <= ' ') {
    --fim;
  }
  return text.substr(0, fim);
}

// The buffer's text up to its NUL.
AnsiString TextoDoBuffer(const char* buffer) {
  return AnsiString(buffer, ::strnlen(buffer, clisitef::kTamanhoBuffer - 1));
}

// Writes the answer into the buffer, NUL-terminated; an answer longer than
// the buffer's 20000 characters is cut to fit.
void CopiarParaBuffer(char* buffer, const AnsiString& resposta) {
  const std::size_t tamanho =
      std::min(resposta.size(), static_cast<std::size_t>(clisitef::kTamanhoBuffer - 1));
  std::memcpy(buffer, resposta.data(), tamanho);
  buffer[tamanho] = '\0';
}

// The options of a menu text "1:A;2:B;", one entry each (code, colon, label).
std::vector<std::string> OpcoesDoMenu(const std::string& texto) {
  std::vector<std::string> opcoes;
  std::string atual;
  for (const char c : texto) {
    if (c == ';') {
      opcoes.push_back(atual);
      atual.clear();
    } else {
      atual += c;
    }
  }
  if (!atual.empty()) {
    opcoes.push_back(atual);
  }
  return opcoes;
}

// The instalment count as a number; raises EConvertError when it is none.
int ParaInteiro(const std::string& texto) {
  const std::string limpo = Trim(texto);
  std::size_t fim = 0;
  int valor = 0;
  try {
    valor = std::stoi(limpo, &fim);
  } catch (const std::exception&) {
    fim = 0;
  }
  if (limpo.empty() || fim != limpo.size()) {
    throw EConvertError("'" + texto + "' não é um valor inteiro válido.");
  }
  return valor;
}

// An amount the user typed, as the library reads it.
AnsiString Normalizado(const AnsiString& resposta) {
  const double valor = StringToFloatDef(VornCliSiTefStr(resposta), 0);
  return ValorParaCliSiTef(Currency::FromDouble(valor));
}

}  // namespace

AnsiString ValorParaCliSiTef(Currency valor) {
  const std::int64_t centavos = valor.CentsHalfAwayFromZero();
  const std::int64_t absoluto = centavos < 0 ? -centavos : centavos;
  std::string texto = std::to_string(absoluto / 100) + "," + (absoluto % 100 < 10 ? "0" : "") +
                      std::to_string(absoluto % 100);
  if (centavos < 0) {
    texto.insert(0, "-");
  }
  return AnsiFromBytes(texto);
}

std::string ValorFormatado(Currency valor) {
  std::string texto(AnsiBytes(ValorParaCliSiTef(valor)));
  std::replace(texto.begin(), texto.end(), ',', platform::Current().Regional().decimalSeparator);
  return texto;
}

AnsiString TVornCliSiTefCliSiTef::Resposta(int tipoCampo) const {
  const std::string prefixo = std::to_string(tipoCampo) + "=";
  for (const std::string& linha : fRespostas) {
    if (linha.compare(0, prefixo.size(), prefixo) == 0) {
      return VornAnsiStr(linha.substr(prefixo.size()));
    }
  }
  return {};
}

void TVornCliSiTefCliSiTef::SetResposta(int tipoCampo, const std::string& resposta) {
  const std::string prefixo = std::to_string(tipoCampo) + "=";
  std::erase_if(fRespostas, [&prefixo](const std::string& linha) {
    return linha.compare(0, prefixo.size(), prefixo) == 0;
  });
  if (!resposta.empty()) {
    fRespostas.push_back(prefixo + resposta);
  }
}

std::string TVornCliSiTefCliSiTef::ProcessaMensagemTela(const std::string& mensagem) {
  std::string comArroba;
  for (const char c : mensagem) {
    if (c == '@') {
      comArroba += "\r\n";
    } else {
      comArroba += c;
    }
  }
  std::string resultado;
  for (std::size_t i = 0; i < comArroba.size(); ++i) {
    if (comArroba.compare(i, 2, "/n") == 0) {
      resultado += "\r\n";
      ++i;
    } else {
      resultado += comArroba[i];
    }
  }
  return resultado;
}

std::string TVornCliSiTefCliSiTef::HMS() {
  return FormatDateTime("hhnnss", Now());
}

int TVornCliSiTefCliSiTef::FazerRequisicao(int Funcao, const AnsiString& AHeader, Currency Valor,
                                           const AnsiString& Documento,
                                           const AnsiString& ListaRestricoes) {
  if (fpAguardandoResposta) {
    throw Exception("Requisição anterior não concluida");
  }
  fIniciouRequisicao = true;
  const platform::CivilTime agora = platform::Current().LocalNow();
  const AnsiString data = VornAnsiStr(FormatDateTime("yyyymmdd", agora));
  const AnsiString hora = VornAnsiStr(FormatDateTime("hhnnss", agora));
  const AnsiString valor = ValorParaCliSiTef(Valor);

  TVornCliSiTefRespCliSiTef& resp = RespCliSiTef();
  resp.Clear();
  fpIDSeq = agora.hour * 3600 + agora.minute * 60 + agora.second;
  const AnsiString documento = AnsiFromBytes(std::to_string(fpIDSeq));
  resp.Conteudo().GravaInformacao(899, 100, AHeader);
  resp.Conteudo().GravaInformacao(899, 101, documento);
  resp.Conteudo().GravaInformacao(899, 102, documento);
  resp.Conteudo().GravaInformacao(899, 103,
                                  AnsiFromBytes(std::to_string(Valor.CentsHalfAwayFromZero())));
  resp.SetTipoGP(gpCliSiTef);

  GravaLog("*** IniciaFuncaoSiTefInterativo. Modalidade: " + std::to_string(Funcao) +
           " Valor: " + VornCliSiTefStr(valor) + " Documento: " + VornCliSiTefStr(Documento) +
           " Data: " + VornCliSiTefStr(data) + " Hora: " + VornCliSiTefStr(hora) + " Operador: " +
           VornCliSiTefStr(fOperador) + " Restricoes: " + VornCliSiTefStr(ListaRestricoes));
  if (fIniciaFuncaoSiTefInterativo == nullptr) {
    throw Exception("Erro ao iniciar \"TEF\"");
  }
  return clisitef::Como<clisitef::IniciaFuncaoSiTefInterativo_t>(fIniciaFuncaoSiTefInterativo)(
      Funcao, valor.c_str(), documento.c_str(), data.c_str(), hora.c_str(), fOperador.c_str(),
      ListaRestricoes.c_str());
}

void TVornCliSiTefCliSiTef::AbortarFuncao(char* buffer) {
  int comando = 0;
  int tipo = 0;
  short minimo = 0;
  short maximo = 0;
  for (int tentativa = 0; tentativa < kTentativasAbortar; ++tentativa) {
    buffer[0] = '\0';
    GravaLog("ContinuaFuncaoSiTefInterativo, Chamando: Continua = -1 Buffer = ");
    const int status =
        clisitef::Como<clisitef::ContinuaFuncaoSiTefInterativo_t>(fContinuaFuncaoSiTefInterativo)(
            &comando, &tipo, &minimo, &maximo, buffer, clisitef::kTamanhoBuffer, -1);
    if (status != clisitef::kContinuar) {
      GravaLog("*** ContinuaFuncaoSiTefInterativo, Finalizando: STS = " + std::to_string(status));
      return;
    }
  }
  GravaLog("*** ContinuaFuncaoSiTefInterativo, a função não terminou depois de " +
           std::to_string(kTentativasAbortar) + " pedidos de interrupção");
}

int TVornCliSiTefCliSiTef::ContinuarRequisicao(bool bIdAmigo,
                                               const std::string& NumeroCartaoDigitado,
                                               const std::string& DataVencimentoDigitado,
                                               const std::string& CVVDigitado,
                                               std::string QtdParcela) {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespCliSiTef& resp = RespCliSiTef();

  int proximoComando = 0;
  int tipoCampo = 0;
  short tamanhoMinimo = 0;
  short tamanhoMaximo = 0;
  std::vector<char> buffer(clisitef::kTamanhoBuffer, '\0');
  int continua = 0;
  AnsiString resposta;
  std::string captionMenu;
  std::string mensagemOperador;
  std::string mensagemCliente;
  int status = clisitef::kContinuar;
  // Whether the library is in the middle of a function: a command was
  // returned and not answered yet.
  bool emAndamento = false;

  fIniciouRequisicao = true;
  fCancelamento = false;
  fDevolucao = false;
  fReimpressao = false;
  componente.fIdDaCarteiraDigital.clear();
  componente.fNomeCarteiraDigital.clear();
  componente.fBandeiraCarteiraDigital.clear();
  componente.fValorAprovadoCarteiraDigital.clear();
  componente.fCPFCliente.clear();
  componente.FCNPJCliente.clear();
  componente.fTelefoneCliente.clear();
  fpAguardandoResposta = true;
  componente.IDAmigo.clear();
  componente.BloquearMouseTeclado(true);

  auto terminar = [&] {
    componente.BloquearMouseTeclado(false);
    std::string conteudo;
    for (const AnsiString& linha : resp.Conteudo().Linhas()) {
      conteudo += VornCliSiTefStr(linha) + "\r\n";
    }
    GravaLog(conteudo);
    resp.ConteudoToProperty();
    fpAguardandoResposta = false;
  };

  try {
    if (fContinuaFuncaoSiTefInterativo == nullptr) {
      throw Exception("Erro ao iniciar \"TEF\"");
    }
    do {
      GravaLog("ContinuaFuncaoSiTefInterativo, Chamando: Continua = " + std::to_string(continua) +
               " Buffer = " + VornCliSiTefStr(resposta));
      status =
          clisitef::Como<clisitef::ContinuaFuncaoSiTefInterativo_t>(fContinuaFuncaoSiTefInterativo)(
              &proximoComando, &tipoCampo, &tamanhoMinimo, &tamanhoMaximo, buffer.data(),
              clisitef::kTamanhoBuffer, continua);
      emAndamento = status == clisitef::kContinuar;
      continua = 0;
      const AnsiString mensagemAnsi =
          AnsiFromBytes(TrimRight(std::string(AnsiBytes(TextoDoBuffer(buffer.data())))));
      const std::string mensagem = VornCliSiTefStr(mensagemAnsi);
      resposta.clear();
      bool digitado = true;
      bool voltar = false;
      GravaLog("ContinuaFuncaoSiTefInterativo, Retornos: STS = " + std::to_string(status) +
               " ProximoComando = " + std::to_string(proximoComando) +
               " TipoCampo = " + std::to_string(tipoCampo) + " Buffer = " + mensagem +
               " Tam.Min = " + std::to_string(tamanhoMinimo) +
               " Tam.Max = " + std::to_string(tamanhoMaximo));

      if (status != clisitef::kContinuar) {
        GravaLog("*** ContinuaFuncaoSiTefInterativo, Finalizando: STS = " + std::to_string(status));
      } else {
        if (tipoCampo > 0) {
          resposta = Resposta(tipoCampo);
        }
        auto exibir = [&componente](TVornCliSiTefOperacaoMensagem operacao,
                                    const std::string& texto) {
          return componente.DoExibeMsg(operacao, texto);
        };
        auto coletar = [&](TVornCliSiTefCliSiTefOperacaoCampo operacao) {
          if (componente.OnObtemCampo) {
            componente.OnObtemCampo(mensagem, tamanhoMinimo, tamanhoMaximo, tipoCampo, operacao,
                                    resposta, digitado, voltar);
          }
        };
        auto coletarDesbloqueado = [&](TVornCliSiTefCliSiTefOperacaoCampo operacao) {
          componente.BloquearMouseTeclado(false);
          coletar(operacao);
          componente.BloquearMouseTeclado(true);
        };
        auto obterSenha = [&] {
          if (componente.OnObterSenha) {
            componente.OnObterSenha(mensagem, voltar);
          }
        };
        auto cancelando = [this](int tipo) {
          return FCancelandoTransacaoTEF && (tipo == 515 || tipo == 516 || tipo == 146);
        };
        auto respostaDoCancelamento = [this](int tipo) {
          if (tipo == 515) {
            return VornAnsiStr(FormatDateTime("ddmmyyyy", FCancelandoTransacaoDATA));
          }
          if (tipo == 516) {
            return VornAnsiStr(FCancelandoTransacaoNSU);
          }
          return VornAnsiStr(ValorFormatado(FCancelandoTransacaoVALOR));
        };

        switch (proximoComando) {
          case 0: {
            resp.GravaInformacao(tipoCampo, mensagemAnsi);
            switch (tipoCampo) {
              case 15:
              case 25:
                resp.GravaInformacao(tipoCampo, "True");
                break;
              case 56:
              case 57:
              case 58:
                fReimpressao = true;
                break;
              case 106:
                if (componente.fIdDaCarteiraDigital.empty())
                  componente.fIdDaCarteiraDigital = mensagem;
                break;
              case 107:
                if (componente.fNomeCarteiraDigital.empty())
                  componente.fNomeCarteiraDigital = mensagem;
                break;
              case 108:
                if (componente.fBandeiraCarteiraDigital.empty())
                  componente.fBandeiraCarteiraDigital = mensagem;
                break;
              case 109:
                if (componente.fValorAprovadoCarteiraDigital.empty())
                  componente.fValorAprovadoCarteiraDigital = mensagem;
                break;
              case 110:
                fDevolucao = true;
                break;
              case 131:
                if (componente.fCodigoRede.empty())
                  componente.fCodigoRede = mensagem;
                break;
              case 132:
                if (componente.fCodigoBandeira.empty())
                  componente.fCodigoBandeira = mensagem;
                break;
              case 133:
                if (componente.fCodigoNSU.empty())
                  componente.fCodigoNSU = mensagem;
                break;
              case 134:
                if (componente.fCodigoNSUHost.empty())
                  componente.fCodigoNSUHost = mensagem;
                break;
              case 135:
                if (componente.fCodigoAutorizacao.empty())
                  componente.fCodigoAutorizacao = mensagem;
                break;
              case 500:
                obterSenha();
                break;
              case 502:
                if (componente.fCPFCliente.empty())
                  componente.fCPFCliente = mensagem;
                break;
              case 503:
                if (componente.FCNPJCliente.empty())
                  componente.FCNPJCliente = mensagem;
                break;
              case 504:
                if (componente.fTelefoneCliente.empty())
                  componente.fTelefoneCliente = mensagem;
                break;
              case 732:
                mensagemOperador = ProcessaMensagemTela(mensagem);
                exibir(opmExibirMsgOperador, mensagemOperador);
                break;
              case 800:
                if (FCodigoHASH.empty())
                  FCodigoHASH = mensagem;
                break;
              default:
                break;
            }
            break;
          }
          case 1:
            mensagemOperador = ProcessaMensagemTela(mensagem);
            exibir(opmExibirMsgOperador, mensagemOperador);
            break;
          case 2:
            mensagemCliente = ProcessaMensagemTela(mensagem);
            exibir(opmExibirMsgCliente, mensagemCliente);
            break;
          case 3:
            mensagemOperador = ProcessaMensagemTela(mensagem);
            mensagemCliente = mensagemOperador;
            exibir(opmExibirMsgOperador, mensagemOperador);
            exibir(opmExibirMsgCliente, mensagemCliente);
            break;
          case 4:
            captionMenu = mensagem;
            break;
          case 11:
            mensagemOperador.clear();
            exibir(opmRemoverMsgOperador, "");
            break;
          case 12:
            mensagemCliente.clear();
            exibir(opmRemoverMsgCliente, "");
            break;
          case 13:
            exibir(opmRemoverMsgOperador, "");
            exibir(opmRemoverMsgCliente, "");
            break;
          case 14:
            captionMenu.clear();
            break;
          case 20:
            resposta = exibir(opmYesNo, mensagem.empty() ? "CONFIRMA ?" : mensagem) == mrYes
                           ? AnsiString("0")
                           : AnsiString("1");
            break;
          case 21: {
            if (fOperacaoCRT == 2 && (mensagem == "1:Magnetico/Chip;2:Digitado;" ||
                                      mensagem.substr(0, 15) == "1:VISA ELECTRON" ||
                                      mensagem.substr(0, 9) == "1:A Vista")) {
              resposta = "1";
            } else if (fOperacaoCRT == 3 && mensagem == "1:Magnetico/Chip;2:Digitado;") {
              resposta = "1";
            } else if (fOperacaoCRT == 3 && mensagem.substr(0, 9) == "1:A Vista") {
              resposta = QtdParcela == "01" ? "1" : "2";
            } else {
              const std::vector<std::string> opcoes = OpcoesDoMenu(mensagem);
              int itemSelecionado = -1;
              componente.BloquearMouseTeclado(false);
              if (componente.OnExibeMenu) {
                componente.OnExibeMenu(captionMenu, opcoes, itemSelecionado, voltar);
              }
              componente.BloquearMouseTeclado(true);
              if (!voltar) {
                if (itemSelecionado >= 0 && itemSelecionado < static_cast<int>(opcoes.size())) {
                  const std::string& opcao = opcoes[static_cast<std::size_t>(itemSelecionado)];
                  resposta = VornAnsiStr(opcao.substr(0, opcao.find(':')));
                } else {
                  digitado = false;
                }
              }
            }
            break;
          }
          case 22: {
            const std::string texto = Trim(mensagem);
            if (texto == "Unauthorized") {
              exibir(opmExcept, mensagem);
            } else if (texto == "Transacao ja efetuada") {
              exibir(opmOK,
                     "Transação já efetuada no sitef\r\nImprima o ultimo comprovante de "
                     "pagamento e informe o pagamento manual.");
            }
            digitado = false;
            voltar = true;
            break;
          }
          case 23: {
            bool interromper = false;
            if (componente.OnAguardaResp) {
              componente.OnAguardaResp("23", 0, interromper);
            }
            if (interromper) {
              digitado = false;
            }
            break;
          }
          case 30: {
            componente.BloquearMouseTeclado(false);
            if (tipoCampo == 501 || tipoCampo == 502 || tipoCampo == 506) {
              // Answered with the preset taken above.
            } else if (tipoCampo == 514) {
              if (!CVVDigitado.empty()) {
                resposta = VornAnsiStr(CVVDigitado);
              } else {
                // The security code the user enters is the answer.
                coletar(tcSeguranca);
              }
            } else if (tipoCampo == 500) {
              obterSenha();
            } else if (cancelando(tipoCampo)) {
              resposta = respostaDoCancelamento(tipoCampo);
              resp.GravaInformacao(tipoCampo, resposta);
            } else {
              const bool cartaoDigitado =
                  !NumeroCartaoDigitado.empty() || !DataVencimentoDigitado.empty();
              if (tipoCampo == 512 && !NumeroCartaoDigitado.empty()) {
                resposta = VornAnsiStr(NumeroCartaoDigitado);
              } else if (tipoCampo == 513 && !DataVencimentoDigitado.empty()) {
                resposta = VornAnsiStr(DataVencimentoDigitado);
              } else if (tipoCampo == 505 && QtdParcela != "01" && !QtdParcela.empty()) {
                if (ParaInteiro(QtdParcela) > 0) {
                  resposta = VornAnsiStr(QtdParcela);
                } else {
                  coletar(tcString);
                  if (digitado) {
                    QtdParcela = VornCliSiTefStr(resposta);
                  }
                }
              } else if (!cartaoDigitado) {
                coletar(tcString);
              }
              resp.GravaInformacao(tipoCampo, resposta);
            }
            componente.BloquearMouseTeclado(true);
            break;
          }
          case 31:
            componente.BloquearMouseTeclado(false);
            if (tipoCampo == 517) {
              if (Trim(VornCliSiTefStr(Resposta(517))).empty()) {
                if (componente.OnObtemCheque) {
                  componente.OnObtemCheque(mensagem, tipoCampo, tcString, resposta, digitado,
                                           voltar);
                }
              } else {
                resposta = Resposta(517);
              }
            } else {
              coletar(tcCMC7);
            }
            componente.BloquearMouseTeclado(true);
            break;
          case 34:
            if (tipoCampo == 146 && FCancelandoTransacaoTEF) {
              resposta = respostaDoCancelamento(146);
              resp.GravaInformacao(146, resposta);
            } else if (mensagem == "Forneca a taxa de embarque" ||
                       mensagem == "Forneca a taxa de servico") {
              const bool fornecer = mensagem == "Forneca a taxa de embarque"
                                        ? componente.FornecerTaxaDeEmbarque
                                        : componente.FornecerTaxaDeServico;
              if (fornecer) {
                coletarDesbloqueado(tcCurrency);
                resposta = Normalizado(resposta);
              } else {
                resposta = VornAnsiStr(ValorFormatado(Currency()));
              }
            } else if (mensagem == "VISA ELECTRON\nSAQUE") {
              resposta = VornAnsiStr(ValorFormatado(Currency()));
            } else {
              coletarDesbloqueado(tcCurrency);
              resposta = Normalizado(resposta);
            }
            break;
          case 35:
            coletarDesbloqueado(tcBarCode);
            break;
          case 50:
            if (tipoCampo == 584 && componente.OnExibeQRCode) {
              componente.OnExibeQRCode(mensagem);
            }
            break;
          case 52: {
            const std::string texto = ProcessaMensagemTela(mensagem);
            if (tipoCampo == 4128) {
              exibir(opmQRCode, texto);
            } else {
              mensagemOperador = texto;
              mensagemCliente = texto;
              exibir(opmExibirMsgOperador, texto);
              exibir(opmExibirMsgCliente, texto);
            }
            break;
          }
          default:
            break;
        }
      }

      if (status == 0 && bIdAmigo) {
        const AnsiString texto = TextoDoBuffer(buffer.data());
        if (texto.size() > 1) {
          componente.IDAmigo += VornCliSiTefStr(texto.substr(1, 10));
        }
        componente.DoExibeMsg(opmRemoverMsgOperador, "");
        componente.DoExibeMsg(opmRemoverMsgCliente, "");
      }
      if (voltar) {
        continua = 1;
      } else if (!digitado) {
        continua = -1;
      }
      if ((voltar && status == clisitef::kContinuar) || !digitado) {
        componente.DoExibeMsg(opmRemoverMsgOperador, "");
        componente.DoExibeMsg(opmRemoverMsgCliente, "");
      }
      CopiarParaBuffer(buffer.data(), resposta);
    } while (status == clisitef::kContinuar);
  } catch (...) {
    // Whatever went wrong on this side, the library must not be left in the
    // middle of its function.
    if (emAndamento) {
      AbortarFuncao(buffer.data());
    }
    terminar();
    throw;
  }
  terminar();
  return status;
}

int TVornCliSiTefCliSiTef::LerCartaoSeguro() {
  TVornCliSiTef& componente = Componente();
  if (fLeCartaoDiretoEx == nullptr) {
    throw Exception("Erro ao iniciar \"TEF\"");
  }
  componente.DoExibeMsg(opmExibirMsgOperador, "Passe o cartão");
  componente.DoExibeMsg(opmExibirMsgCliente, "Passe o cartão");
  std::array<char, 25> mensagem{};
  std::array<char, 129> trilha1{};
  std::array<char, 129> trilha2{};
  const int resultado = clisitef::Como<clisitef::LeCartaoDiretoEx_t>(fLeCartaoDiretoEx)(
      mensagem.data(), trilha1.data(), trilha2.data(), kTimeOutLeituraCartao, 0);
  mensagem.back() = '\0';
  trilha1.back() = '\0';
  trilha2.back() = '\0';
  const std::string t1 = TrimRight(VornCliSiTefStr(AnsiString(trilha1.data())));
  const std::string t2 = VornCliSiTefStr(AnsiString(trilha2.data()));
  componente.IDAmigo = Trim(t2).empty() ? t1 : t1 + "\r" + " ( " + t2 + " )";
  componente.DoExibeMsg(opmExibirMsgOperador, "");
  componente.DoExibeMsg(opmExibirMsgCliente, "");
  DefineMensagemPermanentePinPad("** BOA VIAGEM **");
  return resultado;
}

int TVornCliSiTefCliSiTef::LerTrilha3(AnsiString& /*AResposta*/) {
  DefineMensagemPermanentePinPad("ID Amigo");
  std::array<char, 64> buffer{};
  const int status =
      fLeTrilha3 != nullptr ? clisitef::Como<clisitef::LeTrilha3_t>(fLeTrilha3)(buffer.data()) : -1;
  if (status == clisitef::kContinuar) {
    ContinuarRequisicao(true, "", "", "", "0");
  }
  DefineMensagemPermanentePinPad("** BOA VIAGEM **");
  return status;
}
