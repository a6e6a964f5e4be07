// fieldfx studio page: controls from the operators' descriptors, the picture
// from the server (the operator's output of the field or frame shown), and
// the render command of what is shown.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const session = Array.from(crypto.getRandomValues(new Uint8Array(12)),
                           (b) => b.toString(16).padStart(2, '0')).join('');
const $ = (id) => document.getElementById(id);

const page = {
  catalogue: null,
  effect: null,        // the catalogue entry of the effect shown
  values: {},          // parameter name -> value text (absent: the default)
  keys: {},            // parameter name -> {frame: value text}
  pattern: '',         // built-in pattern name ('' none)
  patternValues: {},   // its settings
  position: 0,         // field of the span
  fields: 2,
  view: 'output',
  fieldMode: false,
  geometry: null,      // the state reply: width, height, fields ...
  drawn: 0,            // pictures drawn so far (for tests)
  inputs: [],          // clips chosen under --root, relative to it (none: the command line's)
};

async function call(name, body) {
  const res = await fetch('api/' + name, {
    method: 'POST',
    headers: {'Content-Type': 'application/json', 'X-Studio-Token': token},
    body: JSON.stringify(body),
  });
  if (!res.ok) {
    let message = res.status + ' ' + res.statusText;
    try { message = (await res.json()).error || message; } catch (e) { /* not JSON */ }
    throw new Error(message);
  }
  const type = res.headers.get('Content-Type') || '';
  return type.startsWith('application/json') ? res.json() : res.arrayBuffer();
}

// ---- State and the words of the render command ---------------------------

function frame() { return Math.floor(page.position / 2); }

function patternText() {
  if (!page.pattern) return '';
  const p = page.catalogue.patterns.find((q) => q.name === page.pattern);
  const parts = [];
  for (const s of p.settings)
    if (page.patternValues[s.name] !== undefined && page.patternValues[s.name] !== s.default)
      parts.push(s.name + '=' + page.patternValues[s.name]);
  return parts.length ? page.pattern + ':' + parts.join(',') : page.pattern;
}

function setsOf() {
  const sets = [];
  for (const p of page.effect.params) {
    const keys = page.keys[p.name];
    const frames = keys ? Object.keys(keys).map(Number).sort((a, b) => a - b) : [];
    if (frames.length) {
      sets.push(p.name.toLowerCase() + '=' + frames.map((f) => keys[f] + '@' + f).join(','));
    } else if (page.values[p.name] !== undefined) {
      sets.push(p.name.toLowerCase() + '=' + page.values[p.name]);
    }
  }
  return sets;
}

function state() {
  return {session, effect: page.effect.name, sets: setsOf(), pattern: patternText(),
          output: $('output').value, position: page.position, inputs: page.inputs};
}

// ---- Values: text as --set takes it, and back ----------------------------

function defaultText(p) {
  switch (p.kind) {
    case 'slider': return sliderText(p, p.default);
    case 'choice': return choiceText(p, p.default);
    case 'colour': return p.default;
    case 'position': return positionText(p, p.default);
  }
  return '';
}
function sliderText(p, v) {
  if (!p.tenths) return String(v);
  const sign = v < 0 ? '-' : '';
  const a = Math.abs(v);
  return sign + Math.floor(a / 10) + '.' + (a % 10);
}
function sliderValue(p, text) {
  return p.tenths ? Math.round(parseFloat(text) * 10) : parseInt(text, 10);
}
function choiceText(p, index) {
  const label = p.entries[index];
  return !p.numbered && /^[A-Za-z0-9]+$/.test(label) ? label : String(index);
}
function choiceIndex(p, text) {
  const i = p.entries.findIndex((e) => e.toLowerCase() === String(text).toLowerCase());
  return !p.numbered && i >= 0 ? i : parseInt(text, 10);
}
function positionText(p, v) {
  return (p.sized ? v.slice(0, 4) : v.slice(0, 2)).join(',');
}

