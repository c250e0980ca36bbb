'use strict';
// Every column type the stand-in serves, as tedious decodes it: a value and a NULL of each, the
// type tedious reads from COLMETADATA, and long values that travel in PLP chunks over many packets.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { useStandin, query } = require('../harness');

const shared = useStandin([]);

// [declared type, literal, tedious type of the nullable column, the value tedious gives]
const types = [
  ['int', '-5', 'IntN', -5],
  ['smallint', '300', 'IntN', 300],
  ['tinyint', '255', 'IntN', 255],
  ['bigint', '1099511627776', 'IntN', '1099511627776'],
  ['bit', '1', 'BitN', true],
  ['real', '1.5', 'FloatN', 1.5],
  ['float', '-2.25', 'FloatN', -2.25],
  ['money', '-12.3456', 'MoneyN', -12.3456],
  ['smallmoney', '1.25', 'MoneyN', 1.25],
  ['decimal(10,3)', '-1234.567', 'DecimalN', -1234.567],
  ['numeric(5,0)', '42', 'DecimalN', 42],
  ['datetime', "'2023-03-17 01:00:00.500'", 'DateTimeN', new Date('2023-03-17T01:00:00.500Z')],
  ['smalldatetime', "'2023-03-17 01:01'", 'DateTimeN', new Date('2023-03-17T01:01:00.000Z')],
  ['char(5)', "'ab'", 'Char', 'ab   '],
  ['varchar(20)', "'\u00e9t\u00e9 \u20ac'", 'VarChar', '\u00e9t\u00e9 \u20ac'],
  ['nchar(3)', "N'x'", 'NChar', 'x  '],
  ['nvarchar(10)', "N'\u0416\u00e9\u{1F600}'", 'NVarChar', '\u0416\u00e9\u{1F600}'],
  ['binary(3)', '0x01', 'Binary', Buffer.from([1, 0, 0])],
  ['varbinary(10)', '0xDEAD', 'VarBinary', Buffer.from([0xde, 0xad])],
  ['text', "'text'", 'Text', 'text'],
  ['ntext', "N'ntext \u20ac'", 'NText', 'ntext \u20ac'],
  ['image', '0x010203', 'Image', Buffer.from([1, 2, 3])],
  ['uniqueidentifier', "'00112233-4455-6677-8899-AABBCCDDEEFF'", 'UniqueIdentifier', '00112233-4455-6677-8899-AABBCCDDEEFF'],
  ['varchar(max)', "'max'", 'VarChar', 'max'],
  ['nvarchar(max)', "N'nmax'", 'NVarChar', 'nmax'],
  ['varbinary(max)', '0xBEEF', 'VarBinary', Buffer.from([0xbe, 0xef])],
];

test('each type reads back with its value, its NULL and its metadata', async () => {
  const columns = types.map(([type], i) => `c${i} ${type}`).join(', ');
  await query(shared.connection, `CREATE TABLE #types (id int NOT NULL, ${columns})`);
  await query(shared.connection, `INSERT INTO #types VALUES (1, ${types.map((t) => t[1]).join(', ')})`);
  await query(shared.connection, 'INSERT INTO #types (id) VALUES (2)');
  const { results } = await query(shared.connection, 'SELECT * FROM #types ORDER BY id');
  const [{ columns: described, rows }] = results;
  assert.equal(described[0].type.name, 'Int');  // NOT NULL int: the fixed-length type
  types.forEach(([type, , tediousType, value], i) => {
    assert.equal(described[i + 1].type.name, tediousType, type);
    assert.deepEqual(rows[0][i + 1], value, type);
    assert.equal(rows[1][i + 1], null, type);
  });
});

test('long values arrive whole across many packets', async () => {
  const ascii = 'x'.repeat(20000);
  const unicode = '\u20ac\u{1F600}'.repeat(5000);
  await query(shared.connection, 'CREATE TABLE #long (a varchar(max), u nvarchar(max), b varbinary(max))');
  await query(shared.connection, `INSERT INTO #long VALUES ('${ascii}', N'${unicode}', 0x${'ab'.repeat(30000)})`);
  const { results } = await query(shared.connection, 'SELECT a, u, b FROM #long');
  const [[a, u, b]] = results[0].rows;
  assert.equal(a, ascii);
  assert.equal(u, unicode);
  assert.deepEqual(b, Buffer.alloc(30000, 0xab));
});
