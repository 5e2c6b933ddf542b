"""A log, backup or journal folder that cannot be written: the gateway keeps
serving. Without its log a payment goes on as usual; without its backup, or
without its entry in the journal of results for the sale API, a payment is
undone with the library before it is confirmed, and the client is told it
failed."""

import json

import pytest

from api_client import SERVICE_VERSION, VERSION_PROBE
from folder_faults import folder_faults_need_linux, make_full, make_read_only
from payment_support import (approval_steps, ledger, open_session, payment_request,
                             reply, setup_payment_gateway)

DEBIT = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}


@folder_faults_need_linux
@pytest.mark.parametrize("folder_name", ["Log", "TEF", "Outbox"])
@pytest.mark.parametrize("fault", [make_read_only, make_full], ids=["read-only", "full"])
def test_unwritable_folder(make_gateway, tmp_path, sale_api, folder_name, fault):
    gateway = setup_payment_gateway(make_gateway, tmp_path, DEBIT, sale_api)
    gateway.stop()
    folder = gateway.folder / folder_name
    fault(gateway, folder)
    try:
        gateway.start()
        client, session = open_session(gateway, sale_api)
        # The undo tells the operator the payment was not made.
        texts = client.converse(payment_request(session, operation=2),
                                lambda m: reply(session, "confirmation")
                                if m["type"] == "confirmation" else None,
                                until=("result", "error"))
        last = json.loads(texts[-1])
        finals = [r["confirm"] for r in ledger(gateway)
                  if r["fn"] == "FinalizaTransacaoSiTefInterativo"]
        if folder_name == "Log":
            # Logging is best effort: the payment goes on as usual.
            assert (last["status"], finals, len(sale_api.requests)) == ("approved", [1], 1)
        else:
            # Without its backup (or its journal entry) the payment is undone
            # before any confirmation; the client gets the error, which names
            # the file, and nobody is told the payment was approved.
            assert last == {"type": "error", "message": last["message"]}
            assert ("VornCliSiTef_CliSiTef_001.tef" if folder_name == "TEF" else "/Outbox/") \
                in last["message"]
            assert (finals, sale_api.requests) == ([0], [])
            assert list((gateway.folder / "TEF").glob("*.tef")) == []
            assert not [t for t in texts if '"approved"' in t]
        # The gateway keeps serving.
        client.send(VERSION_PROBE)
        assert client.recv() == SERVICE_VERSION
    finally:
        folder.chmod(0o755)
