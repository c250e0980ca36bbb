'use strict';
// What a batch gives back: several result sets in order, the row count of each statement, the
// counts that SET NOCOUNT suppresses, and an empty result that still describes its columns.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { useStandin, connect, close, query } = require('../harness');

const shared = useStandin(['--demo', '5'], { connection: false });

async function withConnection(body) {
  const connection = await connect(shared.standin.port);
  try {
    await body(connection);
  } finally {
    await close(connection);
  }
}

test('several result sets arrive in order, each with its columns and rows', () => withConnection(async (c) => {
  const { results, rowCounts } = await query(c,
    "SELECT 1 AS one\nSELECT uid, account FROM lin2db.dbo.user_account WHERE uid <= 2 ORDER BY uid\n" +
    "SELECT account FROM lin2db.dbo.user_account WHERE 1 = 0\nSELECT 'last' AS word, 2 AS n");
  assert.deepEqual(results.map((r) => r.columns.map((col) => col.colName)), [['one'], ['uid', 'account'], ['account'], ['word', 'n']]);
  assert.deepEqual(results[0].rows, [[1]]);
  assert.deepEqual(results[1].rows.map((r) => r[0]), [1, 2]);
  assert.deepEqual(results[2].rows, []);
  assert.deepEqual(results[3].rows, [['last', 2]]);
  assert.deepEqual(rowCounts, [1, 2, 0, 1]);
}));

test('each statement reports the rows it touched', () => withConnection(async (c) => {
  await query(c, 'CREATE TABLE #counted (k int NOT NULL, v int)');
  const cases = [
    ['INSERT INTO #counted VALUES (1, 10)', [1]],
    ['INSERT INTO #counted VALUES (2, 20)\nINSERT INTO #counted VALUES (3, 30)', [1, 1]],
    ['UPDATE #counted SET v = v + 1 WHERE k >= 2', [2]],
    ['UPDATE #counted SET v = 0 WHERE k = 99', [0]],
    ['DELETE FROM #counted WHERE k = 1', [1]],
    ['SELECT k FROM #counted', [2]],
    ['SELECT @@ROWCOUNT AS n', [1]],
  ];
  for (const [sql, counts] of cases) assert.deepEqual((await query(c, sql)).rowCounts, counts, sql);
  const { results } = await query(c, 'UPDATE #counted SET v = 5\nSELECT @@ROWCOUNT AS n');
  assert.deepEqual(results[0].rows, [[2]]);
}));

test('SET NOCOUNT ON leaves the counts out until it is turned off', () => withConnection(async (c) => {
  const quiet = await query(c, 'SET NOCOUNT ON\nUPDATE lin2db.dbo.user_account SET pay_stat = 1\nSELECT uid FROM lin2db.dbo.user_account');
  assert.deepEqual(quiet.rowCounts, []);
  assert.equal(quiet.results[0].rows.length, 5);
  const loud = await query(c, 'SET NOCOUNT OFF\nUPDATE lin2db.dbo.user_account SET pay_stat = 2');
  assert.deepEqual(loud.rowCounts, [5]);
}));
