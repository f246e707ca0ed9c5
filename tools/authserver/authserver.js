#!/usr/bin/env node
// quorvel-authserver: a stand-in OAuth 2.0 authorization server on loopback for tests and the
// demo. Authorization code with PKCE (S256 required), refresh tokens rotated at every use (a
// spent one revokes its whole family), revocation (RFC 7009) and introspection (RFC 7662) for
// the mail server. Node's own modules only.
'use strict';

const crypto = require('crypto');
const fs = require('fs');
const http = require('http');
const https = require('https');

const usage = `usage: authserver.js --cert FILE --key FILE [options]
  --port N              HTTPS port on 127.0.0.1 (0: any free port)
  --introspect-port N   also serve /introspect over plain HTTP on 127.0.0.1 (for the mail server)
  --client ID           a public client (repeatable); its redirections go to 127.0.0.1 only
  --resource USER:PASS  credentials of the mail server at /introspect (HTTP Basic)
  --access-lifetime S   seconds an access token lives (default 3600)
  --auto-consent        consent without asking (a page still shows the request)
  --log FILE            one line per request: method, path, grant type (never a token)
Prints "listening PORT [INTROSPECT_PORT]" on standard output when ready.`;

const options = { port: 0, introspectPort: -1, clients: [], resources: [], accessLifetime: 3600, log: null };
const argv = process.argv.slice(2);
for (let i = 0; i < argv.length; ++i) {
  const next = () => {
    if (i + 1 >= argv.length) {
      console.error(usage);
      process.exit(2);
    }
    return argv[++i];
  };
  switch (argv[i]) {
    case '--cert': options.cert = next(); break;
    case '--key': options.key = next(); break;
    case '--port': options.port = Number(next()); break;
    case '--introspect-port': options.introspectPort = Number(next()); break;
    case '--client': options.clients.push(next()); break;
    case '--resource': options.resources.push(next()); break;
    case '--access-lifetime': options.accessLifetime = Number(next()); break;
    case '--auto-consent': options.autoConsent = true; break;
    case '--log': options.log = next(); break;
    default:
      console.error(usage);
      process.exit(2);
  }
}
if (!options.cert || !options.key) {
  console.error(usage);
  process.exit(2);
}

const random = () => crypto.randomBytes(24).toString('base64url');
const now = () => Math.floor(Date.now() / 1000);

// Pending consents, codes, and tokens, by their value.
const consents = new Map();
const codes = new Map();
const accessTokens = new Map();
const refreshTokens = new Map();

function log(line) {
  if (options.log)
    fs.appendFileSync(options.log, line + '\n');
}

function send(res, status, type, body, headers = {}) {
  res.writeHead(status, Object.assign({ 'Content-Type': type, 'Cache-Control': 'no-store', 'Connection': 'close' }, headers));
  res.end(body);
}
const json = (res, status, object) => send(res, status, 'application/json', JSON.stringify(object));
const oauthError = (res, status, error, description) =>
  json(res, status, description ? { error, error_description: description } : { error });