// The value a parameter has at the current frame: the key there, else what
// the server found between the keys (else the key before), else the value.
function currentText(p) {
  const keys = page.keys[p.name];
  if (keys && Object.keys(keys).length) {
    if (keys[frame()] !== undefined) return keys[frame()];
    const at = page.atFrame && page.atFrame.frame === frame() && page.atFrame.values[p.name];
    if (at !== undefined && at !== false) {
      if (p.kind === 'slider') return sliderText(p, at);
      if (p.kind === 'choice') return choiceText(p, at);
      if (p.kind === 'position') return positionText(p, at);
    }
    const frames = Object.keys(keys).map(Number).sort((a, b) => a - b);
    let f = frames[0];
    for (const k of frames) if (k <= frame()) f = k;
    return keys[f];
  }
  return page.values[p.name] !== undefined ? page.values[p.name] : defaultText(p);
}

function hasKeyHere(p) {
  return !!(page.keys[p.name] && page.keys[p.name][frame()] !== undefined);
}

// A control moved: a keyed parameter gets a key at this frame.
function setValue(p, text) {
  const keys = page.keys[p.name];
  if (keys && Object.keys(keys).length) keys[frame()] = text;
  else page.values[p.name] = text;
  refreshKeyMarks();
  update();
}

function toggleKey(p) {
  const keys = page.keys[p.name] || (page.keys[p.name] = {});
  if (keys[frame()] !== undefined) {
    const text = keys[frame()];
    delete keys[frame()];
    if (!Object.keys(keys).length) page.values[p.name] = text;
  } else {
    keys[frame()] = currentText(p);
  }
  refreshKeyMarks();
  update();
}

// ---- Controls ------------------------------------------------------------

function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (k === 'text') e.textContent = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v);
  }
  for (const c of children) if (c) e.append(c);
  return e;
}

const controls = [];  // {param, show(): sets the control from currentText, key button}

function buildControls() {
  const box = $('controls');
  box.textContent = '';
  controls.length = 0;
  if (!page.effect.params.length) box.append(el('p', {text: 'No parameters.'}));
  for (const p of page.effect.params) {
    const id = 'param-' + p.name;
    const valueText = el('span', {class: 'value'});
    const key = el('button', {type: 'button', class: 'key', 'aria-pressed': 'false',
                              title: 'Key at this frame (K)', 'aria-label': 'Key ' + p.name,
                              onclick: () => toggleKey(p)}, '\u25C6');
    const row = el('div', {class: 'control', 'data-param': p.name});
    const head = el('div', {class: 'head'}, el('label', {for: id, text: p.name}), valueText, key);
    row.append(head);
    let show = () => {};
    if (p.kind === 'slider') {
      const input = el('input', {type: 'range', id, min: p.min, max: p.max, step: 1,
                                 'aria-label': p.name});
      input.addEventListener('input', () => setValue(p, sliderText(p, Number(input.value))));
      row.append(input);
      show = () => {
        const v = sliderValue(p, currentText(p));
        input.value = v;
        valueText.textContent = (p.tenths ? sliderText(p, v) + '\u00B0' : v) + (p.unit && !p.tenths ? ' ' + p.unit : '');
      };
    } else if (p.kind === 'choice') {
      const select = el('select', {id, 'aria-label': p.name});
      p.entries.forEach((e, i) => select.append(el('option', {value: i, text: e})));
      select.addEventListener('change', () => setValue(p, choiceText(p, Number(select.value))));
      row.append(select);
      show = () => { select.value = choiceIndex(p, currentText(p)); valueText.textContent = ''; };
    } else if (p.kind === 'colour') {
      const input = el('input', {type: 'color', id, 'aria-label': p.name});
      input.addEventListener('input', () => setValue(p, input.value));
      row.append(input);
      show = () => { input.value = currentText(p); valueText.textContent = currentText(p); };
    } else if (p.kind === 'position') {
      const names = p.sized ? ['x', 'y', 'w', 'h'] : ['x', 'y'];
      const inputs = names.map((n, i) => el('input', {
        type: 'number', id: i ? id + '-' + n : id, 'aria-label': p.name + ' ' + n,
        min: i < 2 ? -32768 : (i === 2 ? p.minSize[0] : p.minSize[1]),
        max: i < 2 ? 32767 : (i === 2 ? p.maxSize[0] : p.maxSize[1])}));
      for (const input of inputs)
        input.addEventListener('change', () => setValue(p, inputs.map((x) => x.value || '0').join(',')));
      row.append(el('div', {class: 'row'}, ...names.flatMap((n, i) => [el('span', {text: n}), inputs[i]])));
      show = () => {
        const v = currentText(p).split(',');
        inputs.forEach((x, i) => { x.value = v[i]; });
        valueText.textContent = 'drag on the picture';
      };
    }
    if (p.help || p.range) row.append(el('div', {class: 'help', text: (p.help ? p.help + ' ' : '') + '(' + p.range + ')'}));
    box.append(row);
    controls.push({param: p, show, key, row});
  }
  refreshKeyMarks();
}

