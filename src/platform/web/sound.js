// sound.js: the game's sound effects through Web Audio, one at a time as on the desktop.
import { fetchBytes } from './files.js';

let audio = null;
const sounds = [];  // decoded, by sound id
let playing = null;  // the effect that sounds now

// The build fills in the files in the order of the core's sound ids (cmake/resourceFiles.cmake).
const soundFiles = '@PILARO_SOUND_FILES@'.split(';');

// Making the audio context takes the page's thread for a long moment (half of the start-up's
// longest task on a slow phone), and it cannot sound before the player has done something: it is
// made once the first frame is up and the page is idle, or at the player's first key or touch.
// The sounds are asked for then too, so that on a slow network they do not hold up the art and
// the program; an effect not yet decoded when it is due is not heard.
function makeAudio() {
  const AudioContextClass = window.AudioContext || window.webkitAudioContext;
  if (audio || !AudioContextClass) return;
  audio = new AudioContextClass();
  soundFiles.forEach((name, id) => {
    fetchBytes(name).then((b) => audio.decodeAudioData(b))
      .then((buffer) => { sounds[id] = buffer; })
      .catch((e) => console.warn('Pilaro: ' + e));
  });
}

// Browsers let a page make sounds only after the player has done something, and a key such as
// Shift alone does not count: every key, touch and click tries again until one does.
export function resume() {
  makeAudio();
  if (audio && audio.state === 'suspended') audio.resume().catch(() => {});
}
['keydown', 'mousedown', 'pointerup', 'touchend', 'click'].forEach((type) => window.addEventListener(type, resume, true));

// The first audio context of a page waits on the page's thread until the browser's audio output
// is ready (a tenth of a second in Chromium); asking for the list of devices readies it first,
// without holding the page, and the context is then made at once.
export function start() {
  const devices = navigator.mediaDevices && navigator.mediaDevices.enumerateDevices;
  const ready = devices ? navigator.mediaDevices.enumerateDevices().catch(() => {}) : Promise.resolve();
  ready.then(() => {
    if (window.requestIdleCallback) requestIdleCallback(makeAudio, { timeout: 1000 });
    else setTimeout(makeAudio, 500);
  });
}

let on = true;  // the player's switch (app.js); the watch page keeps its own

// Switched off, the effect that sounds now stops too.
export function switchOn(wanted) {
  on = wanted;
  if (!on && playing) stopPlaying();
}

function stopPlaying() {
  try { playing.stop(); } catch (e) { /* already over */ }
}

export function play(id) {
  if (!on || !audio || !sounds[id]) return;
  if (playing) stopPlaying();
  playing = audio.createBufferSource();
  playing.buffer = sounds[id];
  playing.connect(audio.destination);
  playing.start();
}
