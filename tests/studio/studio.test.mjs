// fieldfx studio in Debian's chromium, driven through the DevTools protocol:
// the page's controls change the picture, every picture is the bytes
// `fieldfx render` writes for that frame, the command box and the render
// button make them, and the server refuses what is not its own page's.
//
// FIELDFX_CLI names the fieldfx binary; STUDIO_SCREENSHOT, where given, gets
// a picture of the page.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import {PNG} from 'pngjs';

const cli = process.env.FIELDFX_CLI;
assert.ok(cli, 'FIELDFX_CLI names the fieldfx binary');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'fieldfx-studio-'));
const env = {...process.env, PATH: path.dirname(cli) + ':' + process.env.PATH};

let server, url, port, token, browser, page;

// `fieldfx studio` on a clip of 8 frames; resolves with the printed address.
function startStudio() {
  execFileSync(cli, ['generate', '-o', path.join(work, 'clip.pam'), '--frames', '8',
                     '--size', '320x240'], {env});
  // A folder for --root: a clip in a sub-folder, and links that lead out.
  fs.mkdirSync(path.join(work, 'root', 'sub'), {recursive: true});
  execFileSync(cli, ['generate', '-o', path.join(work, 'root', 'sub', 'pick.pam'), '--frames', '8',
                     '--size', '320x240', '--variant', '1'], {env});
  fs.symlinkSync(path.join(work, 'clip.pam'), path.join(work, 'root', 'out.pam'));
  fs.symlinkSync('/etc', path.join(work, 'root', 'etc'));
  server = spawn(cli, ['studio', 'Swivel', '-i', 'clip.pam', '-i', 'builtin:bars', '--size', '320x240',
                       '--no-browser', '-o', 'studio.mkv', '--root', 'root'], {cwd: work, env});
  server.stderr.on('data', (d) => process.stderr.write(d));
  return new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/(http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+))/);
      if (m) resolve([m[1], Number(m[2]), m[3]]);
    });
    server.on('exit', (code) => reject(new Error('studio exited with ' + code)));
  });
}

before(async () => {
  [url, port, token] = await startStudio();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'fieldfx-chromium-'));
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--user-data-dir=' + profile],
  });
  page = await browser.newPage();
  await page.setViewport({width: 1280, height: 720});
  await page.goto(url);
  await settled();
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.kill('SIGTERM');
});

// Waits until the page has no request in flight and has drawn its picture.
async function settled() {
  await page.waitForFunction(() => document.body.dataset.busy === '0' && document.body.dataset.drawn,
                             {timeout: 20000});
}

async function canvasPixels() {
  return page.evaluate(() => {
    const c = document.getElementById('picture');
    return Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data);
  });
}

// The PNG the server makes of the frame shown (the bytes PNG output writes).
async function shownPng() {
  const b64 = await page.evaluate(async () => {
    const res = await fetch('api/frame', {
      method: 'POST',
      headers: {'Content-Type': 'application/json',
                'X-Studio-Token': new URLSearchParams(location.search).get('token')},
      body: JSON.stringify({...studio.state(), session: 'probe', position: studio.position,
                            mode: studio.fieldMode ? 'field' : 'frame', format: 'png'}),
    });
    const bytes = new Uint8Array(await res.arrayBuffer());
    let s = '';
    for (const b of bytes) s += String.fromCharCode(b);
    return btoa(s);
  });
  return Buffer.from(b64, 'base64');
}

// Runs the page's command line with frames written as PNG files; the file of
// `frame`.
async function commandFrame(frame) {
  await page.$eval('#output', (e) => { e.value = 'frames%04d.png'; e.dispatchEvent(new Event('change')); });
  await settled();
  const command = await page.$eval('#command', (e) => e.value);
  assert.match(command, /^fieldfx render .* -o frames%04d\.png$/);
  for (const f of fs.readdirSync(work)) if (f.startsWith('frames')) fs.unlinkSync(path.join(work, f));
  execFileSync('sh', ['-c', command], {cwd: work, env, stdio: ['ignore', 'ignore', 'inherit']});
  return fs.readFileSync(path.join(work, `frames${String(frame).padStart(4, '0')}.png`));
}

// The canvas shows PNG output's 16-bit samples reduced to 8 bits.
function assertCanvasShows(pixels, pngBytes) {
  const png = PNG.sync.read(pngBytes, {skipRescale: true});
  assert.equal(png.depth, 16);
  assert.equal(pixels.length, png.width * png.height * 4);
  let wrong = 0;
  for (let i = 0; i < png.width * png.height; ++i)
    for (let c = 0; c < 3; ++c)
      if (pixels[4 * i + c] !== Math.floor((png.data[4 * i + c] * 255 + 32767) / 65535)) ++wrong;
  assert.equal(wrong, 0, 'canvas samples differing from the PNG output');
}

