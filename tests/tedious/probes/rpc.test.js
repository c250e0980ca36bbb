'use strict';
// Remote procedure calls as tedious makes them: parameterised execSql (sp_executesql), prepare /
// execute / unprepare, callProcedure with output parameters and the return status, and cancel.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { Request, TYPES } = require('tedious');
const { useStandin, query } = require('../harness');

const shared = useStandin([]);

// Runs request with connection[method](request, ...args); resolves with what it reported.
function call(method, request, ...args) {
  return new Promise((resolve) => {
    const outcome = { rows: [], outputs: {}, returnStatus: undefined, error: undefined };
    request.on('row', (row) => outcome.rows.push(row.map((c) => c.value)));
    request.on('returnValue', (name, value) => { outcome.outputs[name] = value; });
    request.on('doneProc', (rowCount, more, returnStatus) => {
      if (returnStatus !== undefined) outcome.returnStatus = returnStatus;
    });
    const finish = (err) => {
      outcome.error = err;
      resolve(outcome);
    };
    // tedious ends a prepare with an event instead of the request's callback.
    if (method === 'prepare') {
      request.once('prepared', () => finish(undefined));
      request.once('error', finish);
    }
    request.userCallback = finish;
    shared.connection[method](request, ...args);
  });
}

// call() sets the callback.
const request = (sql) => new Request(sql, () => {});

test('execSql sends typed parameters and gets the rows they select', async () => {
  const cases = [
    { name: 'int', type: TYPES.Int, value: 41, sql: 'SELECT @v + 1 AS r', expected: 42 },
    { name: 'bigint', type: TYPES.BigInt, value: '1099511627776', sql: 'SELECT @v AS r', expected: '1099511627776' },
    { name: 'nvarchar', type: TYPES.NVarChar, value: 'été €', sql: 'SELECT @v + N\'!\' AS r', expected: 'été €!' },
    { name: 'varchar', type: TYPES.VarChar, value: 'abc', sql: 'SELECT LEN(@v) AS r', expected: 3 },
    { name: 'long nvarchar goes as nvarchar(max)', type: TYPES.NVarChar, value: 'x'.repeat(5000),
      sql: 'SELECT LEN(@v) AS r', expected: 5000 },
    { name: 'bit', type: TYPES.Bit, value: true, sql: 'SELECT @v AS r', expected: true },
    { name: 'float', type: TYPES.Float, value: 1.25, sql: 'SELECT @v * 2 AS r', expected: 2.5 },
    { name: 'decimal', type: TYPES.Decimal, value: -1234.567, options: { precision: 10, scale: 3 },
      sql: 'SELECT @v + 1 AS r', expected: -1233.567 },
    { name: 'datetime', type: TYPES.DateTime, value: new Date(Date.UTC(2023, 2, 17, 1, 2, 3, 500)),
      sql: 'SELECT @v AS r', expected: new Date(Date.UTC(2023, 2, 17, 1, 2, 3, 500)) },
    { name: 'varbinary', type: TYPES.VarBinary, value: Buffer.from([0xde, 0xad]), sql: 'SELECT DATALENGTH(@v) AS r', expected: 2 },
    { name: 'uniqueidentifier', type: TYPES.UniqueIdentifier, value: '00112233-4455-6677-8899-AABBCCDDEEFF',
      sql: 'SELECT @v AS r', expected: '00112233-4455-6677-8899-AABBCCDDEEFF' },
    { name: 'null', type: TYPES.Int, value: null, sql: 'SELECT ISNULL(@v, -1) AS r', expected: -1 },
  ];
  for (const c of cases) {
    const req = request(c.sql);
    req.addParameter('v', c.type, c.value, c.options);
    const outcome = await call('execSql', req);
    assert.equal(outcome.error, undefined, `${c.name}: ${outcome.error}`);
    let got = outcome.rows[0][0];
    if (typeof got === 'bigint') got = got.toString();
    assert.deepEqual(got, c.expected, c.name);
    assert.equal(outcome.returnStatus, 0, c.name);
  }
});

test('a server error in a parameterised statement reaches tedious and the connection goes on', async () => {
  const req = request('INSERT INTO lin2world.dbo.builder_account VALUES (@n, 1, 1); INSERT INTO lin2world.dbo.builder_account VALUES (@n, 1, 1)');
  req.addParameter('n', TYPES.VarChar, 'twice');
  const outcome = await call('execSql', req);
  assert.equal(outcome.error?.number, 2627);
  assert.equal(outcome.returnStatus, 2627);
  const { results } = await query(shared.connection, "SELECT COUNT(*) FROM lin2world.dbo.builder_account WHERE account_name = 'twice'");
  assert.equal(results[0].rows[0][0], 1);
});

test('prepare, execute with new values, unprepare', async () => {
  await query(shared.connection, 'CREATE TABLE prepared (id int IDENTITY PRIMARY KEY, n int)');
  const insert = request('INSERT INTO prepared (n) VALUES (@n)');
  insert.addParameter('n', TYPES.Int);
  const prepared = await call('prepare', insert);
  assert.equal(prepared.error, undefined, String(prepared.error));
  assert.ok(Number.isInteger(insert.handle), 'tedious keeps the handle');
  for (const n of [5, 6, 7]) {
    const run = await call('execute', insert, { n });
    assert.equal(run.error, undefined, String(run.error));
  }
  const select = request('SELECT n FROM prepared WHERE n >= @min ORDER BY n');
  select.addParameter('min', TYPES.Int);
  await call('prepare', select);
  assert.notEqual(select.handle, insert.handle);
  assert.deepEqual((await call('execute', select, { min: 6 })).rows, [[6], [7]]);
  await call('unprepare', insert);
  const gone = await call('execute', insert, { n: 8 });
  assert.equal(gone.error?.number, 8179);
  assert.deepEqual((await call('execute', select, { min: 0 })).rows, [[5], [6], [7]]);
});

test('callProcedure returns output parameters and the return status', async () => {
  const req = request('sp_executesql');
  req.addParameter('statement', TYPES.NVarChar, 'SET @doubled = @n * 2; SET @text = N\'got \' + CAST(@n AS nvarchar(10))');
  req.addParameter('params', TYPES.NVarChar, '@n int, @doubled int OUTPUT, @text nvarchar(20) OUTPUT');
  req.addParameter('n', TYPES.Int, 21);
  req.addOutputParameter('doubled', TYPES.Int);
  req.addOutputParameter('text', TYPES.NVarChar, null, { length: 20 });
  const outcome = await call('callProcedure', req);
  assert.equal(outcome.error, undefined, String(outcome.error));
  assert.deepEqual(outcome.outputs, { doubled: 42, text: 'got 21' });
  assert.equal(outcome.returnStatus, 0);

  const missing = await call('callProcedure', request('sp_no_such_procedure'));
  assert.equal(missing.error?.number, 2812);
});

test('cancel ends a WAITFOR DELAY and the connection stays usable', async () => {
  const started = Date.now();
  const req = request("SELECT 1 AS first WAITFOR DELAY '00:00:20' SELECT 2 AS second");
  const pending = call('execSqlBatch', req);
  setTimeout(() => shared.connection.cancel(), 300);
  const outcome = await pending;
  assert.equal(outcome.error?.code, 'ECANCEL');
  assert.ok(Date.now() - started < 10000, 'the wait was cut short');
  const { results } = await query(shared.connection, 'SELECT 3 AS n');
  assert.equal(results[0].rows[0][0], 3);
});
