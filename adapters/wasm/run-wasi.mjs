// run-wasi.mjs PROGRAM.wasm [ARGUMENTS...]: runs a WebAssembly command
// module (wasm32-wasi) with node's WASI: its arguments, standard output and
// error, no files; exits with its exit status.
//   node --experimental-wasi-unstable-preview1 adapters/wasm/run-wasi.mjs \
//        build-wasm/bin/agreement_driver_Tunnel.wasm 10
import { readFile } from 'node:fs/promises';
import { basename } from 'node:path';
import { WASI } from 'node:wasi';

const [program, ...args] = process.argv.slice(2);
if (!program) {
  console.error('usage: run-wasi.mjs PROGRAM.wasm [ARGUMENTS...]');
  process.exit(2);
}
let bytes;
try {
  bytes = await readFile(program);
} catch (e) {
  console.error(`run-wasi: cannot read ${program}: ${e.message}`);
  process.exit(2);
}
const wasi = new WASI({ version: 'preview1', args: [basename(program), ...args], env: {},
                        returnOnExit: true });
const { instance } = await WebAssembly.instantiate(bytes, wasi.getImportObject());
let status;
try {
  status = wasi.start(instance);
} catch (e) {
  // A trap (abort, unreachable) ends the program as a signal would.
  console.error(`run-wasi: ${program}: ${e.message}`);
  status = 134;
}
process.exitCode = status;
