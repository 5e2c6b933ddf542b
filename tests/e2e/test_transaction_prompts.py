"""The prompt relay end to end: every prompt kind answered right, with the
wrong type, with a member missing and with "back_menu"; the cancel
confirmation answered "Sim" and "Não"; what the library receives is read
from the stand-in library's ledger."""

import json

import pytest

from api_client import error, wire
from payment_support import (SaleApi, approval_steps, ledger, open_session, payment_request,
                             reply, setup_payment_gateway)

MENU_AB = {"cmd": 21, "text": "1:Debito;2:Credito;"}
MENU_XY = {"cmd": 21, "text": "1:Loja;2:Cliente;"}
FIELD = {"cmd": 30, "type": 0, "min": 1, "max": 4, "text": "Codigo"}
QUESTION = {"cmd": 20, "text": "Confirma?"}

CONFIRM_CANCEL = ('{"type":"question","message":"Deseja realmente cancelar esta opera\\u00E7\\u00E3o?",'
                  '"options":["Sim","N\\u00E3o"],"can_cancel":false}')
ABORTED = ('{"type":"confirmation","message":"Opera\\u00E7\\u00E3o cancelada pelo operador",'
           '"options":[],"can_cancel":false}')
CANCELED = ('{"type":"result","status":"canceled","message":"Transa\\u00E7\\u00E3o TEF n\\u00E3o '
            'realizada."}')


def menu(response, **members):
    return ("menu", {"response": response, **members})


def collect(**members):
    return ("collect", members)


def question(response):
    return ("question", {"response": response})


CONFIRMATION = ("confirmation", {})

# name, steps, replies in order, what the library got (answer, continue) for
# each prompt step, and how the conversation ends ("approved", "canceled" or
# an error message).
CASES = [
    ("menu option, letter case ignored", [MENU_AB], [menu("2:credito")], [("2", 0)], "approved"),
    ("menu answered with a code only", [MENU_AB], [menu("2"), CONFIRMATION],
     [("", -1)], "canceled"),
    ("menu answered with another type", [MENU_AB], [collect(typed=True, response="2"), CONFIRMATION],
     [("", -1)], "canceled"),
    ("menu reply without response", [MENU_AB], [("menu", {})], [("", -1)],
     "Campo response nao encontrado."),
    ("menu back_menu withdrawn goes back one step", [MENU_AB, MENU_XY],
     [menu("1:Debito"), menu("", back_menu=True), question("Não"), menu("2:Credito"),
      menu("1:Loja")],
     [("1", 0), ("", 1), ("2", 0), ("1", 0)], "approved"),
    ("menu cancellation withdrawn asks the menu again", [MENU_AB],
     [menu("", back_menu=False), question("Não"), menu("1:Debito")], [("1", 0)], "approved"),
    ("menu cancellation confirmed", [MENU_AB],
     [menu("", back_menu=False), question("Sim"), CONFIRMATION], [("", -1)], "canceled"),
    ("empty menu response without back_menu", [MENU_AB], [menu("")], [("", -1)],
     "Campo back_menu nao encontrado."),
    ("field typed", [FIELD], [collect(typed=True, response="1234")], [("1234", 0)], "approved"),
    ("field answered with another type", [FIELD], [menu("1")], [("", 0)], "approved"),
    ("field reply without typed", [FIELD], [("collect", {"response": "1"})], [("", -1)],
     "Campo typed nao encontrado."),
    ("field back_menu goes back one step", [MENU_AB, FIELD],
     [menu("1:Debito"), collect(typed=False, back_menu=True), menu("2:Credito"),
      collect(typed="true", response="77")],
     [("1", 0), ("", 1), ("2", 0), ("77", 0)], "approved"),
    ("field cancellation withdrawn asks the field again", [FIELD],
     [collect(typed=False, back_menu=False), question("Não"), collect(typed=True, response="9")],
     [("9", 0)], "approved"),
    ("field cancellation that stands aborts the function", [FIELD],
     [collect(typed=False, back_menu=False), question("Sim"), CONFIRMATION], [("", -1)],
     "canceled"),
    ("question Sim", [QUESTION], [question("Sim")], [("0", 0)], "approved"),
    ("question Não", [QUESTION], [question("Não")], [("1", 0)], "approved"),
    ("question in lower case is no answer", [QUESTION], [question("sim")], [("1", 0)], "approved"),
    ("question answered with another type", [QUESTION], [menu("Sim")], [("1", 0)], "approved"),
]


@pytest.fixture(scope="module")
def sale_api(tmp_path_factory):
    api = SaleApi(tmp_path_factory.mktemp("sale_api"))
    yield api
    api.close()


def prompt_answers(records, steps):
    """(answer, continue) of every call that answered one of the prompt steps."""
    prompt_cmds = {step["cmd"] for step in steps}
    return [(r["answer"], r["continue"]) for r in records
            if r["fn"] == "ContinuaFuncaoSiTefInterativo" and r.get("answered_cmd") in prompt_cmds]


def converse(client, session, request, replies):
    """Answers each prompt with the next reply; returns every text up to the
    result or the first error."""
    pending = list(replies)

    def answer(message):
        if message["type"] in ("menu", "collect", "question", "confirmation"):
            assert pending, f"unexpected prompt {message}"
            type_, members = pending.pop(0)
            return reply(session, type_, **members)
        return None

    texts = client.converse(request, answer, until=("result", "error"))
    assert not pending, f"prompts not asked: {pending}"
    return texts


@pytest.mark.parametrize("name,steps,replies,library,end", CASES, ids=[c[0] for c in CASES])
def test_prompt_answers(make_gateway, tmp_path, sale_api, name, steps, replies, library, end):
    gateway = setup_payment_gateway(make_gateway, tmp_path,
                                    {"0": {"steps": steps + approval_steps("debit")}}, sale_api)
    client, session = open_session(gateway, sale_api)
    texts = converse(client, session, payment_request(session, operation=0), replies)
    assert prompt_answers(ledger(gateway), steps) == library
    if end == "approved":
        assert '"status":"approved"' in texts[-1]
    elif end == "canceled":
        assert texts[-2:] == [ABORTED, CANCELED]
    else:
        assert texts[-1] == error(end)


def test_prompt_messages_are_exact(make_gateway, tmp_path, sale_api):
    steps = [{"cmd": 4, "text": "Forma de pagamento"}, MENU_AB,
             {"cmd": 34, "type": 130, "min": 0, "max": 12, "text": "Valor"}, QUESTION]
    gateway = setup_payment_gateway(make_gateway, tmp_path,
                                    {"0": {"steps": steps + approval_steps("debit")}}, sale_api)
    client, session = open_session(gateway, sale_api)
    texts = converse(client, session, payment_request(session, operation=0),
                     [menu("", back_menu="false"), question("Não"), menu("1:Debito"),
                      collect(typed=True, response="1,00"), question("Sim")])
    assert texts[:5] == [
        '{"type":"menu","title":"Forma de pagamento","options":["1:Debito","2:Credito"],'
        '"can_cancel":false,"back_menu":false}',
        CONFIRM_CANCEL,
        '{"type":"menu","title":"Forma de pagamento","options":["1:Debito","2:Credito"],'
        '"can_cancel":false,"back_menu":false}',
        '{"type":"collect","title":"Valor","minimum_size":0,"maximum_size":12,"field_type":130,'
        '"field_operation":"currency","can_cancel":false,"back_menu":false,"typed":true}',
        '{"type":"question","message":"Confirma?","options":["Sim","N\\u00E3o"],'
        '"can_cancel":false}',
    ]