function escapeHtml(text) {
  return String(text).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

// RFC 8252: a loopback redirection may come back on any port, to 127.0.0.1 only here.
function loopbackRedirect(uri) {
  try {
    const u = new URL(uri);
    return u.protocol === 'http:' && u.hostname === '127.0.0.1' && !u.hash;
  } catch (e) {
    return false;
  }
}

function redirectWith(res, uri, fields) {
  const u = new URL(uri);
  for (const [k, v] of Object.entries(fields))
    u.searchParams.set(k, v);
  send(res, 302, 'text/plain', '', { Location: u.toString() });
}

function readBody(req) {
  return new Promise((resolve, reject) => {
    let body = '';
    req.setEncoding('latin1');
    req.on('data', (chunk) => {
      body += chunk;
      if (body.length > 64 * 1024) {
        reject(new Error('too long'));
        req.destroy();
      }
    });
    req.on('end', () => resolve(new URLSearchParams(body)));
    req.on('error', reject);
  });
}

function authorize(req, res, query) {
  const client = query.get('client_id');
  const redirect = query.get('redirect_uri');
  // Without a known client and a loopback redirection nothing may be sent anywhere.
  if (!options.clients.includes(client) || !loopbackRedirect(redirect))
    return send(res, 400, 'text/plain', 'unknown client or redirection');
  const state = query.get('state') || '';
  const back = (fields) => redirectWith(res, redirect, Object.assign(fields, state ? { state } : {}));
  if (query.get('response_type') !== 'code')
    return back({ error: 'unsupported_response_type' });
  if (query.get('code_challenge_method') !== 'S256' || !/^[A-Za-z0-9_-]{43}$/.test(query.get('code_challenge') || ''))
    return back({ error: 'invalid_request', error_description: 'PKCE with S256 is required' });
  const user = query.get('login_hint') || 'user';
  const tx = random();
  consents.set(tx, {
    client, redirect, state, user,
    scope: query.get('scope') || '',
    challenge: query.get('code_challenge'),
    expires: now() + 600,
  });
  if (options.autoConsent)
    return decide(res, tx, 'allow');
  send(res, 200, 'text/html; charset=utf-8',
    `<!DOCTYPE html><html><head><title>Sign in</title></head><body style="font-family:sans-serif;margin:3em">
<h1>Quorvel test sign-in</h1><p>${escapeHtml(client)} asks for <b>${escapeHtml(user)}</b>: ${escapeHtml(query.get('scope') || '')}</p>
<form method="post" action="/consent"><input type="hidden" name="tx" value="${tx}">
<button id="allow" name="decision" value="allow">Allow</button>
<button id="deny" name="decision" value="deny">Deny</button></form></body></html>`);
}

function decide(res, tx, decision) {
  const c = consents.get(tx);
  consents.delete(tx);
  if (!c || c.expires < now())
    return send(res, 400, 'text/plain', 'no such sign-in');
  const state = c.state ? { state: c.state } : {};
  if (decision !== 'allow')
    return redirectWith(res, c.redirect, Object.assign({ error: 'access_denied' }, state));
  const code = random();
  codes.set(code, { client: c.client, redirect: c.redirect, user: c.user, scope: c.scope, challenge: c.challenge, expires: now() + 60 });
  redirectWith(res, c.redirect, Object.assign({ code }, state));
}

function issue(res, grant) {
  const access = random();
  const refresh = random();
  accessTokens.set(access, { user: grant.user, client: grant.client, scope: grant.scope, family: grant.family, exp: now() + options.accessLifetime });
  refreshTokens.set(refresh, { user: grant.user, client: grant.client, scope: grant.scope, family: grant.family, used: false });
  json(res, 200, { access_token: access, token_type: 'Bearer', expires_in: options.accessLifetime, refresh_token: refresh, scope: grant.scope });
}

// Every token of a grant goes at once: a refresh token used twice was stolen somewhere.
function revokeFamily(family) {
  for (const map of [accessTokens, refreshTokens]) {
    for (const [k, v] of map) {
      if (v.family === family)
        map.delete(k);
    }
  }
}

async function token(req, res) {
  const form = await readBody(req);
  const grantType = form.get('grant_type');
  log(`POST /token ${grantType}`);
  const client = form.get('client_id');
  if (!options.clients.includes(client))
    return oauthError(res, 401, 'invalid_client');
  if (grantType === 'authorization_code') {
    const code = codes.get(form.get('code') || '');
    codes.delete(form.get('code') || '');
    if (!code || code.expires < now() || code.client !== client || code.redirect !== form.get('redirect_uri'))
      return oauthError(res, 400, 'invalid_grant', 'unknown or spent code');
    const verifier = form.get('code_verifier') || '';
    if (!/^[A-Za-z0-9._~-]{43,128}$/.test(verifier)
        || crypto.createHash('sha256').update(verifier).digest('base64url') !== code.challenge)
      return oauthError(res, 400, 'invalid_grant', 'PKCE verification failed');
    return issue(res, { user: code.user, client, scope: code.scope, family: random() });
  }
  if (grantType === 'refresh_token') {
    const value = form.get('refresh_token') || '';
    const grant = refreshTokens.get(value);
    if (!grant || grant.client !== client)
      return oauthError(res, 400, 'invalid_grant', 'unknown refresh token');
    if (grant.used) {
      revokeFamily(grant.family);
      return oauthError(res, 400, 'invalid_grant', 'refresh token reused');
    }
    grant.used = true;
    return issue(res, grant);
  }
  oauthError(res, 400, 'unsupported_grant_type');
}

async function revoke(req, res) {
  const form = await readBody(req);
  log('POST /revoke');
  const value = form.get('token') || '';
  const grant = refreshTokens.get(value) || accessTokens.get(value);
  if (grant)
    revokeFamily(grant.family);
  send(res, 200, 'text/plain', '');
}

async function introspect(req, res) {
  const auth = req.headers.authorization || '';
  const given = auth.startsWith('Basic ') ? Buffer.from(auth.slice(6), 'base64').toString('latin1') : '';
  if (!options.resources.includes(given))
    return send(res, 401, 'text/plain', 'introspection needs the resource server\'s credentials', { 'WWW-Authenticate': 'Basic' });
  const form = await readBody(req);
  const t = accessTokens.get(form.get('token') || '');
  const active = !!t && t.exp > now();
  log(`POST /introspect ${active ? 'active' : 'inactive'}`);
  if (!active)
    return json(res, 200, { active: false });
  json(res, 200, { active: true, username: t.user, client_id: t.client, scope: t.scope, exp: t.exp, token_type: 'Bearer' });
}

async function handle(req, res, secure) {
  try {
    const url = new URL(req.url, 'https://127.0.0.1');
    if (req.method === 'POST' && url.pathname === '/introspect')
      return await introspect(req, res);
    if (!secure)
      return send(res, 404, 'text/plain', 'not here');
    log(`${req.method} ${url.pathname}`);
    if (req.method === 'GET' && url.pathname === '/authorize')
      return authorize(req, res, url.searchParams);
    if (req.method === 'POST' && url.pathname === '/consent') {
      const form = await readBody(req);
      return decide(res, form.get('tx') || '', form.get('decision') || '');
    }
    if (req.method === 'POST' && url.pathname === '/token')
      return await token(req, res);
    if (req.method === 'POST' && url.pathname === '/revoke')
      return await revoke(req, res);
    send(res, 404, 'text/plain', 'not here');
  } catch (e) {
    send(res, 400, 'text/plain', 'bad request');
  }
}

const server = https.createServer({ cert: fs.readFileSync(options.cert), key: fs.readFileSync(options.key) },
  (req, res) => handle(req, res, true));
server.listen(options.port, '127.0.0.1', () => {
  const ports = [server.address().port];
  const ready = () => process.stdout.write(`listening ${ports.join(' ')}\n`);
  if (options.introspectPort < 0)
    return ready();
  const plain = http.createServer((req, res) => handle(req, res, false));
  plain.listen(options.introspectPort, '127.0.0.1', () => {
    ports.push(plain.address().port);
    ready();
  });
});
for (const signal of ['SIGTERM', 'SIGINT'])
  process.on(signal, () => process.exit(0));
