'use strict';
// Logging in with tedious against each encryption mode of the stand-in, and the logins it refuses.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startStandin, connect, close, query } = require('../harness');

// tedious offers ENCRYPT_ON with encrypt: true and ENCRYPT_NOT_SUP with encrypt: false.
const accepted = [
  { mode: 'on', encrypt: true, logged: 'full' },
  { mode: 'on', encrypt: false, logged: 'none' },
  { mode: 'required', encrypt: true, logged: 'full' },
  // tedious does not insist: told "not supported", it logs in in clear.
  { mode: 'off', encrypt: true, logged: 'none' },
  { mode: 'off', encrypt: false, logged: 'none' },
];

for (const c of accepted) {
  test(`--encryption ${c.mode}, encrypt: ${c.encrypt} logs in and runs batches`, async () => {
    const standin = await startStandin(['--encryption', c.mode, '--demo', '200']);
    try {
      const connection = await connect(standin.port, { encrypt: c.encrypt });
      // TLS 1.2 is all the stand-in offers, though tedious would take 1.3.
      assert.equal(connection.tlsProtocol, c.logged === 'full' ? 'TLSv1.2' : undefined);
      const count = await query(connection, 'SELECT COUNT(*) AS n FROM lin2db.dbo.user_account');
      assert.deepEqual(count.results[0].rows, [[200]]);
      // Enough rows for many packets, each its own TLS record when encrypted.
      const all = await query(connection, 'SELECT account, last_ip FROM lin2db.dbo.user_account');
      assert.equal(all.results[0].rows.length, 200);
      await close(connection);
      assert.deepEqual(standin.logins(), [{ conn: 1, encryption: c.logged }]);
    } finally {
      assert.equal(await standin.stop(), 0);
    }
  });
}

// Refused before any login: nothing reaches the log.
const refused = [
  {
    name: '--encryption required drops a client that cannot encrypt',
    args: ['--encryption', 'required'],
    options: { encrypt: false },
    message: /^Connection lost - socket hang up$/,
  },
  {
    name: 'the self-signed certificate is refused unless the client trusts it',
    args: [],
    options: { trustServerCertificate: false },
    message: /self[- ]signed certificate/,
  },
];

for (const c of refused) {
  test(c.name, async () => {
    const standin = await startStandin(c.args);
    try {
      await assert.rejects(connect(standin.port, c.options), (err) => {
        assert.equal(err.code, 'ESOCKET');
        assert.match(err.message, c.message);
        return true;
      });
      assert.deepEqual(standin.logins(), []);
    } finally {
      await standin.stop();
    }
  });
}

test('--certificate and --key serve that certificate, which a client trusting only it accepts', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vac-tedious-cert-'));
  const key = path.join(dir, 'key.pem');
  const certificate = path.join(dir, 'cert.pem');
  const template = path.join(dir, 'cert.cfg');
  // The name the harness asks TLS for.
  fs.writeFileSync(template, 'cn = standin\ndns_name = standin\nexpiration_days = 30\ntls_www_server\nsigning_key\n');
  execFileSync('certtool', ['--generate-privkey', '--key-type', 'ecdsa', '--outfile', key], { stdio: 'ignore' });
  execFileSync('certtool', ['--generate-self-signed', '--load-privkey', key, '--template', template, '--outfile', certificate],
    { stdio: 'ignore' });
  const standin = await startStandin(['--certificate', certificate, '--key', key]);
  try {
    const connection = await connect(standin.port, { ca: fs.readFileSync(certificate) });
    assert.equal(connection.tlsProtocol, 'TLSv1.2');
    await close(connection);
    assert.deepEqual(standin.logins(), [{ conn: 1, encryption: 'full' }]);
  } finally {
    await standin.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('a wrong password or an unknown database is refused with SQL Server\'s login error', async () => {
  const standin = await startStandin([]);
  try {
    for (const refused of [{ password: 'wrong' }, { database: 'nosuch' }]) {
      await assert.rejects(connect(standin.port, refused), (err) => {
        assert.equal(err.code, 'ELOGIN');
        // After 4060 for the database, 18456 comes last, and tedious reports the last.
        assert.equal(err.message, "Login failed for user 'sa'.");
        return true;
      });
    }
  } finally {
    await standin.stop();
  }
});
