#!/usr/bin/env python3
"""Runs the gateway's benchmarks against its peers and prints each figure
beside its target. Called by scripts/bench.sh, which builds what it needs.

Each benchmark starts the installed gateway (a temporary app folder with a
development certificate, on a free port) and, where there is one, its peer in
the same run: the Node.js gateway in bench/peer/ for the WebSocket
benchmarks, a raw TLS transfer for "/print". The measuring is done by
build-bench/gateway-bench (C++, OpenSSL), so the client is not the
bottleneck. --smoke runs every benchmark with tiny counts and checks only that
each one works; it asserts nothing about speed.
"""

import argparse
import base64
import hashlib
import hmac
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
SHARED_KEY = b"Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U"
CLAIMS = {"secctional_code": "1009", "ip_address": "127.0.0.1", "store_code": "00000001",
          "additional_parameters": "", "operator": "caixa 1", "sale_id": "42",
          "company_id": "3", "callback_url": "https://sales.example/"}
VERSION = json.dumps({"route": "/version", "type": "version", "category": "service_exe"},
                     separators=(",", ":"))
VERSION_REPLY = '{"type":"version","category":"service_exe","version":"1.0.12.0"}'
PRINT_SLEEP_US = 500_000  # the gateway waits 500 ms on purpose before starting the printer
POLL_US = 100_000  # each command-23 wait of the library gives a silent client 100 ms
PAYMENT = json.dumps({"route": "/transaction", "session_uuid": "{session}",
                      "type": "transaction", "operation": 3, "payer_name": "Maria",
                      "sale_id": "{sale}", "transaction_value": "12,34",
                      "number_of_installments": 1}, separators=(",", ":"))


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def token(**claims):
    signing_input = (b64url(b'{"alg":"HS256","typ":"JWT"}') + "." +
                     b64url(json.dumps({**CLAIMS, **claims}).encode()))
    mac = hmac.new(SHARED_KEY, signing_input.encode(), hashlib.sha256).digest()
    return signing_input + "." + b64url(mac)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, proc, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise RuntimeError(f"process ended with {proc.returncode} before listening")
        with open("/proc/net/tcp") as table:
            for line in table.readlines()[1:]:
                fields = line.split()
                if int(fields[1].split(":")[1], 16) == port and fields[3] == "0A":
                    return
        time.sleep(0.01)
    raise RuntimeError(f"nothing listens on {port}")


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS")


def set_ini(folder, section, key, value):
    ini = Path(folder) / "SvcQuorelSiTef.ini"
    lines = ini.read_text().splitlines()
    header = f"[{section}]"
    if header not in lines:
        lines.append(header)
    start = lines.index(header)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("[")), len(lines))
    body = [line for line in lines[start + 1:end] if line.split("=", 1)[0] != key]
    body.append(f"{key}={value}")
    ini.write_text("\n".join(lines[:start + 1] + body + lines[end:]) + "\n")


def without_delays(value):
    """The scenario with every "delay_ms" removed."""
    if isinstance(value, dict):
        return {k: without_delays(v) for k, v in value.items() if k != "delay_ms"}
    if isinstance(value, list):
        return [without_delays(v) for v in value]
    return value


BENCHMARKS = ("round_trip", "crowd", "print", "payment", "memory", "startup")


