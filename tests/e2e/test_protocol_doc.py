"""Every conversation in docs/protocol.md, replayed against a gateway on the
built-in stand-in flows, with a real HTTPS sale API for the callback.

A conversation is a fenced block whose info string is "conversation", under
a heading that names it. Its lines:

    → {...}   the client sends this text
    ← {...}   the gateway's next message is exactly this text

`<name>` in a ← line stands for any text inside a JSON string and remembers
it; in a → line it is replaced by what was remembered, or by a fresh access
token for `<token>`. A block that uses `<session>` without starting a session
itself gets one opened first. With DOC_RECORD=1 the test prints what the
gateway sent instead of comparing, to write a new conversation."""

import json
import os
import re
from pathlib import Path

import pytest

from api_client import Client, claims_with, set_ini, token

DOC = Path(__file__).resolve().parents[2] / "docs" / "protocol.md"
PLACEHOLDER = re.compile(r"<([a-z_]+)>")


def conversations():
    """(name, lines) of every conversation block, named by the heading above it."""
    blocks, heading, lines, inside = [], "", [], False
    for line in DOC.read_text(encoding="utf-8").splitlines():
        if line.startswith("#") and not inside:
            heading = line.lstrip("#").strip()
        elif line.strip() == "```conversation":
            inside, lines = True, []
        elif line.strip() == "```" and inside:
            inside = False
            blocks.append((heading, lines))
        elif inside and line.strip():
            lines.append(line)
    return blocks


def pattern(expected, known):
    """A ← line as a regular expression: a <name> already known must repeat
    its value, a new one is a named group."""
    parts, last, named = [], 0, set()
    for match in PLACEHOLDER.finditer(expected):
        name = match.group(1)
        parts.append(re.escape(expected[last:match.start()]))
        if name in known:
            parts.append(re.escape(known[name]))
        elif name in named:
            parts.append(f"(?P={name})")
        else:
            parts.append(f'(?P<{name}>[^"]*)')
            named.add(name)
        last = match.end()
    parts.append(re.escape(expected[last:]))
    return re.compile("".join(parts))


def test_the_document_has_conversations():
    names = [name for name, _ in conversations()]
    assert len(names) >= 8 and len(set(names)) == len(names), names


def record(client, known):
    """Prints every message until the gateway has been quiet for two seconds."""
    client.sock.settimeout(2)
    try:
        while True:
            received = client.recv()
            print("←", received)
            session = re.search(r'"session_uuid":"([^"]*)"', received)
            if session:
                known["session"] = session.group(1)
    except TimeoutError:
        pass
    finally:
        client.sock.settimeout(30)


@pytest.mark.parametrize("lines", [lines for _, lines in conversations()],
                         ids=[name for name, _ in conversations()])
def test_conversation(make_gateway, sale_api, lines):
    gateway = make_gateway(start=False, api=True)
    set_ini(gateway.folder, "callback", "ca_file", str(sale_api.cert))
    set_ini(gateway.folder, "sitef", "printer", "")
    gateway.start()
    client = Client(gateway)
    client.sock.settimeout(30)
    claims = claims_with(callback_url=sale_api.url)
    known = {"token": token(claims)}
    script = "\n".join(lines)
    if "<session>" in script and '"route":"/session/start"' not in script:
        known["session"] = client.start_session(claims)["session_uuid"]
    recording = os.environ.get("DOC_RECORD") == "1"
    for line in lines:
        arrow, text = line[0], line[1:].strip()
        if arrow == "→":
            client.send(PLACEHOLDER.sub(lambda m: known[m.group(1)], text))
            if recording:
                print("→", text)
                record(client, known)
        elif arrow == "←":
            if recording:
                continue
            received = client.recv()
            match = pattern(text, known).fullmatch(received)
            assert match, f"expected {text}\n     got {received}"
            known.update(match.groupdict())
            json.loads(received)
        else:
            raise AssertionError(f"a conversation line begins with → or ←: {line}")
    client.close()
