// The preview loader on the WebAssembly operators of FIELDFX_WASM_BUILD
// (default build-wasm): the bytes of the native golden fields, every
// operator through the loader, and bad input refused.
//   FIELDFX_WASM_BUILD=build-wasm node --test adapters/wasm/
import assert from 'node:assert/strict';
import { readFile, readdir } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';
import { join, resolve } from 'node:path';
import { test } from 'node:test';
import { loadOperator } from './fieldfx-preview.mjs';

const root = resolve(fileURLToPath(new URL('../..', import.meta.url)));
const ops = join(resolve(root, process.env.FIELDFX_WASM_BUILD ?? 'build-wasm'), 'ops');
const load = async (name) => loadOperator(await readFile(join(ops, `${name}.preview.wasm`)));

// The test host's pattern: byte i of pixel (x, y) is (x * 7 + y * 13 + i * 51 + seed) & 255.
function patternField(width, height, seed) {
  const pixels = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++)
      for (let i = 0; i < 4; i++) pixels[(y * width + x) * 4 + i] = (x * 7 + y * 13 + i * 51 + seed) & 255;
  return { width, height, pixels };
}

// The operator tests' checksum of golden fields: FNV-1a's step over the
// bytes, from their starting value 1469598103934665603.
function checksum(bytes) {
  let h = 1469598103934665603n;
  for (const b of bytes) h = BigInt.asUintN(64, (h ^ BigInt(b)) * 0x100000001b3n);
  return h;
}

test('Tunnel gives the golden fields of the native tests, byte for byte', async () => {
  const tunnel = await load('Tunnel');
  const cases = [
    { centre: [40, 20], sliders: [50, 0, 10], flags: 0, aspect: 1000, size: [96, 48], sum: 0x242c5db7f6d47a81n },
    { centre: [10, 30], sliders: [30, 37, 20], flags: 2, aspect: 1094, size: [96, 48], sum: 0xe6b02f750b46a400n },
    { centre: [50, 20], sliders: [40, 25, 7], flags: 0, aspect: 1000, size: [95, 47], sum: 0x04e8c7bb01e863f1n },
  ];
  for (const c of cases) {
    tunnel.set(1, { x: c.centre[0], y: c.centre[1] });
    c.sliders.forEach((v, i) => tunnel.set(i + 2, v));
    const out = tunnel.render({ inputs: [patternField(c.size[0], c.size[1], 3)], position: 5, duration: 1,
                                flags: c.flags, pixelAspect: c.aspect });
    assert.equal(out.result, 0);
    assert.deepEqual([out.width, out.height], c.size);
    assert.equal(checksum(out.pixels), c.sum, `centre ${c.centre}, sliders ${c.sliders}`);
  }
  assert.equal(tunnel.close(), 0);
});

test('every operator loads, describes itself and renders a field from two inputs', async () => {
  const names = (await readdir(ops)).filter((f) => f.endsWith('.preview.wasm')).map((f) => f.split('.')[0]);
  assert.ok(names.length >= 13, `only ${names.length} preview modules in ${ops}`);
  for (const name of names) {
    const op = await load(name);
    assert.match(op.ident, /^\$Id: /, name);
    for (const p of op.parameters) assert.ok(['choice', 'colour', 'slider', 'position', 'group'].includes(p.kind));
    const out = op.render({ inputs: [patternField(40, 20, 1), patternField(40, 20, 77)], position: 7, duration: 20 });
    assert.equal(out.result, 0, name);
    assert.equal(out.pixels.length, out.width * out.height * 4, name);
    assert.ok(out.width > 0 && out.height > 0, name);
    assert.equal(op.close(), 0, name);
  }
});

test('bad input is refused with its reason, and a missing field fails the request', async () => {
  const tunnel = await load('Tunnel');
  assert.throws(() => tunnel.render({ inputs: [{ width: 4, height: 2, pixels: new Uint8Array(31) }] }),
                /input 0: 31 bytes for 4 x 2 pixels/);
  assert.throws(() => tunnel.render({ inputs: [{ width: 40000, height: 1, pixels: new Uint8Array(160000) }] }),
                /not a field size/);
  assert.throws(() => tunnel.set(9, 1), /no parameter 9/);
  const glide = await load('Glide');  // a transition: input 1 is missing
  const out = glide.render({ inputs: [patternField(8, 4, 0)], position: 1, duration: 4 });
  assert.equal(out.result, -1);
  assert.equal(out.pixels, null);
});