// The frames that hold keys, as marks under the timeline.
function drawKeyMarks() {
  const box = $('keymarks');
  box.textContent = '';
  const frames = new Set();
  for (const keys of Object.values(page.keys)) for (const f of Object.keys(keys)) frames.add(Number(f));
  const last = Math.max(1, page.fields - 1);
  for (const f of frames) {
    const mark = el('span', {title: 'key at frame ' + f});
    mark.style.left = (100 * Math.min(2 * f, last) / last) + '%';
    box.append(mark);
  }
}

function refreshKeyMarks() {
  drawKeyMarks();
  for (const c of controls) {
    c.show();
    c.key.setAttribute('aria-pressed', String(hasKeyHere(c.param)));
    const keyed = page.keys[c.param.name] && Object.keys(page.keys[c.param.name]).length;
    c.row.querySelector('label').classList.toggle('keyed', !!keyed);
  }
}

function buildPatterns() {
  const box = $('patternbox');
  box.hidden = !page.effect.pattern;
  if (!page.effect.pattern) return;
  const list = $('patterns');
  if (!list.childElementCount) {
    for (const p of page.catalogue.patterns) {
      const img = el('img', {alt: ''});
      const b = el('button', {type: 'button', role: 'option', 'aria-selected': 'false',
                              'data-pattern': p.name, title: p.help,
                              onclick: () => choosePattern(p.name)}, img, el('span', {text: p.name}));
      list.append(b);
      call('pattern', {name: p.name}).then((bytes) => {
        img.src = URL.createObjectURL(new Blob([bytes], {type: 'image/png'}));
      }).catch(() => {});
    }
  }
  showPattern();
}

function choosePattern(name) {
  page.pattern = page.pattern === name ? '' : name;
  page.patternValues = {};
  showPattern();
  update();
}

function showPattern() {
  for (const b of $('patterns').children)
    b.setAttribute('aria-selected', String(b.dataset.pattern === page.pattern));
  const box = $('patternsettings');
  box.textContent = '';
  const p = page.catalogue.patterns.find((q) => q.name === page.pattern);
  if (!p) {
    box.append(el('p', {class: 'help', text: 'Default pattern (wipe-right). Pick one above.'}));
    return;
  }
  for (const s of [...p.settings, {name: 'invert', min: 0, max: 1, default: 0, help: 'high values change first'}]) {
    const id = 'pattern-' + s.name;
    const value = el('span', {class: 'value'});
    const input = el('input', {type: 'range', id, min: s.min, max: s.max, step: 1, 'aria-label': s.name});
    input.value = page.patternValues[s.name] !== undefined ? page.patternValues[s.name] : s.default;
    value.textContent = input.value;
    input.addEventListener('input', () => {
      page.patternValues[s.name] = Number(input.value);
      value.textContent = input.value;
      update();
    });
    box.append(el('div', {class: 'control'}, el('div', {class: 'head'}, el('label', {for: id, text: s.name}), value),
                  input, el('div', {class: 'help', text: s.help})));
  }
}

