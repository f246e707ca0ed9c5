#!/usr/bin/env node
// quorvel-authserver: an OAuth 2.0 authorization server on loopback for the tests and the demo,
// oidc-provider configured the way the mail providers behave towards a desktop program: public
// native clients redirected to 127.0.0.1 at any port, PKCE with S256 required, a refresh token
// for every grant, rotated at every use (a spent one revokes its whole grant), revocation
// (RFC 7009) and introspection (RFC 7662) for the mail server. Its login and consent pages are
// oidc-provider's development pages: any login name with any password signs in as that name.
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import https from 'node:https';

import Provider from 'oidc-provider';

const usage = `usage: authserver.mjs --cert FILE --key FILE [options]
  --port N              HTTPS port on 127.0.0.1 (0: any free port)
  --introspect-port N   also serve /introspect over plain HTTP on 127.0.0.1 (for the mail server)
  --client ID           a public client (repeatable); its redirections go to 127.0.0.1 only
  --resource USER:PASS  credentials of the mail server at /introspect (HTTP Basic)
  --access-lifetime S   seconds an access token lives (default 3600)
  --log FILE            one line per request: method, path, grant type (never a token)
Prints "listening PORT [INTROSPECT_PORT]" on standard output when ready.`;

const options = { port: 0, introspectPort: -1, clients: [], resources: [], accessLifetime: 3600, log: null };
const argv = process.argv.slice(2);
function fail() {
  console.error(usage);
  process.exit(2);
}
for (let i = 0; i < argv.length; ++i) {
  const next = () => (i + 1 < argv.length ? argv[++i] : fail());
  switch (argv[i]) {
    case '--cert': options.cert = next(); break;
    case '--key': options.key = next(); break;
    case '--port': options.port = Number(next()); break;
    case '--introspect-port': options.introspectPort = Number(next()); break;
    case '--client': options.clients.push(next()); break;
    case '--resource': options.resources.push(next()); break;
    case '--access-lifetime': options.accessLifetime = Number(next()); break;
    case '--log': options.log = next(); break;
    default: fail();
  }
}
if (!options.cert || !options.key || !(options.accessLifetime > 0))
  fail();

function log(line) {
  if (options.log)
    fs.appendFileSync(options.log, line + '\n');
}

const listen = (server, port) =>
  new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server.address().port));
  });

// The issuer names the port, so the port is taken before the provider is made.
const secure = https.createServer({ cert: fs.readFileSync(options.cert), key: fs.readFileSync(options.key) });
const port = await listen(secure, options.port);

const publicClients = options.clients.map((id) => ({
  client_id: id,
  application_type: 'native',
  token_endpoint_auth_method: 'none',
  grant_types: ['authorization_code', 'refresh_token'],
  response_types: ['code'],
  // A native client's loopback redirection may come back on any port (RFC 8252).
  redirect_uris: ['http://127.0.0.1/'],
}));
// The mail server: a confidential client that only introspects.
const resourceServers = options.resources.map((credentials) => {
  const colon = credentials.indexOf(':');
  return {
    client_id: credentials.slice(0, colon),
    client_secret: credentials.slice(colon + 1),
    token_endpoint_auth_method: 'client_secret_basic',
    grant_types: [],
    response_types: [],
    redirect_uris: [],
  };
});

const provider = new Provider(`https://127.0.0.1:${port}`, {
  clients: [...publicClients, ...resourceServers],
  routes: { authorization: '/authorize', token: '/token', revocation: '/revoke', introspection: '/introspect' },
  features: {
    devInteractions: { enabled: true },
    // Only the mail server (a confidential client) or the token's own client may look a token up.
    introspection: {
      enabled: true,
      allowedPolicy: async (ctx, client, token) => client.clientAuthMethod !== 'none' || token.clientId === client.clientId,
    },
    revocation: { enabled: true },
  },
  pkce: { methods: ['S256'], required: () => true },
  // The scope names the tests give their provider; anything else asked for is dropped.
  scopes: ['openid', 'offline_access', 'mail'],
  // As Microsoft's and Google's servers do, every grant of a client allowed to refresh gets a
  // refresh token, asked for with offline_access or not, and it outlives the browser session.
  issueRefreshToken: async (ctx, client) => client.grantTypeAllowed('refresh_token'),
  expiresWithSession: async () => false,
  rotateRefreshToken: true,
  ttl: {
    AccessToken: options.accessLifetime,
    AuthorizationCode: 60,
    RefreshToken: 14 * 24 * 3600,
    Grant: 14 * 24 * 3600,
    Interaction: 600,
    Session: 600,
  },
  // The mail server takes the mailbox's name from the introspection answer.
  extraTokenClaims: async (ctx, token) => (token.kind === 'AccessToken' ? { username: token.accountId } : undefined),
  findAccount: async (ctx, sub) => ({ accountId: sub, claims: async () => ({ sub }) }),
  clientBasedCORS: () => false,
  cookies: { keys: [crypto.randomBytes(32).toString('base64url')] },
  renderError: async (ctx, out) => {
    ctx.type = 'html';
    const text = (value) => String(value).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
    ctx.body = `<!DOCTYPE html><html><head><title>Sign-in error</title></head><body style="font-family:sans-serif;margin:3em">
<h1>Sign-in error</h1><p>${text(out.error)}: ${text(out.error_description || '')}</p></body></html>`;
  },
});

// One line per request, written when it is answered; paths and grant types never carry a token.
provider.use(async (ctx, next) => {
  await next();
  let line = `${ctx.method} ${ctx.path}`;
  if (ctx.path === '/token' && ctx.oidc?.params?.grant_type)
    line += ` ${ctx.oidc.params.grant_type}`;
  if (ctx.path === '/introspect')
    line += ctx.status === 200 && ctx.body?.active ? ' active' : ' inactive';
  log(line);
});

const app = provider.callback();
secure.on('request', app);

const ports = [port];
if (options.introspectPort >= 0) {
  // The mail server introspects over plain HTTP on loopback; nothing else is served there.
  const plain = http.createServer((req, res) => {
    if (req.method === 'POST' && new URL(req.url, 'http://127.0.0.1').pathname === '/introspect')
      return app(req, res);
    res.writeHead(404, { 'Content-Type': 'text/plain', Connection: 'close' });
    res.end('not here');
  });
  ports.push(await listen(plain, options.introspectPort));
}
process.stdout.write(`listening ${ports.join(' ')}\n`);

for (const signal of ['SIGTERM', 'SIGINT'])
  process.on(signal, () => process.exit(0));