class Bench:
    def __init__(self, args, work):
        self.args = args
        self.client = str(Path(args.client).resolve())
        self.work = Path(work)
        self.app = self.work / "app"
        self.spool = self.work / "spool"
        self.spool.mkdir()
        subprocess.run(["cmake", "--install", args.build, "--prefix", str(self.app)], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([str(ROOT / "tools" / "dev-cert.sh"), str(self.app / "Certificado")],
                       check=True, stdout=subprocess.DEVNULL)
        self.ca = str(self.app / "Certificado" / "ca_cert.pem")
        self.cert = str(self.app / "Certificado" / "server_cert.pem")
        self.key = str(self.app / "Certificado" / "server_key.pem")
        self.port = free_port()
        set_ini(self.app, "server", "port", self.port)
        # 200 clients at once and 100 idle ones need more than the default limit.
        set_ini(self.app, "server", "max_connections", 400)
        set_ini(self.app, "sitef", "printer", "Bench")
        self.results = []
        self.processes = []

    # processes

    def start_gateway(self, **extra_env):
        env = {**os.environ, "GATEWAY_PRINT_SPOOL": str(self.spool), **extra_env}
        proc = subprocess.Popen([str(self.app / "SvcQuorelSiTef"), "--service"], cwd=self.app,
                                env=env, stdout=subprocess.DEVNULL,
                                stderr=open(self.work / "gateway-stderr.txt", "ab"))
        self.processes.append(proc)
        wait_port(self.port, proc)
        return proc

    def start_peer(self):
        port = free_port()
        proc = subprocess.Popen(["node", str(ROOT / "bench" / "peer" / "server.js"), str(port),
                                 self.cert, self.key], stdout=subprocess.PIPE,
                                stderr=open(self.work / "peer-stderr.txt", "ab"), text=True)
        self.processes.append(proc)
        if proc.stdout.readline().strip() != "listening":
            raise RuntimeError("the Node.js peer did not start")
        return proc, port

    def stop(self, proc):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        self.processes.remove(proc)

    def measure(self, *arguments):
        done = subprocess.run([self.client, *map(str, arguments)], capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(f"gateway-bench {arguments[0]} failed: {done.stderr.strip()}")
        return {r["name"]: r for r in map(json.loads, done.stdout.splitlines())}

    def record(self, name, unit, ours, target, peer=None, peer_name="", met=None, note=""):
        ratio = (ours / peer) if peer else None
        self.results.append({"name": name, "unit": unit, "ours": ours, "peer": peer,
                             "peer_name": peer_name, "ratio": ratio, "target": target,
                             "met": met, "note": note})
        peer_text = f"  {peer_name} {peer:.3f}  ratio {ratio:.2f}" if peer else ""
        verdict = "" if met is None else ("  met" if met else "  MISSED")
        print(f"{name:<34} {ours:10.3f} {unit:<3}{peer_text}  [target: {target}]{verdict}",
              flush=True)

    # benchmarks

    def round_trip(self, peer_port):
        count, warmup = (200, 50) if self.args.smoke else (20000, 2000)
        ours = self.measure("rtt", self.port, self.ca, count, warmup, VERSION, VERSION_REPLY)["rtt"]
        node = self.measure("rtt", peer_port, self.ca, count, warmup, VERSION, VERSION_REPLY)["rtt"]
        self.record("/version round trip, median", "ms", ours["median_us"] / 1000,
                    "<= 1/2 of the peer's", node["median_us"] / 1000, "node",
                    met=ours["median_us"] <= node["median_us"] / 2)
        self.record("/version round trip, p99", "ms", ours["p99_us"] / 1000, "< 1 ms",
                    node["p99_us"] / 1000, "node", met=ours["p99_us"] < 1000)

    def crowd(self, peer_port):
        clients, requests = (10, 5) if self.args.smoke else (200, 50)
        start = json.dumps({"route": "/session/start", "type": "session", "token": token()})
        args = (clients, requests, start, VERSION, VERSION_REPLY)
        ours = self.measure("crowd", self.port, self.ca, *args)
        node = self.measure("crowd", peer_port, self.ca, *args)
        for part, label in (("crowd_version", "/version"), ("crowd_session", "session start"),
                            ("crowd_connect", "TLS connect + upgrade")):
            self.record(f"{clients} clients: {label}, median", "ms", ours[part]["median_us"] / 1000,
                        "-", node[part]["median_us"] / 1000, "node")
            self.record(f"{clients} clients: {label}, p99", "ms", ours[part]["p99_us"] / 1000,
                        "< 50 ms" if part == "crowd_version" else "-",
                        node[part]["p99_us"] / 1000, "node",
                        met=(ours[part]["p99_us"] < 50_000) if part == "crowd_version" else None)
        answered = ours["crowd_version"]["count"]
        self.record(f"{clients} clients: answered", "", answered, f"{clients * requests}, no error",
                    met=answered == clients * requests and ours["crowd_version"]["errors"] == 0)

    def print_document(self):
        size, repeats = (100_000, 1) if self.args.smoke else (10 * 1024 * 1024, 5)
        document = b"%PDF-1.4\n" + os.urandom(size - 9)
        message = json.dumps({"route": "/print", "type": "print", "file_type": "pdf",
                              "data": base64.b64encode(document).decode()})
        message_file = self.work / "print-message.json"
        message_file.write_text(message)
        ours = []
        for _ in range(repeats):
            ours.append(self.measure("print", self.port, self.ca, message_file,
                                     self.spool)["print"]["elapsed_us"] - PRINT_SLEEP_US)
            for document_file in self.spool.iterdir():
                document_file.unlink()
        raw = self.measure("raw", self.cert, self.key, self.ca, message_file, repeats)["raw"]
        ours_ms = statistics.median(ours) / 1000
        raw_ms = statistics.median(raw["samples_us"]) / 1000
        mb = size / 1e6
        self.record(f"/print {size // 1024} KiB: to printer start", "ms", ours_ms,
                    "-", raw_ms, "raw TLS",
                    note="minus the gateway's deliberate 500 ms wait")
        self.record("/print throughput", "MB/s", mb / (ours_ms / 1000),
                    ">= 1/2 of raw TLS", mb / (raw_ms / 1000), "raw TLS",
                    met=ours_ms <= 2 * raw_ms)

    def payment(self):
        """Full approved credit payments on the default scenario without its
        delays. Own time = "/transaction" to "result" less the client's time
        answering, the library's command-23 waits (100 ms each, counted in
        the stand-in library's ledger) and the callback's own time (the sale
        API's, from the connection accepted to the answer written). The first
        payment (library loaded, terminal configured) is left out."""
        repeats = 2 if self.args.smoke else 21
        scenario = self.work / "scenario.json"
        default = json.loads((ROOT / "sim" / "DefaultScenario.json").read_text())
        scenario.write_text(json.dumps(without_delays(default)))
        ledger = self.work / "ledger.jsonl"
        set_ini(self.app, "callback", "ca_file", self.ca)
        api_port = free_port()
        gateway = self.start_gateway(CLISITEF_SIM_SCENARIO=str(scenario),
                                     CLISITEF_SIM_LEDGER=str(ledger))
        try:
            start = json.dumps({"route": "/session/start", "type": "session",
                                "token": token(callback_url=f"https://127.0.0.1:{api_port}/")})
            result = self.measure("payment", self.port, self.ca, start, PAYMENT, repeats,
                                  api_port, self.cert, self.key)["payment"]
        finally:
            self.stop(gateway)
        polls = []
        for line in ledger.read_text().splitlines():
            call = json.loads(line)
            if call["fn"] == "IniciaFuncaoSiTefInterativo":
                polls.append(0)
            elif call["fn"] == "ContinuaFuncaoSiTefInterativo" and call.get("cmd") == 23:
                polls[-1] += 1
        callbacks = result["callbacks_us"]
        if not (len(polls) == len(callbacks) == len(result["samples_us"]) == repeats):
            raise RuntimeError(f"payments {len(result['samples_us'])}, library functions "
                               f"{len(polls)}, callbacks {len(callbacks)}")
        own = [total - count * POLL_US - callback for total, count, callback
               in zip(result["samples_us"], polls, callbacks)][1:]
        totals = result["samples_us"][1:]
        callbacks = callbacks[1:]
        self.record("payment: /transaction to result, median", "ms",
                    statistics.median(totals) / 1000, "-",
                    note=f"{polls[-1]} command-23 waits of 100 ms each")
        self.record("payment: callback's own time, median", "ms",
                    statistics.median(callbacks) / 1000, "-")
        self.record("payment: own time, median", "ms", statistics.median(own) / 1000, "< 5 ms",
                    met=statistics.median(own) < 5000)
        self.record("payment: own time, max", "ms", max(own) / 1000, "-")

    def memory(self):
        idle_connections = 10 if self.args.smoke else 100
        gateway = self.start_gateway()
        time.sleep(0.5)
        ours_idle = rss_kb(gateway.pid) / 1024
        node, node_port = self.start_peer()
        time.sleep(0.5)
        node_idle = rss_kb(node.pid) / 1024
        self.record("memory idle", "MB", ours_idle, "< 15 MB", node_idle, "node",
                    met=ours_idle < 15)
        loaded = []
        for proc, port in ((gateway, self.port), (node, node_port)):
            holder = subprocess.Popen([self.client, "idle", str(port), self.ca,
                                       str(idle_connections)], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
            if holder.stdout.readline().strip() != "ready":
                raise RuntimeError("idle connections could not be opened")
            time.sleep(0.5)
            loaded.append(rss_kb(proc.pid) / 1024)
            holder.stdin.close()
            holder.wait()
        self.record(f"memory, {idle_connections} idle connections", "MB", loaded[0], "< 35 MB",
                    loaded[1], "node", met=loaded[0] < 35)
        self.stop(node)
        self.stop(gateway)

    def startup(self):
        repeats = 1 if self.args.smoke else 15
        samples = []
        for _ in range(repeats):
            result = self.measure("startup", self.port, self.app / "SvcQuorelSiTef", "--service")
            samples.append(result["startup"]["elapsed_us"] / 1000)
        self.record("exec to listening, median", "ms", statistics.median(samples), "< 100 ms",
                    met=statistics.median(samples) < 100)
        self.record("exec to listening, max", "ms", max(samples), "-")

    def run(self, only):
        print("load average at the start: %.2f %.2f %.2f" % os.getloadavg(), flush=True)
        with_peer = [name for name in ("round_trip", "crowd") if name in only]
        if with_peer or "print" in only:
            gateway = self.start_gateway()
            node, node_port = self.start_peer()
            for name in with_peer:
                getattr(self, name)(node_port)
            if "print" in only:
                self.print_document()
            self.stop(node)
            self.stop(gateway)
        for name in ("payment", "memory", "startup"):
            if name in only:
                getattr(self, name)()
        print("load average at the end: %.2f %.2f %.2f" % os.getloadavg(), flush=True)

    def cleanup(self):
        for proc in list(self.processes):
            self.stop(proc)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the gateway's build folder")
    parser.add_argument("--client", required=True, help="the gateway-bench executable")
    parser.add_argument("--smoke", action="store_true", help="tiny counts; checks only that it runs")
    parser.add_argument("--json", help="also write the figures to this file")
    parser.add_argument("--only", default=",".join(BENCHMARKS),
                        help="comma-separated benchmarks to run (default: all of "
                             + ", ".join(BENCHMARKS) + ")")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="gateway-bench-") as work:
        bench = Bench(args, work)
        try:
            bench.run(args.only.split(","))
        finally:
            bench.cleanup()
        stderr = (Path(work) / "gateway-stderr.txt").read_text(errors="replace")
        if stderr.strip():
            print("gateway error output:\n" + stderr, file=sys.stderr)
    if args.json:
        Path(args.json).write_text(json.dumps(bench.results, indent=1))


if __name__ == "__main__":
    main()