// ---- Picture -------------------------------------------------------------

let inFlight = false, pending = false;

function setBusy() { document.body.dataset.busy = inFlight || pending ? '1' : '0'; }

function update() {
  pending = true;
  setBusy();
  if (!inFlight) run();
}

async function run() {
  while (pending) {
    pending = false;
    inFlight = true;
    setBusy();
    try {
      await showState();
      $('error').hidden = true;
    } catch (e) {
      $('error').textContent = e.message;
      $('error').hidden = false;
    }
    inFlight = false;
  }
  setBusy();
}

async function showState() {
  const s = state();
  const g = await call('state', s);
  page.geometry = g;
  page.fields = g.fields;
  page.atFrame = {frame: Math.floor(s.position / 2), values: g.values};
  refreshKeyMarks();
  $('command').value = g.command;
  $('status').textContent = g.warnings.length ? 'warning: ' + g.warnings.join('; ') : '';
  const timeline = $('timeline');
  timeline.max = g.fields - 1;
  if (page.position > g.fields - 1) page.position = g.fields - 1;
  timeline.value = page.position;
  const f = frame();
  $('timetext').textContent = 'frame ' + f + ' of ' + (g.fields / 2) + ', field ' +
      (page.position % 2) + (g.rate ? ' (' + (f / g.rate).toFixed(2) + ' s)' : '');
  const ask = (view) => call('frame', {...s, position: page.position, view,
                                       mode: page.fieldMode ? 'field' : 'frame'});
  const views = page.view === 'split' ? ['input0', 'output'] : [page.view];
  if (page.view === 'input1' && page.effect.filter) views[0] = 'input0';
  const images = (await Promise.all(views.map(ask))).map(decode);
  draw(images);
}

function decode(buffer) {
  const d = new DataView(buffer);
  const w = d.getUint32(0, true), h = d.getUint32(4, true);
  return new ImageData(new Uint8ClampedArray(buffer, 8, w * h * 4), w, h);
}

function draw(images) {
  const canvas = $('picture');
  const img = images[images.length - 1];
  if (canvas.width !== img.width || canvas.height !== img.height) {
    canvas.width = img.width;
    canvas.height = img.height;
  }
  fitPicture();
  const ctx = canvas.getContext('2d');
  ctx.putImageData(img, 0, 0);
  if (images.length === 2) {
    const split = Math.round(img.width * Number($('split').value) / 100);
    ctx.putImageData(images[0], 0, 0, 0, 0, split, img.height);
  }
  page.drawn += 1;
  document.body.dataset.drawn = String(page.drawn);
  drawOverlay();
}

// The picture as large as the space allows, at the frame's shape (one field
// shown twice as tall as its rows).
function fitPicture() {
  const canvas = $('picture');
  const shapeHeight = page.fieldMode ? canvas.height * 2 : canvas.height;
  const room = Math.max(160, window.innerHeight - 260);
  const scale = Math.min($('stage').clientWidth / canvas.width, room / shapeHeight);
  canvas.style.width = Math.floor(canvas.width * scale) + 'px';
  canvas.style.height = Math.floor(shapeHeight * scale) + 'px';
}

