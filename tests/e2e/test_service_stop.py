"""A stop request (SIGTERM, as systemd and package upgrades send it) while a
payment waits for its client: the server stops taking connections, lets the
payment end within [server] stop_wait_seconds, then exits; the next start
finds nothing left to confirm or report."""

import json
import signal

from conftest import port_open, wait_until
from payment_support import (approval_steps, confirmations, ledger, open_session,
                             outbox_entries, payment_request, reply, setup_payment_gateway)
from wine import linux_only

AT_MENU = {"0": {"steps": [{"cmd": 21, "text": "1:Loja;2:Cliente;"}, {"cmd": 23}]
                 + approval_steps("debit")}}
WAITING = "Aguardando o fim da opera\u00e7\u00e3o em andamento para parar o servidor (at\u00e9 "
GAVE_UP = "A opera\u00e7\u00e3o em andamento n\u00e3o terminou em "


def answer(session):
    def reply_to(message):
        if message["type"] == "menu":
            return reply(session, "menu", response="1:Loja")
        if message["type"] == "confirmation":
            return reply(session, "confirmation")
        return None
    return reply_to


@linux_only("SIGTERM reaching the process as a stop request")
def test_stop_lets_the_running_payment_end(make_gateway, tmp_path, sale_api):
    gateway = setup_payment_gateway(make_gateway, tmp_path, AT_MENU, sale_api)
    cashier, session = open_session(gateway, sale_api)
    idle, _ = open_session(gateway, sale_api)
    cashier.converse(payment_request(session, operation=0), until=("menu",))

    gateway.signal(signal.SIGTERM)
    gateway.wait_log(WAITING + "300 s).")
    # No new client, and an idle one is let go at once; the payment goes on.
    wait_until(lambda: not port_open(gateway.port), what="the listener closed")
    assert idle.ended_by_server()
    assert gateway.proc.poll() is None
    texts = cashier.converse(reply(session, "menu", response="1:Loja"), answer(session))
    assert json.loads(texts[-1])["status"] == "approved"
    assert gateway.proc.wait(timeout=30) == 0
    assert "Opera\u00e7\u00e3o em andamento conclu\u00edda; parando o servidor." in gateway.log_text()
    assert confirmations(gateway) == [1]
    assert list((gateway.folder / "TEF").iterdir()) == []

    # The next run has nothing to finish: no second confirmation, no second report.
    gateway.start()
    client, session = open_session(gateway, sale_api)
    messages = client.converse({"route": "/initialize", "session_uuid": session,
                                "type": "initialize"}, answer(session), until=("initialize",))
    assert [json.loads(t)["type"] for t in messages] == ["initialize"]
    wait_until(lambda: [e["estado"] for e in outbox_entries(gateway)] == ["aceito"],
               what="the report accepted")
    gateway.stop()
    assert confirmations(gateway) == [1]
    assert len(sale_api.requests) == 1


@linux_only("SIGTERM reaching the process as a stop request")
def test_stop_ends_a_payment_whose_client_never_answers(make_gateway, tmp_path, sale_api):
    gateway = setup_payment_gateway(make_gateway, tmp_path, AT_MENU, sale_api,
                                     ini={("server", "stop_wait_seconds"): "1"})
    cashier, session = open_session(gateway, sale_api)
    cashier.converse(payment_request(session, operation=0), until=("menu",))

    gateway.signal(signal.SIGTERM)
    assert gateway.proc.wait(timeout=30) == 0
    log = gateway.log_text()
    assert WAITING + "1 s)." in log
    assert GAVE_UP + "1 s; a conex\u00e3o foi encerrada para parar o servidor." in log
    # The payment never reached an approval: aborted, nothing confirmed or reported.
    assert ledger(gateway)[-1]["fn"] == "ContinuaFuncaoSiTefInterativo"
    assert ledger(gateway)[-1]["continue"] == -1
    assert confirmations(gateway) == [] and sale_api.requests == []


@linux_only("SIGTERM reaching the process as a stop request")
def test_stop_that_runs_out_never_cuts_an_approved_payment(make_gateway, tmp_path, sale_api):
    # Approved and backed up, the payment waits for the library's confirmation
    # longer than the stop waits for it.
    debit = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}
    gateway = setup_payment_gateway(make_gateway, tmp_path, debit, sale_api,
                                     ini={("server", "stop_wait_seconds"): "1"},
                                     finalize_delay_ms=3000)
    cashier, session = open_session(gateway, sale_api)
    cashier.send(payment_request(session, operation=2))
    wait_until(lambda: list((gateway.folder / "TEF").glob("*.tef")), what="the backup")
    gateway.signal(signal.SIGTERM)
    # The cashier learns that the payment went through: told nothing, it
    # would be charged again.
    assert json.loads(cashier.converse(None)[-1])["status"] == "approved"
    assert gateway.proc.wait(timeout=30) == 0
    assert GAVE_UP + "1 s; a conex\u00e3o foi encerrada para parar o servidor." in gateway.log_text()
    # The library's call ended the payment: confirmed, reported, no backup left.
    assert confirmations(gateway) == [1]
    assert list((gateway.folder / "TEF").iterdir()) == []
    assert len(sale_api.requests) == 1