async function assertExact() {
  const frame = await page.evaluate(() => Math.floor(studio.position / 2));
  const shown = await shownPng();
  const rendered = await commandFrame(frame);
  assert.ok(shown.equals(rendered), 'the picture is the bytes fieldfx render writes');
  assertCanvasShows(await canvasPixels(), rendered);
}

function differ(a, b) {
  let n = 0;
  for (let i = 0; i < a.length; ++i) if (a[i] !== b[i]) ++n;
  return n;
}

async function chooseEffect(name) {
  await page.select('#effect', name);
  await settled();
}

test('the page lists every operator', async () => {
  const listed = execFileSync(cli, ['list'], {env}).toString().trim().split('\n').map((l) => l.split(/\s+/)[0]);
  assert.equal(listed.length, 13);
  const names = await page.$$eval('#effect option', (os) => os.map((o) => o.value));
  assert.deepEqual(names, listed);
});

test('a slider moved by keyboard changes the picture, exactly as render makes it', async () => {
  await chooseEffect('Swivel');
  await page.focus('#timeline');
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowRight');  // to frame 3
  await settled();
  const before = await canvasPixels();
  await page.focus('#param-Angle');
  for (let i = 0; i < 25; ++i) await page.keyboard.press('ArrowRight');
  await settled();
  const command = await page.$eval('#command', (e) => e.value);
  assert.match(command, /--set angle=2\.5/);
  assert.ok(differ(before, await canvasPixels()) > 1000, 'the picture changed');
  await assertExact();
});

test('picking an entry changes the picture', async () => {
  const before = await canvasPixels();
  await page.select('#param-Edges', '1');
  await settled();
  assert.match(await page.$eval('#command', (e) => e.value), /--set edges=Border/);
  assert.ok(differ(before, await canvasPixels()) > 100, 'the picture changed');
  await assertExact();
});

test('dragging on the picture moves a position', async () => {
  await chooseEffect('Tunnel');
  const before = await canvasPixels();
  const box = await (await page.$('#picture')).boundingBox();
  await page.mouse.move(box.x + box.width * 0.3, box.y + box.height * 0.3);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.25, box.y + box.height * 0.25, {steps: 4});
  await page.mouse.up();
  await settled();
  const command = await page.$eval('#command', (e) => e.value);
  const m = command.match(/--set centre=(\d+),(\d+)/);
  assert.ok(m, command);
  assert.ok(Math.abs(Number(m[1]) - 80) <= 2 && Math.abs(Number(m[2]) - 30) <= 2, command);
  assert.ok(differ(before, await canvasPixels()) > 1000, 'the picture changed');
  await assertExact();
});

test('a transition with a wipe pattern, its inputs and the split view', async () => {
  await chooseEffect('Telescope');
  await page.click('#patterns button[data-pattern="circle"]');
  await settled();
  assert.match(await page.$eval('#command', (e) => e.value), / -i clip\.pam -i builtin:bars .*--pattern circle/);
  await assertExact();
  await page.keyboard.press('4');  // split view: input A left, output right
  await settled();
  const split = await canvasPixels();
  await page.keyboard.press('2');
  await settled();
  const input = await canvasPixels();
  const width = await page.$eval('#picture', (c) => c.width);
  // The left half of the split view is input A.
  for (let y = 0; y < 10; ++y)
    for (let x = 0; x < width / 2 - 1; x += 7)
      assert.equal(split[4 * (y * width + x)], input[4 * (y * width + x)]);
  await page.keyboard.press('1');
  await settled();
});

test('keys set on the page animate the render as the command does', async () => {
  await chooseEffect('Swivel');
  await page.evaluate(() => document.activeElement.blur());
  await page.keyboard.press('Home');
  await settled();
  await page.click('.control[data-param="Angle"] .key');  // a key at frame 0 (0.0)
  for (let i = 0; i < 6; ++i) await page.keyboard.press('ArrowRight');
  await settled();
  await page.$eval('#param-Angle', (e) => { e.value = '300'; e.dispatchEvent(new Event('input')); });
  await settled();
  assert.match(await page.$eval('#command', (e) => e.value), /--set angle=0\.0@0,30\.0@6/);
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowLeft');  // frame 3: between the keys
  await settled();
  assert.equal(await page.$eval('#param-Angle', (e) => e.value), '150');  // the value there
  await assertExact();
});

