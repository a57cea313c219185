// app.js: what a player expects of the page as an app, beside the game itself: the screen kept on
// while a game is played, a sound switch that is remembered, and a new best score shared with a
// link to the ranking. Whether a game is being played, and whether it made a new best score, is the
// program's to say (core.js); this module follows it after every event the program handles.
import * as core from './core.js';
import * as sound from './sound.js';
import * as storage from './storage.js';

// ---- The screen kept on ----
// A wake lock is held while a game is played in a shown page, and given back under a box, at the
// game's end, and when the page is hidden (where the browser gives it back too); it is asked for
// again when the game runs again. A browser without one, or that refuses it, plays on as before:
// a refusal is not asked again until the game has stood still once.
let wanted = false;
let held = null;  // the browser's lock, once given
let asking = false;
let refused = false;

function keepAwake() {
  wanted = core.gameRuns() && document.visibilityState === 'visible';
  if (!wanted) refused = false;
  if (!navigator.wakeLock) return;
  if (wanted && !held && !asking && !refused) askToKeepAwake();
  else if (!wanted && held) giveBack();
}

function askToKeepAwake() {
  asking = true;
  navigator.wakeLock.request('screen').then((lock) => {
    asking = false;
    held = lock;
    lock.addEventListener('release', () => { if (held === lock) held = null; });
    if (!wanted) giveBack();  // the game stopped while the browser was asked
  }, () => {
    asking = false;
    refused = true;
  });
}

function giveBack() {
  const lock = held;
  held = null;
  lock.release().catch(() => {});
}

// ---- The sound switch ----
// Kept in the page's storage beside the player's files, so that it holds at the next visit.
const soundKey = 'sound';

function startSoundSwitch(button) {
  const switchTo = (on) => {
    button.setAttribute('aria-pressed', on ? 'true' : 'false');
    sound.switchOn(on);
  };
  switchTo(storage.read(soundKey) !== 'off');
  button.addEventListener('click', () => {
    const on = button.getAttribute('aria-pressed') !== 'true';
    switchTo(on);
    storage.write(soundKey, on ? 'on' : 'off');
  });
}

// ---- Sharing a new best score ----
// The ranking page is served at the ranking's own path, on the page's host.
const rankingPath = '@PILARO_RANKING_PATH@';
let best = 0;  // the last new best score of this page, 0 before one
let shareButton = null;
let said = null;

function followBest() {
  const score = core.newBestScore();
  if (!score) return;
  best = score;
  shareButton.hidden = false;
}

// The system's share sheet where there is one; the clipboard otherwise, or when the sheet fails
// for another reason than the player closing it.
let saying = null;
function say(text) {
  said.textContent = text;
  clearTimeout(saying);
  saying = setTimeout(() => { said.textContent = ''; }, 3000);
}

async function share() {
  const url = new URL(rankingPath, location.href).href;
  const text = document.title + 'でハイスコア ' + best + ' 点を出しました！ランキングはこちら：';
  if (navigator.share) {
    try {
      await navigator.share({ title: document.title, text: text, url: url });
      return;
    } catch (e) {
      if (e.name === 'AbortError') return;
    }
  }
  try {
    await navigator.clipboard.writeText(text + '\n' + url);
    say('コピーしました');
  } catch (e) {
    say('共有できませんでした');
  }
}

// The page's own buttons (index.html), beside or below the picture (controls.js leaves them room).
// A click on them leaves the keys with the game, so that switching the sound off does not hold the
// game; the keyboard reaches them by Tab.
const tools = document.getElementById('tools');

export function buttonsShown() { return !tools.hidden; }

export function start() {
  tools.hidden = false;
  tools.addEventListener('mousedown', (e) => e.preventDefault());
  startSoundSwitch(document.getElementById('soundSwitch'));
  shareButton = document.getElementById('share');
  said = document.getElementById('shareSaid');
  shareButton.addEventListener('click', share);
  core.watchEvents(() => {
    keepAwake();
    followBest();
  });
}
