'use strict';
// What every probe shares: a vac-standin process with a statement log, tedious connections to it,
// and batches run to their end with everything tedious reports about them. One probe file per
// area (login, metadata, types, errors, results, transactions, ...) uses these and nothing else.
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const { before, after } = require('node:test');
const { Connection, Request } = require('tedious');

// Starts vac-standin (VAC_STANDIN_BINARY) on a free port with the extra arguments; resolves once it
// listens. The log lists each batch and each login's encryption.
async function startStandin(args = []) {
  const binary = process.env.VAC_STANDIN_BINARY;
  if (!binary) throw new Error('VAC_STANDIN_BINARY must name the vac-standin binary to probe');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vac-tedious-'));
  const logFile = path.join(dir, 'log.jsonl');
  const child = spawn(binary, ['--port', '0', '--log', logFile, ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const port = await new Promise((resolve, reject) => {
    const lines = readline.createInterface({ input: child.stdout });
    lines.once('line', (line) => {
      const m = /^port=(\d+)$/.exec(line);
      if (m) resolve(Number(m[1]));
      else reject(new Error(`vac-standin said ${line}`));
    });
    child.once('exit', (code) => reject(new Error(`vac-standin exited with ${code}: ${stderr}`)));
  });
  return {
    port,
    // Each login so far: {conn, encryption}, in order.
    logins() {
      return readLog(logFile).filter((e) => 'encryption' in e);
    },
    batches() {
      return readLog(logFile).filter((e) => 'sql' in e);
    },
    async stop() {
      if (child.exitCode === null) {
        const exited = new Promise((resolve) => child.once('exit', resolve));
        child.kill('SIGTERM');
        await exited;
      }
      fs.rmSync(dir, { recursive: true, force: true });
      return child.exitCode;
    },
  };
}

// One stand-in, and unless connection is false one logged-in connection, for all the tests of the
// probe file that calls this: started before the first, stopped after the last. The returned
// object's standin and connection are set once the tests run.
function useStandin(args = [], { connection = true } = {}) {
  const shared = {};
  before(async () => {
    shared.standin = await startStandin(args);
    if (connection) shared.connection = await connect(shared.standin.port);
  });
  after(async () => {
    if (shared.connection) await close(shared.connection);
    await shared.standin.stop();
  });
  return shared;
}

function readLog(file) {
  if (!fs.existsSync(file)) return [];
  return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
}

// A logged-in tedious connection. options: encrypt (default true, tedious's own default),
// trustServerCertificate (default true: the stand-in's certificate is self-signed), ca (PEM of
// the certificate to trust instead), userName, password, database. Rejects with tedious's ConnectionError. The connection's tlsProtocol is
// the TLS version agreed ('TLSv1.2'), undefined when it runs in clear.
function connect(port, options = {}) {
  const config = {
    server: '127.0.0.1',
    authentication: {
      type: 'default',
      options: { userName: options.userName ?? 'sa', password: options.password ?? 'standin' },
    },
    options: {
      port,
      database: options.database ?? 'lin2db',
      encrypt: options.encrypt ?? true,
      trustServerCertificate: options.trustServerCertificate ?? !options.ca,
      ...(options.ca ? { cryptoCredentialsDetails: { ca: options.ca } } : {}),
      // The name TLS is asked for (an address may not be one).
      serverName: 'standin',
      connectTimeout: 10000,
      requestTimeout: 15000,
    },
  };
  return new Promise((resolve, reject) => {
    const connection = new Connection(config);
    connection.once('secure', (cleartext) => {
      connection.tlsProtocol = cleartext.getProtocol();
    });
    connection.connect((err) => (err ? reject(err) : resolve(connection)));
  });
}

function close(connection) {
  return new Promise((resolve) => {
    if (connection.closed) return resolve();
    connection.once('end', resolve);
    connection.close();
  });
}

// Runs one batch to its end. Resolves (never rejects on a server error) with:
//   results: [{columns: [metadata], rows: [[value, ...]]}] one per result set;
//   rowCounts: the count of each DONE / DONEINPROC that carries one;
//   errors / infos: the ERROR and INFO tokens as tedious reports them;
//   error: the request's error (the last server error), or undefined.
function run(connection, sql) {
  return new Promise((resolve) => {
    const outcome = { results: [], rowCounts: [], errors: [], infos: [], error: undefined };
    const onError = (e) => outcome.errors.push(e);
    const onInfo = (i) => outcome.infos.push(i);
    connection.on('errorMessage', onError);
    connection.on('infoMessage', onInfo);
    const request = new Request(sql, (err) => {
      connection.removeListener('errorMessage', onError);
      connection.removeListener('infoMessage', onInfo);
      outcome.error = err;
      resolve(outcome);
    });
    request.on('columnMetadata', (columns) => outcome.results.push({ columns, rows: [] }));
    request.on('row', (row) => outcome.results[outcome.results.length - 1].rows.push(row.map((c) => c.value)));
    const count = (rowCount) => {
      if (rowCount !== undefined) outcome.rowCounts.push(rowCount);
    };
    request.on('doneInProc', count);
    request.on('done', count);
    // A plain SQL batch; execSql would wrap it in an sp_executesql call.
    connection.execSqlBatch(request);
  });
}

// Runs a batch that must succeed; rejects with the server's error otherwise.
async function query(connection, sql) {
  const outcome = await run(connection, sql);
  if (outcome.error) throw outcome.error;
  return outcome;
}

// tedious's transaction-manager requests, as promises.
function transaction(connection, method, ...args) {
  return new Promise((resolve, reject) => {
    connection[method]((err) => (err ? reject(err) : resolve()), ...args);
  });
}

module.exports = { startStandin, useStandin, connect, close, run, query, transaction };
