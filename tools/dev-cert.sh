#!/usr/bin/env bash
# Writes a development TLS setup into FOLDER (default: ./Certificado): a
# throw-away CA (ca_cert.pem) and a server certificate it signed for
# localhost and 127.0.0.1 (server_cert.pem) with its unencrypted private key
# (server_key.pem), valid for 825 days. Never use these in production.
set -euo pipefail

folder=${1:-Certificado}
mkdir -p "$folder"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -noenc -days 825 \
  -subj "/CN=QuorelSiTef development CA" -keyout "$work/ca_key.pem" -out "$work/ca_cert.pem" \
  2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -noenc \
  -subj "/CN=localhost" -keyout "$work/server_key.pem" -out "$work/server.csr" 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >"$work/ext.cnf"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca_cert.pem" -CAkey "$work/ca_key.pem" \
  -CAcreateserial -days 825 -extfile "$work/ext.cnf" -out "$work/server_cert.pem" 2>/dev/null

install -m 0644 "$work/ca_cert.pem" "$folder/ca_cert.pem"
install -m 0644 "$work/server_cert.pem" "$folder/server_cert.pem"
install -m 0600 "$work/server_key.pem" "$folder/server_key.pem"
echo "Development certificate written to $folder"
