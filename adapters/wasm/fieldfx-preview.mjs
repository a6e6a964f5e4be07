// Runs one fieldfx operator, built as a WebAssembly module
// (build-wasm/ops/<Name>.preview.wasm, see preview.cpp), on images in memory:
// the seed of a page that previews effects with nothing installed. It needs
// only WebAssembly: the WASI calls the module's C library can make are
// answered here (standard error to the console, no files, no arguments or
// environment, exit as an exception, the rest "not supported"), so it runs in a browser as in node.
//
//   import { loadOperator } from './fieldfx-preview.mjs';
//   const op = await loadOperator(await (await fetch('Tunnel.preview.wasm')).arrayBuffer());
//   op.set(2, 15);                        // the second parameter (a slider) to 15
//   const field = op.render({ inputs: [a, b], position: 10, duration: 50 });
//   // a, b, field: { width, height, pixels: Uint8Array of 4-byte pixels }
//   op.close();

const OPE_BASE = 0x4f504500;
const OPE_PARAM1 = OPE_BASE + 0x04;
const OPE_IDENT = OPE_BASE + 0x10;
const KINDS = ['choice', 'colour', 'slider', 'position', 'group'];
const WASI_EBADF = 8;
const WASI_ENOSYS = 52;

export async function loadOperator(bytes) {
  let memory = null;
  const note = [];
  const noneOf = (count, size) => {
    const view = new DataView(memory.buffer);
    view.setUint32(count, 0, true);
    view.setUint32(size, 0, true);
    return 0;
  };
  const wasi = {
    // Standard error of the module's C library, line by line to the console.
    fd_write(fd, iovs, count, written) {
      const view = new DataView(memory.buffer);
      let total = 0;
      for (let i = 0; i < count; i++) {
        const base = view.getUint32(iovs + 8 * i, true);
        const length = view.getUint32(iovs + 8 * i + 4, true);
        note.push(...new Uint8Array(memory.buffer, base, length));
        total += length;
      }
      view.setUint32(written, total, true);
      let end;
      while ((end = note.indexOf(10)) >= 0) {
        console.warn(new TextDecoder().decode(new Uint8Array(note.splice(0, end + 1))).trimEnd());
      }
      return 0;
    },
    fd_prestat_get: () => WASI_EBADF,  // no directories opened for it
    environ_sizes_get: (count, size) => noneOf(count, size),
    args_sizes_get: (count, size) => noneOf(count, size),
    proc_exit(status) {
      throw new Error(`the operator module exited with status ${status}`);
    },
  };
  const module = await WebAssembly.compile(bytes);
  for (const { module: from, name } of WebAssembly.Module.imports(module)) {
    if (from === 'wasi_snapshot_preview1' && !(name in wasi)) wasi[name] = () => WASI_ENOSYS;
  }
  const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi });
  memory = instance.exports.memory;
  instance.exports._initialize();
  return new PreviewOperator(instance.exports);
}

class PreviewOperator {
  constructor(exports) {
    this.fx = exports;
    this.tags = new Map();
    const view = this.view();
    // The tag list: pairs of 32-bit words, ended by a single 0.
    for (let at = exports.fx_info(), n = 0; n < 64; at += 8, n++) {
      const tag = view.getUint32(at, true);
      if (tag === 0) break;
      this.tags.set(tag, view.getUint32(at + 4, true));
    }
  }

  view() { return new DataView(this.fx.memory.buffer); }

  // The operator's identification string.
  get ident() {
    const at = this.tags.get(OPE_IDENT);
    if (at === undefined) return '';
    const bytes = new Uint8Array(this.fx.memory.buffer, at);
    return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
  }

  // Parameters 1..4 as the descriptors give them (kind, text id, value, range).
  get parameters() {
    const out = [];
    for (let index = 1; index <= 4; index++) {
      const at = this.tags.get(OPE_PARAM1 + index - 1);
      if (at === undefined) continue;
      const view = this.view();
      const kind = KINDS[view.getUint16(at, true)] ?? 'unknown';
      const p = { index, kind, textId: view.getUint16(at + 2, true) };
      if (kind === 'choice') p.value = view.getUint32(at + 12, true);
      if (kind === 'colour') p.value = view.getUint32(at + 8, true);
      if (kind === 'slider') {
        p.minimum = view.getInt32(at + 16, true);
        p.maximum = view.getInt32(at + 20, true);
        p.value = view.getInt32(at + 24, true);
      }
      if (kind === 'position') p.value = { x: view.getInt16(at + 16, true), y: view.getInt16(at + 18, true) };
      out.push(p);
    }
    return out;
  }

  // Sets parameter `index` (1-based): a number for a choice, colour or
  // slider, { x, y } for a position.
  set(index, value) {
    const p = this.parameters.find((q) => q.index === index);
    if (!p) throw new Error(`the operator has no parameter ${index}`);
    const at = this.tags.get(OPE_PARAM1 + index - 1);
    const view = this.view();
    if (p.kind === 'choice') view.setUint32(at + 12, value, true);
    else if (p.kind === 'colour') view.setUint32(at + 8, value >>> 0, true);
    else if (p.kind === 'slider') view.setInt32(at + 24, value, true);
    else if (p.kind === 'position') {
      view.setInt16(at + 16, value.x, true);
      view.setInt16(at + 18, value.y, true);
    } else throw new Error(`parameter ${index} (${p.kind}) takes no value`);
  }

  // Renders the field at `position` of `duration` from one or two input
  // fields; returns { result, width, height, pixels } (pixels null when the
  // operator put no field).
  render({ inputs, position = 0, duration = 1, flags = 0, pixelAspect = 1000 }) {
    inputs.forEach((image, i) => {
      const { width, height, pixels } = image;
      if (pixels.length !== width * height * 4)
        throw new Error(`input ${i}: ${pixels.length} bytes for ${width} x ${height} pixels`);
      const at = this.fx.fx_input(i, width, height);
      if (at === 0) throw new Error(`input ${i}: ${width} x ${height} is not a field size`);
      new Uint8Array(this.fx.memory.buffer, at, pixels.length).set(pixels);
    });
    const result = this.fx.fx_process(position >>> 0, duration >>> 0, flags >>> 0, pixelAspect);
    const at = this.fx.fx_output();
    const width = this.fx.fx_output_width(), height = this.fx.fx_output_height();
    const pixels = at === 0 ? null : new Uint8Array(this.fx.memory.buffer, at, width * height * 4).slice();
    return { result, width, height, pixels };
  }

  close() { return this.fx.fx_close(); }
}