// Position parameters as markers on the picture.
function drawOverlay() {
  const canvas = $('picture'), overlay = $('overlay');
  const rect = canvas.getBoundingClientRect(), stage = $('stage').getBoundingClientRect();
  overlay.style.left = (rect.left - stage.left) + 'px';
  overlay.style.top = (rect.top - stage.top) + 'px';
  overlay.style.width = rect.width + 'px';
  overlay.style.height = rect.height + 'px';
  overlay.width = canvas.width;
  overlay.height = canvas.height;
  const ctx = overlay.getContext('2d');
  ctx.clearRect(0, 0, overlay.width, overlay.height);
  if (page.view === 'input0' || page.view === 'input1') return;
  const rows = page.fieldMode ? 1 : 2;
  for (const p of page.effect.params.filter((q) => q.kind === 'position')) {
    const v = currentText(p).split(',').map(Number);
    ctx.strokeStyle = '#ffcc33';
    ctx.lineWidth = 2;
    // Positions count from the active rectangle's top-left corner.
    const [ax, ay] = page.geometry ? page.geometry.active : [0, 0];
    const x = v[0] + ax, y = (v[1] + ay) * rows;
    if (p.sized) ctx.strokeRect(x, y, v[2], v[3] * rows);
    ctx.beginPath();
    ctx.moveTo(x - 12, y); ctx.lineTo(x + 12, y);
    ctx.moveTo(x, y - 12 * rows / 2); ctx.lineTo(x, y + 12 * rows / 2);
    ctx.stroke();
  }
}

// Dragging on the picture moves the effect's position parameter: x in
// pixels, y in field rows.
function pictureDrag() {
  const canvas = $('picture');
  let dragging = false;
  const move = (ev) => {
    const p = page.effect.params.find((q) => q.kind === 'position');
    if (!p) return;
    const r = canvas.getBoundingClientRect();
    const [ax, ay] = page.geometry ? page.geometry.active : [0, 0];
    const x = Math.round((ev.clientX - r.left) * canvas.width / r.width) - ax;
    const row = (ev.clientY - r.top) * canvas.height / r.height;
    const y = Math.round(page.fieldMode ? row : row / 2) - ay;
    const v = currentText(p).split(',');
    v[0] = String(x);
    v[1] = String(y);
    setValue(p, v.join(','));
  };
  canvas.addEventListener('pointerdown', (ev) => {
    dragging = true;
    canvas.setPointerCapture(ev.pointerId);
    move(ev);
  });
  canvas.addEventListener('pointermove', (ev) => { if (dragging) move(ev); });
  canvas.addEventListener('pointerup', () => { dragging = false; });
}

// ---- Time ----------------------------------------------------------------

function seek(position) {
  page.position = Math.max(0, Math.min(page.fields - 1, position));
  refreshKeyMarks();
  update();
}

// ---- Render --------------------------------------------------------------

async function render() {
  const button = $('render');
  button.disabled = true;
  $('renderstatus').textContent = 'starting';
  try {
    const started = await call('render', {...state(), replace: $('replace').checked});
    const bar = $('progress');
    bar.hidden = false;
    bar.max = started.total;
    for (;;) {
      const p = await call('progress', {});
      bar.value = p.done;
      $('renderstatus').textContent = p.running ? p.done + ' / ' + p.total + ' fields'
          : (p.error ? 'failed: ' + p.error : 'done: ' + p.summary);
      document.body.dataset.render = p.running ? 'running' : (p.error ? 'failed' : 'done');
      if (!p.running) break;
      await new Promise((r) => setTimeout(r, 200));
    }
  } catch (e) {
    $('renderstatus').textContent = 'failed: ' + e.message;
    document.body.dataset.render = 'failed';
  }
  button.disabled = false;
}

// ---- Effect choice and start ---------------------------------------------

function chooseEffect(name, sets, pattern) {
  page.effect = page.catalogue.effects.find((e) => e.name === name) || page.catalogue.effects[0];
  $('effect').value = page.effect.name;
  $('kind').textContent = page.effect.filter ? 'filter (input A)' : 'transition (A to B)';
  page.values = {};
  page.keys = {};
  for (const a of sets || []) {
    const eq = a.indexOf('=');
    const p = page.effect.params.find((q) => q.name.toLowerCase() === a.slice(0, eq).toLowerCase());
    if (!p) continue;
    const text = a.slice(eq + 1);
    if (text.includes('@')) {
      page.keys[p.name] = {};
      for (const m of text.matchAll(/([^@]+)@(\d+)(?:,|$)/g)) page.keys[p.name][m[2]] = m[1];
    } else {
      page.values[p.name] = text;
    }
  }
  page.pattern = (pattern || '').split(':')[0];
  page.patternValues = {};
  for (const kv of ((pattern || '').split(':')[1] || '').split(',').filter(Boolean)) {
    const [k, v] = kv.split('=');
    page.patternValues[k] = Number(v);
  }
  for (const b of document.querySelectorAll('#views button'))
    if (b.dataset.view === 'input1') b.disabled = page.effect.filter;
  if (page.effect.filter && page.view === 'input1') setView('output');
  buildControls();
  buildPatterns();
  update();
}

