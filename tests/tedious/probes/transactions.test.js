'use strict';
// Transactions through tedious's transaction-manager requests and through T-SQL: commit keeps,
// rollback undoes, @@TRANCOUNT follows, and a connection that leaves mid-transaction loses it.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { useStandin, connect, close, query, transaction } = require('../harness');

const shared = useStandin([]);

const insert = (name) => `INSERT INTO lin2world.dbo.builder_account VALUES ('${name}', 1, 1)`;
async function names(c) {
  const { results } = await query(c, 'SELECT account_name FROM lin2world.dbo.builder_account ORDER BY account_name');
  return results[0].rows.map((r) => r[0]);
}
async function tranCount(c) {
  return (await query(c, 'SELECT @@TRANCOUNT AS n')).results[0].rows[0][0];
}

test('transaction-manager requests begin, commit and roll back', async () => {
  await transaction(shared.connection, 'beginTransaction');
  assert.equal(await tranCount(shared.connection), 1);
  await query(shared.connection, insert('kept'));
  await transaction(shared.connection, 'commitTransaction');
  assert.equal(await tranCount(shared.connection), 0);

  await transaction(shared.connection, 'beginTransaction');
  await query(shared.connection, insert('undone'));
  assert.deepEqual(await names(shared.connection), ['kept', 'undone']);
  await transaction(shared.connection, 'rollbackTransaction');
  assert.equal(await tranCount(shared.connection), 0);
  assert.deepEqual(await names(shared.connection), ['kept']);
});

test('T-SQL transactions nest in @@TRANCOUNT and roll back whole', async () => {
  await query(shared.connection, `BEGIN TRANSACTION\n${insert('outer')}\nBEGIN TRANSACTION\n${insert('inner')}`);
  assert.equal(await tranCount(shared.connection), 2);
  await query(shared.connection, 'COMMIT');
  assert.equal(await tranCount(shared.connection), 1);
  await query(shared.connection, 'ROLLBACK');
  assert.equal(await tranCount(shared.connection), 0);
  assert.deepEqual(await names(shared.connection), ['kept']);
});

test('a connection that closes inside a transaction has it rolled back', async () => {
  const leaving = await connect(shared.standin.port);
  await transaction(leaving, 'beginTransaction');
  await query(leaving, insert('abandoned'));
  await close(leaving);
  // The other session sees the table again once the abandoned transaction is gone.
  let seen;
  for (let i = 0; i < 50; ++i) {
    seen = await names(shared.connection);
    if (!seen.includes('abandoned')) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.deepEqual(seen, ['kept']);
});