test('the render button writes the file with progress', async () => {
  await page.$eval('#output', (e) => { e.value = 'button.pam'; e.dispatchEvent(new Event('change')); });
  await settled();
  const command = await page.$eval('#command', (e) => e.value);
  await page.click('#render');
  await page.waitForFunction(() => ['done', 'failed'].includes(document.body.dataset.render), {timeout: 60000});
  assert.match(await page.$eval('#renderstatus', (e) => e.textContent), /^done: .*button\.pam/);
  const bar = await page.$eval('#progress', (e) => [e.value, e.max, e.hidden]);
  assert.deepEqual(bar, [16, 16, false]);
  execFileSync('sh', ['-c', command.replace('-o button.pam', '-o command.pam')], {cwd: work, env});
  assert.ok(fs.readFileSync(path.join(work, 'button.pam')).equals(fs.readFileSync(path.join(work, 'command.pam'))));
  if (process.env.STUDIO_SCREENSHOT) {
    await chooseEffect('Tunnel');
    await page.$eval('#param-Centre', (e) => { e.value = '160'; });
    await page.$eval('#param-Centre-y', (e) => { e.value = '60'; e.dispatchEvent(new Event('change')); });
    await page.click('.control[data-param="Radius"] .key');
    await settled();
    await page.screenshot({path: process.env.STUDIO_SCREENSHOT});
  }
});

test('an effect whose fields follow from every field before them', async () => {
  await chooseEffect('Standbild');
  await page.$eval('#param-Horizontal', (e) => { e.value = '7'; e.dispatchEvent(new Event('input')); });
  await settled();
  await assertExact();  // frame 3: fields 0 to 5 requested in order
  await page.keyboard.press('Home');
  await page.keyboard.press('ArrowRight');
  await settled();
  await assertExact();  // back to frame 1: the effect starts again
});

test('a bad value is an error on the page, and the page goes on', async () => {
  await chooseEffect('Swivel');
  await page.$eval('#param-Angle', (e) => { e.value = '100'; e.dispatchEvent(new Event('input')); });
  await settled();
  await page.evaluate(() => { studio.values.Angle = '99.0'; });
  await page.$eval('#param-Edges', (e) => e.dispatchEvent(new Event('change')));
  await settled();
  assert.match(await page.$eval('#error', (e) => e.hidden ? '' : e.textContent), /Angle=99\.0: out of range/);
  await page.evaluate(() => { delete studio.values.Angle; });
  await page.$eval('#param-Edges', (e) => e.dispatchEvent(new Event('change')));
  await settled();
  assert.equal(await page.$eval('#error', (e) => e.hidden), true);
  // A value taken back: the open effect gets the default again.
  await page.$eval('#param-Angle', (e) => { e.value = '100'; e.dispatchEvent(new Event('input')); });
  await settled();
  await page.evaluate(() => { delete studio.values.Angle; });
  await page.$eval('#param-Edges', (e) => e.dispatchEvent(new Event('change')));
  await settled();
  assert.doesNotMatch(await page.$eval('#command', (e) => e.value), /angle/);
  await assertExact();
});

// ---- Every operator: a changed value in an open effect ------------------

test('every parameter of every operator changed in an open effect gives a new effect\'s bytes', async () => {
  const catalogue = JSON.parse((await api('catalogue', {})).body);
  const png = async (session, effect, sets) => {
    const r = await apiBytes('frame', {session, effect, sets, position: 7, format: 'png'});
    assert.equal(r.status, 200, `${effect} ${sets}: ${r.body}`);
    return r.body;
  };
  let fresh = 0, checked = 0;
  for (const e of catalogue.effects) {
    await png('open', e.name, []);  // the page's effect, open with the defaults
    for (const p of e.params) {
      const other = {
        slider: () => String(p.default === p.max ? p.min : p.max),
        choice: () => String(p.default === 0 ? p.entries.length - 1 : 0),
        colour: () => '#ff2000',
        position: () => p.sized ? `40,30,${p.maxSize[0]},${p.maxSize[1]}` : '40,30',
      }[p.kind];
      if (!other) continue;
      const sets = [`${p.name.toLowerCase()}=${other()}`];
      const inOpen = await png('open', e.name, sets);
      const inNew = await png('new' + fresh++, e.name, sets);
      assert.ok(inOpen.equals(inNew), `${e.name} ${sets[0]}: the open effect differs from a new one`);
      // And back to the defaults.
      assert.ok((await png('open', e.name, [])).equals(await png('new' + fresh++, e.name, [])),
                `${e.name}: back from ${sets[0]}`);
      ++checked;
    }
  }
  assert.ok(checked >= 30, `${checked} parameters`);
  // Iris keeps what its first request made: keys on its centre give what the
  // command gives, whatever frame the page asks for first.
  const sets = ['centre=60,40@0,250,90@6', 'direction=Opening'];
  const state = JSON.parse((await api('state', {}, JSON.stringify({session: 'iris', effect: 'Iris', sets,
                                                                  output: 'iris%04d.png'}))).body);
  const shown = await png('iris', 'Iris', sets);  // frame 3 first
  execFileSync('sh', ['-c', state.command], {cwd: work, env});
  assert.ok(shown.equals(fs.readFileSync(path.join(work, 'iris0003.png'))), state.command);
});

