// The benchmarks' peer: a Node.js WebSocket server (the ws package on an
// https server with the gateway's certificate) that answers "/version" and
// "/session/start" with the same JSON texts as the gateway.
//
//   node server.js PORT CERT KEY
//
// Prints "listening" once the port is open.
'use strict';

const crypto = require('crypto');
const fs = require('fs');
const https = require('https');
const { WebSocketServer } = require('ws');

const [port, certFile, keyFile] = process.argv.slice(2);
const sharedKey = 'Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U';
const versionReply = '{"type":"version","category":"service_exe","version":"1.0.12.0"}';

function error(message) {
  return JSON.stringify({ type: 'error', message });
}

// The claims of an HS256 token signed with the shared key, or null.
function verify(token) {
  const parts = String(token).split('.');
  if (parts.length !== 3) return null;
  const header = JSON.parse(Buffer.from(parts[0], 'base64url').toString());
  if (header.alg !== 'HS256') return null;
  const expected = crypto.createHmac('sha256', sharedKey)
    .update(parts[0] + '.' + parts[1]).digest();
  const given = Buffer.from(parts[2], 'base64url');
  if (given.length !== expected.length || !crypto.timingSafeEqual(given, expected)) return null;
  return JSON.parse(Buffer.from(parts[1], 'base64url').toString());
}

function sessionStart(request) {
  const claims = verify(request.token);
  if (!claims) return error('Acesso não autorizado.');
  const expiration = new Date(Date.now() + 1800 * 1000).toISOString();
  return '{"type":"session","status":"created","message":"Sess\\u00E3o criada com sucesso.",' +
    `"expiration":"${expiration}","session_uuid":"${crypto.randomUUID().toUpperCase()}",` +
    `"store_code":"${claims.store_code}","terminal_number":"AG100900"}`;
}

function answer(text) {
  let request;
  try {
    request = JSON.parse(text);
  } catch {
    return null;
  }
  if (request.route === '/version' && request.type === 'version' &&
      request.category === 'service_exe') {
    return versionReply;
  }
  if (request.route === '/session/start' && request.type === 'session') {
    return sessionStart(request);
  }
  return error('Rota não atendida pelo par de medição.');
}

const server = https.createServer({
  cert: fs.readFileSync(certFile),
  key: fs.readFileSync(keyFile),
  minVersion: 'TLSv1.2',
  maxVersion: 'TLSv1.2',
});
const wss = new WebSocketServer({ server, perMessageDeflate: false });
wss.on('connection', (socket) => {
  socket.on('message', (data) => {
    const reply = answer(data.toString());
    if (reply !== null) socket.send(reply);
  });
});
server.listen(Number(port), '127.0.0.1', () => console.log('listening'));
process.on('SIGTERM', () => process.exit(0));
