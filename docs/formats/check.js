// Checks the format descriptions against scenarioc: compiles the three .ksy
// files to JavaScript, decodes a scenario's compiled files with them and
// compares every value with `scenarioc dump --json --all`.
//
//   node check.js SCENARIOC DIR    (DIR holds one scenario's three files)
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');
const yaml = require('js-yaml');
const compiler = require('kaitai-struct-compiler');
const KaitaiStream = require('kaitai-struct/KaitaiStream');

// Compiles one description and returns its top-level class.
async function parserOf(ksyName) {
  const ksy = yaml.load(fs.readFileSync(path.join(__dirname, ksyName), 'utf8'));
  const files = await compiler.compile('javascript', ksy, null, false);
  const [file] = Object.keys(files);
  const exports = {};
  const load = (name) => {
    if (name === 'kaitai-struct/KaitaiStream') return KaitaiStream;
    throw new Error(`${file} asks for ${name}`);
  };
  new Function('exports', 'require', 'define', files[file])(exports, load, undefined);
  return exports[path.basename(file, '.js')];
}

function decode(Parser, file) {
  return new Parser(new KaitaiStream(fs.readFileSync(file)));
}

function dump(scenarioc, file) {
  const text = childProcess.execFileSync(scenarioc, ['dump', '--json', '--all', file],
                                         { maxBuffer: 1 << 30, encoding: 'utf8' });
  return JSON.parse(text);
}

// The text decoder of some Node.js builds reads the bytes 0x80 to 0x9F of
// Windows-1252 as control characters; put the code page's own letters back.
const HIGH = [0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021,
              0x2C6, 0x2030, 0x160, 0x2039, 0x152, 0x8D, 0x17D, 0x8F,
              0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
              0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178];
function windows1252(text) {
  return text.replace(/[\u0080-\u009f]/g, (c) => String.fromCodePoint(HIGH[c.charCodeAt(0) - 0x80]));
}

class Comparison {
  constructor(file) {
    this.file = file;
    this.faults = [];
  }
  same(what, kaitai, scenarioc) {
    if (kaitai !== scenarioc && this.faults.length < 20) {
      this.faults.push(`${what}: description gives ${JSON.stringify(kaitai)}, scenarioc ${JSON.stringify(scenarioc)}`);
    }
  }
}

const CELL_FIELDS = ['kind', 'value1', 'value2', 'value3', 'value4', 'signal_time',
                     'approach', 'mountain', 'speed_limit', 'gradient', 'adhesion'];
const SLOT_FIELDS = ['kind', 'num1', 'num2', 'num3', 'flag', 'word1', 'word2', 'word3',
                     'word4', 'word5', 'byte1', 'byte2', 'byte3', 'byte4', 'num4'];
// Kaitai's JavaScript names fields in camel case.
const camel = (name) => name.replace(/_([a-z])/g, (_, c) => c.toUpperCase());

function compareCells(parsed, json, c) {
  c.same('cell count', parsed.cells.length, json.cells.length);
  c.same('cell count', parsed.cells.length, json.cell_count);
  json.cells.forEach((row, i) => {
    const cell = parsed.cells[row.index];
    c.same(`row ${i} index`, row.index, i);
    if (!cell) return;
    for (const f of CELL_FIELDS) c.same(`cell ${row.index} ${f}`, cell[camel(f)], row[f]);
    c.same(`cell ${row.index} speed in km/h`, cell.speedLimitKmh, row.speed_limit_kmh);
    c.same(`cell ${row.index} gradient in per mille`, cell.gradientPerMille, row.gradient_per_mille);
  });
  return `${parsed.cells.length} cells`;
}

function compareSlots(parsed, json, c) {
  c.same('slot count', parsed.slots.length, json.slots.length);
  json.slots.forEach((row) => {
    const slot = parsed.slots[row.index];
    if (!slot) return;
    for (const f of SLOT_FIELDS) c.same(`slot ${row.index} ${f}`, slot[camel(f)], row[f]);
    c.same(`slot ${row.index} name`, windows1252(slot.name), row.name);
  });
  return `${parsed.slots.length} slots`;
}

function compareGeometry(parsed, json, c) {
  const metres = parsed.metreCount;
  c.same('metre count', metres, json.metre_count);
  c.same('metre count', metres, json.metres.length);
  const valueOf = (v) => (v.tag === 2 ? v.integerValue : v.tag === 5 ? v.realValue : null);
  json.metres.forEach((row) => {
    const x = parsed.values[row.metre];
    const y = parsed.values[metres + row.metre];
    if (!x || !y) return;
    c.same(`x tag of metre ${row.metre}`, x.tag, row.x_tag);
    c.same(`y tag of metre ${row.metre}`, y.tag, row.y_tag);
    c.same(`x of metre ${row.metre}`, valueOf(x), row.x);
    c.same(`y of metre ${row.metre}`, valueOf(y), row.y);
  });
  return `${metres} metres`;
}

async function main() {
  const [scenarioc, dir] = process.argv.slice(2);
  if (!scenarioc || !dir) {
    console.error('usage: node check.js SCENARIOC DIR');
    process.exit(64);
  }
  const names = fs.readdirSync(dir);
  const pick = (test) => names.filter(test).map((n) => path.join(dir, n));
  const geometry = pick((n) => n.endsWith('_linea.dat'));
  const checks = [
    ['scenario_cells.ksy', pick((n) => n.endsWith('.dat') && !n.endsWith('_linea.dat')), compareCells],
    ['scenario_slots.ksy', pick((n) => n.endsWith('.sim')), compareSlots],
    ['scenario_line_geometry.ksy', geometry, compareGeometry],
  ];
  let passed = 0;
  let failed = 0;
  for (const [ksy, files, compare] of checks) {
    if (files.length !== 1) {
      console.error(`${dir}: expected one file for ${ksy}, found ${files.length}`);
      failed += 1;
      continue;
    }
    const file = files[0];
    const c = new Comparison(file);
    let what = '';
    try {
      what = compare(decode(await parserOf(ksy), file), dump(scenarioc, file), c);
    } catch (e) {
      c.faults.push(String(e && e.stack ? e.stack : e));
    }
    if (c.faults.length === 0) {
      console.log(`ok: ${path.basename(file)} read with ${ksy} agrees with scenarioc dump (${what})`);
      passed += 1;
    } else {
      console.log(`FAILED: ${path.basename(file)} read with ${ksy}:`);
      for (const f of c.faults) console.log(`  ${f}`);
      failed += 1;
    }
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main();
