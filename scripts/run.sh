#!/usr/bin/env bash
# Installs what is missing, builds the gateway, lays out its app folder in
# app/ (or GATEWAY_APP_DIR) with a development certificate, and runs it as
# the service in the foreground on the stand-in payment library. The port is
# [server] port of app/SvcQuorelSiTef.ini (443 unless changed there).
# Ctrl+C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

app=${GATEWAY_APP_DIR:-app}
cmake --install build --prefix "$app" >/dev/null
if [[ ! -f "$app/Certificado/server_cert.pem" ]]; then
  tools/dev-cert.sh "$app/Certificado"
fi
port=$(sed -n '/^\[server\]/,/^\[/s/^port=\([0-9]*\).*/\1/p' "$app/SvcQuorelSiTef.ini")
echo "Gateway in $app, listening on wss://localhost:${port:-443}/ (logs in $app/Log)."
exec "$app/SvcQuorelSiTef" --service