// ---- Requests that are not the page's own --------------------------------

function request(options, body, chunked) {
  if (body !== undefined && !chunked)
    options = {...options, headers: {...options.headers, 'Content-Length': Buffer.byteLength(body)}};
  return new Promise((resolve, reject) => {
    const req = http.request({host: '127.0.0.1', port, ...options}, (res) => {
      let data = '';
      res.on('data', (d) => { data += d; });
      res.on('end', () => resolve({status: res.statusCode, body: data}));
    });
    req.on('error', reject);
    if (body !== undefined) req.write(body);
    req.end();
  });
}

// A call answered with bytes (a picture).
function apiBytes(name, body) {
  const data = JSON.stringify(body);
  return new Promise((resolve, reject) => {
    const req = http.request({host: '127.0.0.1', port, method: 'POST', path: '/api/' + name,
                              headers: {'Content-Type': 'application/json', 'X-Studio-Token': token,
                                        'Content-Length': Buffer.byteLength(data)}}, (res) => {
      const chunks = [];
      res.on('data', (d) => chunks.push(d));
      res.on('end', () => resolve({status: res.statusCode, body: Buffer.concat(chunks)}));
    });
    req.on('error', reject);
    req.end(data);
  });
}

const api = (name, headers, body, chunked) => request({
  method: 'POST', path: '/api/' + name,
  headers: {'Host': `127.0.0.1:${port}`, 'Content-Type': 'application/json', 'X-Studio-Token': token, ...headers},
}, body === undefined ? '{}' : body, chunked);

