// keys.js: the game's keys and activation. The keyboard's keys reach the program by the window that
// has them; the on-screen controls and gamepads press the same keys (pressKey and releaseKey), so
// they act exactly as the keyboard does. keyCode is the desktop's virtual-key number for every key
// the game knows (arrows 37-40, Shift 16, Escape 27, F1 112).
import * as core from './core.js';
import * as boxes from './boxes.js';
import * as sound from './sound.js';

let canvas = null;     // the game window
let downHeld = false;  // the Down arrow's real state, whatever has the keys
let active = true;     // the activation last told to the program, which starts active

// The program's entry point for a key pressed on target, or null when none takes it. What a key
// does while a box is up or the ranking request is out is the program's to decide.
function receiverOf(target) {
  if (target === canvas) return core.gameKeyDown;
  if (boxes.isNameWindow(target)) return core.nameWindowKeyDown;
  return null;
}

const pageKeys = { 16: 1, 27: 1, 32: 1, 37: 1, 38: 1, 39: 1, 40: 1, 112: 1 };

// The one place a key is handed to the program, by the entry point of the window that has it.
function keyDown(code, receiver) {
  sound.resume();
  if (code) receiver(code);
}

function onKeyDown(e) {
  if (e.keyCode === 40) downHeld = true;
  const receiver = receiverOf(e.target);
  if (!receiver || e.isComposing) return;
  // Arrows and Space would scroll, F1 opens the browser's help, Escape would close a dialog.
  if (pageKeys[e.keyCode]) e.preventDefault();
  keyDown(e.keyCode & 0xFF, receiver);
}

function onKeyUp(e) {
  if (e.keyCode === 40) downHeld = false;
  if (receiverOf(e.target)) core.keyUp();
}

// A game key from the on-screen controls or a gamepad (controls.js): it reaches the game as the
// same key on the keyboard would, and nothing while a box or the name window is up.
function gameTakesKeys() {
  return receiverOf(canvas) !== null && !boxes.nameWindowOpen();
}

export function pressKey(code) {
  if (code === 40) downHeld = true;
  if (gameTakesKeys()) keyDown(code, core.gameKeyDown);
}

export function releaseKey(code) {
  if (code === 40) downHeld = false;
  if (gameTakesKeys()) core.keyUp();
}

export function downKeyHeld() { return downHeld; }

// The game runs while the canvas or the name window has the keys and the page has the focus and
// is shown. A phone that turns its screen off or goes to another app hides the page and may leave
// it the focus, and a hidden page's timers are held back: hidden counts as a lost activation.
function checkActivation() {
  const focus = document.activeElement;
  const focused = document.hasFocus() && document.visibilityState !== 'hidden';
  const now = focused && (focus === canvas || boxes.nameWindowHasKeys(focus));
  if (!focused) downHeld = false;
  if (now === active) return;
  active = now;
  core.activate(now);
}

// The keys of the game window, from now on; it has them at once.
export function start(gameCanvas) {
  canvas = gameCanvas;
  document.addEventListener('keydown', onKeyDown, true);
  document.addEventListener('keyup', onKeyUp, true);
  canvas.addEventListener('mousedown', () => canvas.focus());
  const later = () => setTimeout(checkActivation, 0);
  document.addEventListener('focusin', later);
  document.addEventListener('focusout', later);
  window.addEventListener('focus', later);
  window.addEventListener('blur', later);
  // At once: a hidden page's timeouts come late, and a tick must not run in between.
  document.addEventListener('visibilitychange', checkActivation);
  canvas.focus();
  checkActivation();
}
