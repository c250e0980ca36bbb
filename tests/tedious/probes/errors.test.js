'use strict';
// Server errors as tedious reports them: number, class, state, line, server name and text; the
// informational messages that come with them; the connection staying usable afterwards.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { useStandin, run, query } = require('../harness');

const shared = useStandin(['--server-name', 'PROBE01']);

const duplicate = "INSERT INTO lin2db.dbo.user_auth VALUES ('dup', 0x01, 'a', 'b', 0x02, 0x03)";
const cases = [
  {
    name: 'a missing table on the second line',
    sql: 'SELECT 1 AS a\nSELECT * FROM lin2db.dbo.nosuch',
    error: { number: 208, class: 16, state: 1, lineNumber: 2, message: "Invalid object name 'lin2db.dbo.nosuch'." },
    infos: [],
  },
  {
    name: 'a duplicate key',
    sql: `${duplicate}\n\n${duplicate}`,
    error: {
      number: 2627, class: 14, state: 1, lineNumber: 3,
      message: "Violation of PRIMARY KEY constraint 'PK_user_auth'. Cannot insert duplicate key in object 'dbo.user_auth'. The duplicate key value is (dup).",
    },
    infos: [3621],
  },
  {
    name: 'a conversion error',
    sql: "SELECT CAST('abc' AS int)",
    error: { number: 245, class: 16, state: 1, lineNumber: 1, message: "Conversion failed when converting the varchar value 'abc' to data type int." },
    infos: [],
  },
  {
    name: 'a division by zero',
    sql: 'SELECT 1 / 0',
    error: { number: 8134, class: 16, state: 1, lineNumber: 1, message: 'Divide by zero error encountered.' },
    infos: [3621],
  },
  {
    name: 'a syntax error',
    sql: 'SELECT FROM WHERE',
    error: { number: 156, class: 15, state: 1, lineNumber: 1, message: "Incorrect syntax near the keyword 'FROM'." },
    infos: [],
  },
  {
    name: 'a NULL in a NOT NULL column',
    sql: 'INSERT INTO lin2db.dbo.user_account (account) VALUES (NULL)',
    error: { number: 515, class: 16, state: 2, lineNumber: 1 },
    infos: [3621],
  },
];

for (const c of cases) {
  test(`${c.name} is reported with number, class, state and line`, async () => {
    const outcome = await run(shared.connection, c.sql);
    assert.ok(outcome.error, 'the request failed');
    assert.equal(outcome.error.code, 'EREQUEST');
    assert.equal(outcome.errors.length, 1);
    const [e] = outcome.errors;
    const reported = { number: e.number, class: e.class, state: e.state, lineNumber: e.lineNumber };
    const { message, ...expected } = c.error;
    assert.deepEqual(reported, expected);
    if (message) assert.equal(e.message, message);
    assert.equal(outcome.error.number, c.error.number);
    assert.equal(e.serverName, 'PROBE01');
    assert.deepEqual(outcome.infos.map((i) => i.number), c.infos);
    // The connection goes on.
    assert.deepEqual((await query(shared.connection, 'SELECT 7 AS seven')).results[0].rows, [[7]]);
  });
}

test('errors injected by the control statement keep their number, class and state', async () => {
  await query(shared.connection, "STANDIN FAIL NEXT BATCH 1205 13 51 'Deadlock victim.'");
  const outcome = await run(shared.connection, 'SELECT 1');
  assert.deepEqual(outcome.errors.map((e) => [e.number, e.class, e.state, e.message]), [[1205, 13, 51, 'Deadlock victim.']]);
  assert.equal(outcome.error.number, 1205);
});