test('the server refuses foreign hosts, origins, tokens, paths and bodies, and stays up', async () => {
  assert.equal((await api('catalogue', {})).status, 200);
  assert.equal((await api('catalogue', {'Host': 'attacker.example:' + port})).status, 403);
  assert.equal((await api('catalogue', {'Host': `127.0.0.1:${port + 1}`})).status, 403);
  assert.equal((await api('catalogue', {'Origin': 'http://attacker.example'})).status, 403);
  assert.equal((await api('catalogue', {'Origin': `http://localhost:${port}`})).status, 200);
  assert.equal((await api('catalogue', {'Sec-Fetch-Site': 'cross-site'})).status, 403);
  assert.equal((await api('catalogue', {'X-Studio-Token': ''})).status, 403);
  assert.equal((await api('catalogue', {'X-Studio-Token': token.replace(/.$/, (c) => c === '0' ? '1' : '0')})).status, 403);
  assert.equal((await api('catalogue', {'Content-Type': 'text/plain'})).status, 400);
  const get = (p, host) => request({method: 'GET', path: p, headers: {Host: host || `127.0.0.1:${port}`}});
  assert.equal((await get('/')).status, 403);
  assert.equal((await get('/?token=' + token)).status, 200);
  assert.equal((await get('/?token=' + token, `localhost:${port}`)).status, 200);
  for (const p of ['/../../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd', '/clip.pam', '/etc/passwd',
                   '/studio.js/../../clip.pam', '//etc/passwd'])
    assert.notEqual((await get(p + '?token=' + token)).status, 200, p);
  // Clips are only those of the command line: a path in a request is no clip.
  const bad = await api('frame', {}, JSON.stringify({session: 's', effect: 'Tunnel', sets: ['centre=1,1'],
                                                   pattern: '/etc/passwd', position: 0}));
  assert.equal(bad.status, 400);
  const file = await api('frame', {}, JSON.stringify({session: 's', effect: 'Telescope', pattern: '../clip.pam'}));
  assert.equal(file.status, 400);
  const output = await api('render', {}, JSON.stringify({session: 's', effect: 'Swivel', output: '../escape.mkv'}));
  assert.equal(output.status, 400);
  assert.equal(fs.existsSync(path.join(work, '..', 'escape.mkv')), false);
  const huge = JSON.stringify({session: 's', effect: 'Swivel', sets: ['x'.repeat(200000)]});
  assert.equal((await api('state', {}, huge)).status, 413);
  assert.equal((await api('state', {}, huge, true)).status, 400);  // the same, sent in chunks
  // Malformed and hostile JSON, values of every wrong type.
  const bodies = ['', '[', '[]', '"x"', 'null', '{"session":1}', '{"effect":{"a":1}}', '{"session":"s","effect":"Nope"}',
                  '{"session":"s","effect":"Swivel","sets":"angle=1"}', '{"session":"s","effect":"Swivel","sets":[1]}',
                  '{"session":"","effect":"Swivel"}', '{"session":"s","effect":"Swivel","pattern":7}',
                  '{"session":"s","effect":"Swivel","sets":["angle=1@x"]}', '{"session":"s","effect":"Swivel","sets":["=="]}',
                  '{"session":"s","effect":"Swivel","sets":["angle=1@99999999999999999999"]}',
                  '{"' + 'a'.repeat(1000) + '":1}', '{"session":"s","effect":"Swivel","sets":[' + '"angle=1",'.repeat(70) + '"angle=1"]}'];
  const frameBodies = ['{"session":"s","effect":"Swivel","position":-5}', '{"session":"s","effect":"Swivel","position":1e300}',
                       '{"session":"s","effect":"Swivel","position":"3"}', '{"session":"s","effect":"Swivel","position":16}',
                       '{"session":"s","effect":"Swivel","view":"input7"}', '{"session":"s","effect":"Swivel","view":"input1"}'];
  const cases = [...bodies.map((b) => ['state', b]), ...bodies.map((b) => ['frame', b]),
                 ...frameBodies.map((b) => ['frame', b]),
                 ...['{"name":"nope"}', '{"name":5}', '{}', '{"name":"../clip.pam"}'].map((b) => ['pattern', b]),
                 ...bodies.filter((b) => !b.includes('"session":""')).map((b) => ['render', b]),
                 ['render', '{"session":"s","effect":"Swivel","output":"/tmp/x.mkv"}'],
                 ['render', '{"session":"s","effect":"Swivel","output":".hidden.mkv"}']];
  for (const [call, b] of cases) {
    const r = await api(call, {}, b);
    assert.ok(r.status >= 400 && r.status < 500, `${call} ${b}: ${r.status} ${r.body}`);
  }
  assert.equal((await api('nothing', {})).status, 404);
  assert.equal((await api('catalogue', {})).status, 200, 'the server is still up');
  assert.equal(server.exitCode, null);
});

test('clips chosen under --root in the dialog, and nothing outside it', async () => {
  await page.click('#clipsbutton');
  await page.waitForFunction(() => document.querySelectorAll('#cliplist button').length > 0);
  // Only the sub-folder: the links that lead out are not listed.
  assert.deepEqual(await page.$$eval('#cliplist button', (b) => b.map((x) => x.textContent)), ['sub/']);
  await page.click('#cliplist button');
  await page.waitForFunction(() => [...document.querySelectorAll('#cliplist button')].some((b) => b.textContent === 'pick.pam'));
  const pick = (await page.$$('#cliplist button'))[1];
  await pick.click();
  await settled();
  const command = await page.$eval('#command', (e) => e.value);
  assert.ok(command.includes('-i ' + fs.realpathSync(path.join(work, 'root', 'sub', 'pick.pam'))), command);
  await assertExact();
  for (const body of [{dir: '..'}, {dir: '/etc'}, {dir: 'etc'}, {dir: 'sub/../..'}])
    assert.equal((await api('clips', {}, JSON.stringify(body))).status, 403, JSON.stringify(body));
  for (const inputs of [['../clip.pam'], ['/etc/passwd'], ['out.pam'], ['etc/passwd'], ['sub/../../clip.pam']]) {
    const r = await api('state', {}, JSON.stringify({session: 's', effect: 'Swivel', inputs}));
    assert.equal(r.status, 403, JSON.stringify(inputs));
  }
  await page.click('#clipsbutton');
  await page.click('#clipreset');
  await settled();
  assert.match(await page.$eval('#command', (e) => e.value), / -i clip\.pam /);
  assert.equal(server.exitCode, null);
});