function setView(view) {
  page.view = view;
  for (const b of document.querySelectorAll('#views button'))
    b.setAttribute('aria-pressed', String(b.dataset.view === view));
  $('splitlabel').hidden = view !== 'split';
  update();
}

function keyboard(ev) {
  if ($('clipdialog').open) return;  // the dialog's own keys
  const t = ev.target;
  const typing = t.tagName === 'TEXTAREA' || (t.tagName === 'INPUT' && t.type !== 'range' && t.type !== 'checkbox') || t.tagName === 'SELECT';
  if (ev.key === 'k' || ev.key === 'K') {
    const row = t.closest && t.closest('.control[data-param]');
    const c = row && controls.find((x) => x.row === row);
    if (c && !typing) { toggleKey(c.param); ev.preventDefault(); }
    return;
  }
  if (typing || (t.type === 'range' && t.id !== 'timeline')) return;
  const step = {ArrowLeft: -2, ArrowRight: 2, ',': -1, '.': 1}[ev.key];
  if (step !== undefined) { seek(page.position + step); ev.preventDefault(); return; }
  if (ev.key === 'Home') { seek(0); ev.preventDefault(); return; }
  if (ev.key === 'End') { seek(page.fields - 1); ev.preventDefault(); return; }
  const view = {'1': 'output', '2': 'input0', '3': 'input1', '4': 'split'}[ev.key];
  if (view && !(view === 'input1' && page.effect.filter)) { setView(view); return; }
  if (ev.key === 'f' || ev.key === 'F') { $('fieldmode').checked = !$('fieldmode').checked; page.fieldMode = $('fieldmode').checked; update(); }
}

async function start() {
  try {
    page.catalogue = await call('catalogue', {});
  } catch (e) {
    $('error').textContent = e.message;
    $('error').hidden = false;
    return;
  }
  const select = $('effect');
  for (const e of page.catalogue.effects)
    select.append(el('option', {value: e.name, text: e.name + (e.filter ? '' : ' (transition)')}));
  select.addEventListener('change', () => chooseEffect(select.value, [], ''));
  for (const b of document.querySelectorAll('#views button'))
    b.addEventListener('click', () => setView(b.dataset.view));
  $('fieldmode').addEventListener('change', () => { page.fieldMode = $('fieldmode').checked; update(); });
  $('split').addEventListener('input', update);
  $('timeline').addEventListener('input', () => seek(Number($('timeline').value)));
  $('prevframe').addEventListener('click', () => seek(page.position - 2));
  $('nextframe').addEventListener('click', () => seek(page.position + 2));
  $('prevfield').addEventListener('click', () => seek(page.position - 1));
  $('nextfield').addEventListener('click', () => seek(page.position + 1));
  $('copy').addEventListener('click', async () => {
    $('command').select();
    try { await navigator.clipboard.writeText($('command').value); } catch (e) { document.execCommand('copy'); }
    $('renderstatus').textContent = 'command copied';
  });
  $('output').value = page.catalogue.output;
  $('output').addEventListener('change', update);
  $('render').addEventListener('click', render);
  document.addEventListener('keydown', keyboard);
  window.addEventListener('resize', () => { fitPicture(); drawOverlay(); });
  pictureDrag();
  clipDialog();
  const first = page.catalogue.first;
  chooseEffect(first.effect, first.sets, first.pattern);
}

// For tests: the page's state, and the request of what it shows.
window.studio = page;
page.state = state;
start();
