'use strict';
// Transactions through tedious's transaction-manager requests and through T-SQL: commit keeps,
// rollback undoes, @@TRANCOUNT follows, and a connection that leaves mid-transaction loses it.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startStandin, connect, close, query, transaction } = require('../harness');

let standin;
let connection;
before(async () => {
  standin = await startStandin([]);
  connection = await connect(standin.port);
  await query(connection, 'DELETE FROM lin2world.dbo.builder_account');
});
after(async () => {
  await close(connection);
  await standin.stop();
});

const insert = (name) => `INSERT INTO lin2world.dbo.builder_account VALUES ('${name}', 1, 1)`;
async function names(c) {
  const { results } = await query(c, 'SELECT account_name FROM lin2world.dbo.builder_account ORDER BY account_name');
  return results[0].rows.map((r) => r[0]);
}
async function tranCount(c) {
  return (await query(c, 'SELECT @@TRANCOUNT AS n')).results[0].rows[0][0];
}

test('transaction-manager requests begin, commit and roll back', async () => {
  await transaction(connection, 'beginTransaction');
  assert.equal(await tranCount(connection), 1);
  await query(connection, insert('kept'));
  await transaction(connection, 'commitTransaction');
  assert.equal(await tranCount(connection), 0);

  await transaction(connection, 'beginTransaction');
  await query(connection, insert('undone'));
  assert.deepEqual(await names(connection), ['kept', 'undone']);
  await transaction(connection, 'rollbackTransaction');
  assert.equal(await tranCount(connection), 0);
  assert.deepEqual(await names(connection), ['kept']);
});

test('T-SQL transactions nest in @@TRANCOUNT and roll back whole', async () => {
  await query(connection, `BEGIN TRANSACTION\n${insert('outer')}\nBEGIN TRANSACTION\n${insert('inner')}`);
  assert.equal(await tranCount(connection), 2);
  await query(connection, 'COMMIT');
  assert.equal(await tranCount(connection), 1);
  await query(connection, 'ROLLBACK');
  assert.equal(await tranCount(connection), 0);
  assert.deepEqual(await names(connection), ['kept']);
});

test('a connection that closes inside a transaction has it rolled back', async () => {
  const leaving = await connect(standin.port);
  await transaction(leaving, 'beginTransaction');
  await query(leaving, insert('abandoned'));
  await close(leaving);
  // The other session sees the table again once the abandoned transaction is gone.
  let seen;
  for (let i = 0; i < 50; ++i) {
    seen = await names(connection);
    if (!seen.includes('abandoned')) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.deepEqual(seen, ['kept']);
});
