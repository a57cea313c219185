// watch.js: the page as a watcher's (?watch=<id>, linked from the ranking page): a kept game of
// the ranking, fetched from its host and played back by the program itself, with the game's own
// drawing and sounds (silent until the watcher asks for them), pause, 1x/2x/4x and a restart. It
// takes no lock and touches none of the player's files, so a game may be watched beside one played.
import * as core from './core.js';
import * as drawing from './drawing.js';
import * as sound from './sound.js';
import { fitPicture } from './controls.js';
import { recording } from './files.js';
import { showFailed } from './notices.js';

const canvas = document.getElementById('game');

// What the page says instead of the game, by why it cannot show it.
const refusals = {
  offline: 'オフラインのため、この試合を再生できません。',
  gone: 'この試合の記録はもう残っていません。',
  unreadable: 'この試合を再生できませんでした。'
};

let muted = true;
let paused = false;
const bar = document.createElement('div');
const status = document.createElement('p');

function button(label, act) {
  const made = document.createElement('button');
  made.type = 'button';
  made.textContent = label;
  made.addEventListener('click', () => act(made));
  bar.appendChild(made);
  return made;
}

function showStatus(text) { status.textContent = text; }

// The watcher's controls, below the picture.
function makeBar() {
  bar.id = 'watch';
  status.id = 'watchStatus';
  button('一時停止', (b) => {
    paused = !paused;
    b.textContent = paused ? '再生' : '一時停止';
    core.watchPaused(paused);
  });
  const speeds = [1, 2, 4].map((times) => button(times + 'x', (chosen) => {
    speeds.forEach((b) => b.classList.toggle('chosen', b === chosen));
    core.watchSpeed(times);
  }));
  speeds[0].classList.add('chosen');
  button('最初から', () => {
    core.watchRestart();
    showStatus('');
  });
  button('音を出す', (b) => {
    muted = !muted;
    b.textContent = muted ? '音を出す' : '音を消す';
  });
  const main = document.querySelector('main');
  main.appendChild(bar);
  main.appendChild(status);
}

function refuse(why) {
  canvas.hidden = true;
  bar.hidden = true;
  showStatus(refusals[why] || refusals.unreadable);
}

// The program's timer; each period its ticks, at the watcher's speed. The end, once reached, is said
// with the display frame that paints the game's last frame (drawing.js paints once a display frame,
// and this asks after it), so the words never stand beside an older picture.
let sayingEnd = false;
function startTimers(periodMs) {
  setInterval(() => {
    core.timer();
    if (!core.watchEnded() || status.textContent || sayingEnd) return;
    sayingEnd = true;
    requestAnimationFrame(() => {
      sayingEnd = false;
      if (core.watchEnded()) showStatus('再生終了　スコア ' + core.watchScore());
    });
  }, periodMs);
}

// The sounds come after the first frame, as on the player's page.
function loadArt() {
  drawing.loadArt((loaded) => {
    if (!loaded) return showFailed();
    recording.then((bytes) => core.watch(bytes) || refuse('unreadable'), (e) => refuse(e.message));
    sound.start();
  });
}

const nothing = () => {};

makeBar();
core.start({
  takeInstanceLock: core.watchOpen,
  openWindows: (facts) => {
    document.title = facts.gameTitle;
    drawing.start(canvas, facts.width, facts.height);
    fitPicture(canvas, facts.width, facts.height);
  },
  nameSurfaces: drawing.nameSurfaces,
  loadArt: loadArt,
  startTimers: startTimers,
  ended: nothing,
  startDelay: (ms) => setTimeout(core.delayElapsed, ms),
  downKeyHeld: () => false,
  copyRect: drawing.copyRect,
  fillWhite: drawing.fillWhite,
  drawText: drawing.drawText,
  showFrame: drawing.showFrame,
  startSound: (id) => muted || sound.play(id),
  messageBox: nothing,
  showNameWindow: nothing,
  hideNameWindow: nothing,
  nameFieldText: () => '',
  readStored: () => null,
  writeStored: () => false
});
