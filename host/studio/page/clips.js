// fieldfx studio: the clip dialog of --root. The page lists the folders and
// clips under the root the server was given and chooses input A or B there;
// the server refuses any path that leads out. Loaded before studio.js, whose
// start() calls clipDialog().
'use strict';

async function showClips(dir) {
  let list;
  try {
    list = await call('clips', {dir});
  } catch (e) {
    $('clipdir').textContent = e.message;
    return;
  }
  $('clipdir').textContent = '/' + list.dir;
  const box = $('cliplist');
  box.replaceChildren();
  const item = (text, action) =>
    box.append(el('li', {}, el('button', {type: 'button', text, onclick: action})));
  if (list.dir) item('..', () => showClips(list.dir.split('/').slice(0, -1).join('/')));
  for (const e of list.entries) {
    const path = list.dir ? list.dir + '/' + e.name : e.name;
    if (e.folder) item(e.name + '/', () => showClips(path));
    else item(e.name, () => chooseClip(path));
  }
  const first = box.querySelector('button');
  if (first) first.focus();
}

function showInputs() {
  $('clipnames').textContent = page.inputs.length ? page.inputs.join(' | ') : '';
}

function chooseClip(path) {
  const slot = Number($('clipslot').value);
  const inputs = page.inputs.slice();
  if (slot === 1 && !inputs.length) {
    $('clipdir').textContent = 'choose input A first';
    return;
  }
  inputs[slot] = path;
  page.inputs = inputs;
  showInputs();
  $('clipdialog').close();
  update();
}

function clipDialog() {
  if (!page.catalogue.root) return;
  $('clipsbutton').hidden = false;
  $('clipsbutton').addEventListener('click', () => {
    $('clipdialog').showModal();
    showClips('');
  });
  $('clipclose').addEventListener('click', () => $('clipdialog').close());
  $('clipreset').addEventListener('click', () => {
    page.inputs = [];
    showInputs();
    $('clipdialog').close();
    update();
  });
}

