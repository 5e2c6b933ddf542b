#!/usr/bin/env bash
# Installs what is missing, builds the gateway, lays out its app folder with a
# development certificate, starts a local development sale API, and runs the
# gateway on the stand-in payment library. Prints the address, an access
# token for a test store and how to open the demo page. Ctrl+C stops both.
#
#   scripts/run.sh [--port N] [--app DIR] [--window]
#
#   --port N   the gateway's port (default 8443); the sale API takes N+1
#   --app DIR  the app folder (default ./app)
#   --window   the debug window instead of the service (needs a display)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

port=8443
app=app
mode=--service
while (($#)); do
  case $1 in
    --port) port=$2; shift 2 ;;
    --app) app=$2; shift 2 ;;
    --window) mode=; shift ;;
    *) sed -n '2,12p' "$0"; exit 2 ;;
  esac
done
if [[ -z $mode && -z ${DISPLAY:-} ]]; then
  echo "--window needs a display (DISPLAY is not set); starting the service instead."
  mode=--service
fi

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target app_folder
cmake --install build --prefix "$app" >/dev/null
app=$(cd "$app" && pwd)
certs=$app/Certificado
if [[ ! -f $certs/server_cert.pem ]]; then
  tools/dev-cert.sh "$certs"
fi

ini=$app/SvcQuorelSiTef.ini
sale_port=$((port + 1))
tools/dev-setup.py ini-set "$ini" server port "$port"
tools/dev-setup.py ini-set "$ini" callback ca_file "$certs/ca_cert.pem"
token=$(tools/dev-setup.py token "$ini" "https://127.0.0.1:$sale_port/")

pids=()
stop() {
  trap - INT TERM EXIT
  kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop INT TERM EXIT

tools/dev-sale-api.py "$sale_port" "$certs/server_cert.pem" "$certs/server_key.pem" &
pids+=($!)
"$app/SvcQuorelSiTef" $mode &
pids+=($!)

cat <<TXT

Gateway:   wss://127.0.0.1:$port/   (app folder $app; logs in $app/Log)
Sale API:  https://127.0.0.1:$sale_port/   (callbacks are printed below)

Access token (test store 00000001, terminal AG100900, valid 12 hours):
$token

Demo page: open this in a browser on this machine
  file://$root/tools/demo/index.html?url=wss://127.0.0.1:$port&token=$token&connect=1
The certificate is a development one: first open https://127.0.0.1:$port/ once and
accept it (or import $certs/ca_cert.pem).

Ctrl+C stops the gateway and the sale API.
TXT
wait -n "${pids[@]}"
