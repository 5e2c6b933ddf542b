#pragma once

// The debug window's starting text: one complete result message of an
// approved credit payment, for the test button to post to the sale API.
inline constexpr char kSampleResult[] = R"({
  "type": "result",
  "status": "approved",
  "message": "Transação TEF concluída com sucesso.",
  "transaction_data": [
    {
      "sale_id": 1001,
      "operation": "credit",
      "card_number": "************0001",
      "operator": "REDE TESTE",
      "payer_name": "Cliente de Teste",
      "institution": "BANDEIRA TESTE",
      "payment_method_code": "00",
      "payment_method_description": "A vista",
      "hash": "",
      "nsu_code": "000123",
      "authorization_code": "654321",
      "establishment_code": "0000000000",
      "number_of_installments": 0,
      "transaction_value": 10.5,
      "transaction_date_time": "2026-12-10T17:07:09Z",
      "gateway": "Software Express",
      "receipt": [
        {"copy_number": 1, "data": ["LOJA TESTE", "VIA DO ESTABELECIMENTO", "VALOR: R$ 10,50"]},
        {"copy_number": 2, "data": ["LOJA TESTE", "VIA DO CLIENTE", "VALOR: R$ 10,50"]}
      ]
    }
  ]
})";
