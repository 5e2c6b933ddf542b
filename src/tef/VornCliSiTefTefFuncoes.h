#pragma once

#include "platform/CallingConvention.h"

// The functions of the CliSiTef library the driver looks up, with the
// library's calling convention. Texts are NUL-terminated 8-bit strings in the
// ANSI code page; "int" is 32-bit, "short" 16-bit.
namespace clisitef {

using ConfiguraIntSiTefInterativoEx_t = int(VORN_STDCALL*)(const char* enderecoIP,
                                                           const char* codigoLoja,
                                                           const char* numeroTerminal,
                                                           short reservado,
                                                           const char* parametrosAdicionais);
using IniciaFuncaoSiTefInterativo_t = int(VORN_STDCALL*)(int modalidade, const char* valor,
                                                         const char* documento, const char* data,
                                                         const char* hora, const char* operador,
                                                         const char* restricoes);
using ContinuaFuncaoSiTefInterativo_t = int(VORN_STDCALL*)(int* proximoComando, int* tipoCampo,
                                                           short* tamanhoMinimo,
                                                           short* tamanhoMaximo, char* buffer,
                                                           int tamanhoBuffer, int continua);
using FinalizaTransacaoSiTefInterativo_t = int(VORN_STDCALL*)(short confirma, const char* documento,
                                                              const char* data, const char* hora);
using EscreveMensagemPermanentePinPad_t = int(VORN_STDCALL*)(const char* mensagem);
using VerificaPresencaPinPad_t = int(VORN_STDCALL*)();
using ObtemQuantidadeTransacoesPendentes_t = int(VORN_STDCALL*)(const char* data,
                                                                const char* documento);
using LeCartaoDiretoEx_t = int(VORN_STDCALL*)(char* mensagem, char* trilha1, char* trilha2,
                                              short timeOut, short reservado);
using LeTrilha3_t = int(VORN_STDCALL*)(char* resposta);
// Looked up so a library without them is refused; never called.
using LeCartaoSeguro_t = int(VORN_STDCALL*)();
using LeCartaoDiretoSeguro_t = int(VORN_STDCALL*)();

// A looked-up address as the function it is.
template <typename Funcao>
Funcao Como(void* endereco) {
  return reinterpret_cast<Funcao>(endereco);
}

// Size of the buffer shared with the command loop: 20000 characters and the NUL.
inline constexpr int kTamanhoBuffer = 20001;
// Status of the command loop: a command was returned, go on.
inline constexpr int kContinuar = 10000;

}  // namespace clisitef
