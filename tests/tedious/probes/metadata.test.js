'use strict';
// The account tables as tedious describes them from COLMETADATA: names, types, lengths,
// nullability, identity and the code page of the character columns.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { useStandin, query } = require('../harness');

const shared = useStandin(['--demo', '3']);

// [name, tedious type, length (null for fixed types), nullable, identity]
const tables = {
  'lin2db.dbo.user_auth': [
    ['account', 'VarChar', 14, false, false],
    ['password', 'Binary', 16, false, false],
    ['quiz1', 'VarChar', 255, false, false],
    ['quiz2', 'VarChar', 255, false, false],
    ['answer1', 'Binary', 32, false, false],
    ['answer2', 'Binary', 32, false, false],
  ],
  'lin2db.dbo.user_account': [
    ['uid', 'Int', null, false, true],
    ['account', 'VarChar', 14, false, false],
    ['pay_stat', 'Int', null, false, false],
    ['login_flag', 'Int', null, false, false],
    ['warn_flag', 'Int', null, false, false],
    ['block_flag', 'Int', null, false, false],
    ['block_flag2', 'Int', null, false, false],
    ['block_end_date', 'DateTimeN', 8, true, false],
    ['last_login', 'DateTimeN', 8, true, false],
    ['last_logout', 'DateTimeN', 8, true, false],
    ['subscription_flag', 'Int', null, false, false],
    ['last_world', 'IntN', 1, true, false],
    ['last_game', 'IntN', 4, true, false],
    ['last_ip', 'VarChar', 15, true, false],
  ],
  'lin2world.dbo.builder_account': [
    ['account_name', 'NVarChar', 100, false, false],
    ['default_builder', 'Int', null, false, false],
    ['account_id', 'Int', null, false, false],
  ],
};

for (const [table, expected] of Object.entries(tables)) {
  test(`${table} describes its columns`, async () => {
    const { results } = await query(shared.connection, `SELECT * FROM ${table} WHERE 1 = 0`);
    assert.equal(results.length, 1);
    assert.equal(results[0].rows.length, 0);
    const described = results[0].columns.map((c) => [
      c.colName,
      c.type.name,
      c.dataLength ?? null,
      (c.flags & 0x01) !== 0,
      (c.flags & 0x10) !== 0,
    ]);
    assert.deepEqual(described, expected);
    for (const c of results[0].columns) {
      if (c.type.name === 'VarChar') assert.equal(c.collation.codepage, 'CP1252', c.colName);
    }
  });
}

test('the demo accounts read back as the metadata says', async () => {
  const { results } = await query(shared.connection, 'SELECT uid, account, last_login, last_world FROM lin2db.dbo.user_account ORDER BY uid');
  assert.deepEqual(results[0].rows.map((r) => r[0]), [1, 2, 3]);
  for (const [, account, lastLogin, lastWorld] of results[0].rows) {
    assert.equal(typeof account, 'string');
    assert.ok(account.length > 0 && account.length <= 14, account);
    assert.ok(lastLogin === null || lastLogin instanceof Date);
    assert.ok(lastWorld === null || (Number.isInteger(lastWorld) && lastWorld >= 0 && lastWorld <= 255));
  }
});
