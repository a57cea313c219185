// controls.js: the game on any screen and in any hands: the picture sized to the window, the
// on-screen controls of a touch screen and the gamepads. Controls and gamepads press the game's
// keys (keys.js), the path the keyboard takes, so they act exactly as the keys do. The stage and
// the controls are this module's; the picture's size on the screen too.
import { pressKey, releaseKey } from './keys.js';
import { answerOpenBox } from './boxes.js';
import * as picker from './picker.js';
import { buttonsShown } from './app.js';

var canvas = null;
var stage = null;
var width = 0;
var height = 0;
var sawTouch = false;
var padRoom = 144;  // a pad's side (two 64-pixel buttons and a gap) and its gap to the picture
var toolsRoom = 52;  // the page's own buttons (44 pixels) and their gap to the picture

// Left, right and down repeat while held, as a held key does; the first repeat comes a little
// later than the next ones, as a keyboard's do.
var repeating = { 37: true, 39: true, 40: true };
var repeatDelayMs = 400;
var repeatMs = 33;
var held = {};  // what each finger or gamepad button holds: its key and its repeat timer

function press(source, code) {
  release(source);
  pressKey(code);
  var hold = { code: code, timer: null };
  if (repeating[code]) {
    hold.timer = setTimeout(function again() {
      pressKey(code);
      hold.timer = setTimeout(again, repeatMs);
    }, repeatDelayMs);
  }
  held[source] = hold;
}

function release(source) {
  var hold = held[source];
  if (!hold) return;
  clearTimeout(hold.timer);
  delete held[source];
  releaseKey(hold.code);
}

function padsShown() { return !document.getElementById('move').hidden; }

// The picture takes the largest size that fits the window beside the controls, or below them if
// that is larger. It is drawn at a whole number of device pixels per pixel, so the tiles stay
// even on any display (at 125% or 150% too); only where not even one device pixel a pixel fits
// is it scaled smoothly.
function fit() {
  var roomWidth = document.documentElement.clientWidth;
  place(roomWidth);
  // A scroll bar that the old size needed and the new one does not gives back its room.
  if (document.documentElement.clientWidth !== roomWidth) place(document.documentElement.clientWidth);
}

function place(roomWidth) {
  var roomHeight = window.innerHeight;
  var pads = padsShown() ? padRoom : 0;
  // The page's own controls (app.js) sit between the pads or below the left one; without the
  // pads, beside the picture, or below it where that leaves the picture larger.
  var tools = buttonsShown() && !pads ? toolsRoom : 0;
  var toolsBeside = Math.min((roomWidth - tools) / width, roomHeight / height);
  var toolsBelow = Math.min(roomWidth / width, (roomHeight - tools) / height);
  stage.classList.toggle('toolsBelow', toolsBelow > toolsBeside);
  var below = Math.min(Math.max(toolsBeside, toolsBelow), (roomHeight - pads) / height);
  var beside = Math.min((roomWidth - 2 * pads) / width, roomHeight / height);
  var sideways = pads > 0 && beside > below;
  stage.classList.toggle('beside', sideways);
  stage.classList.toggle('bare', !pads);
  var scale = Math.max(0.1, sideways ? beside : below);
  var ratio = window.devicePixelRatio || 1;
  var whole = Math.floor(scale * ratio + 1e-9);
  canvas.classList.toggle('smooth', whole < 1);
  var shown = whole >= 1 ? whole / ratio : scale;
  canvas.style.width = width * shown + 'px';
  canvas.style.height = height * shown + 'px';
}

// A window moved to a display of another scale changes its device pixels but not its size.
function watchPixelRatio() {
  if (!window.matchMedia) return;
  var query = window.matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
  var changed = function () {
    query.removeEventListener('change', changed);
    fit();
    watchPixelRatio();
  };
  query.addEventListener('change', changed);
}

function showPads() {
  if (padsShown()) return;
  document.getElementById('move').hidden = false;
  document.getElementById('act').hidden = false;
  stage.parentElement.classList.add('pads');
  fit();
}

function watchPads() {
  [].forEach.call(document.querySelectorAll('.pad button'), function (button) {
    var code = Number(button.getAttribute('data-key'));
    button.addEventListener('pointerdown', function (e) {
      try { button.setPointerCapture(e.pointerId); } catch (error) { /* the pointer is gone already */ }
      button.classList.add('held');
      press('finger' + e.pointerId, code);
    });
    var up = function (e) {
      button.classList.remove('held');
      release('finger' + e.pointerId);
    };
    button.addEventListener('pointerup', up);
    button.addEventListener('pointercancel', up);
    // The game keeps the keys (a button that took the focus would deactivate it), a touch makes
    // no mouse events after it, and no tap zooms the page.
    button.addEventListener('mousedown', function (e) { e.preventDefault(); });
    button.addEventListener('touchstart', function (e) { e.preventDefault(); }, { passive: false });
    button.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  });
}

// Gamepads with the standard mapping: the d-pad's left, right and down, A turns, B hard-drops,
// Start pauses. While a box is open, A and B answer it instead, and while the name window is
// open, the buttons write the name (picker.js), the d-pad's up too, which is no game key (0).
var gamepadKeys = { 14: 37, 15: 39, 13: 40, 12: 0, 0: 38, 1: 16, 9: 112 };
var gamepadHeld = {};

var polling = false;

function standardGamepads() {
  var gamepads = [];
  try { gamepads = navigator.getGamepads ? navigator.getGamepads() : []; } catch (e) { /* not allowed here */ }
  return [].filter.call(gamepads || [], function (gamepad) { return gamepad && gamepad.mapping === 'standard'; });
}

// Gamepads are polled once a display frame, and only while one is connected: without one the
// page asks for no frames at all. A pad the page has not seen is announced with its first press.
function watchGamepads() {
  if (!polling && standardGamepads().length) {
    polling = true;
    requestAnimationFrame(pollGamepads);
  }
}

function pollGamepads() {
  var gamepads = standardGamepads();
  polling = gamepads.length > 0;
  for (var i = 0; i < gamepads.length; i++) {
    var gamepad = gamepads[i];
    for (var number in gamepadKeys) {
      var button = gamepad.buttons[number];
      var down = !!(button && button.pressed);
      var source = 'gamepad' + gamepad.index + '.' + number;
      if (down === !!gamepadHeld[source]) continue;
      gamepadHeld[source] = down;
      if (!down) release(source);
      else if (!answerOpenBox(Number(number)) && !picker.take(Number(number)) && gamepadKeys[number]) {
        press(source, gamepadKeys[number]);
      }
    }
  }
  if (polling) requestAnimationFrame(pollGamepads);
}

// The picture alone, sized to the window as it changes (the watch page has no controls).
export function fitPicture(gameCanvas, gameWidth, gameHeight) {
  canvas = gameCanvas;
  stage = document.getElementById('stage');
  width = gameWidth;
  height = gameHeight;
  fit();
  window.addEventListener('resize', fit);
  watchPixelRatio();
  // Shown once sized; start() chooses the controls in the same task, before the browser paints.
  stage.classList.remove('unplaced');
}

export function start(gameCanvas, gameWidth, gameHeight) {
  fitPicture(gameCanvas, gameWidth, gameHeight);
  watchPads();
  // The controls come with the first touch, or at once on a screen that is touched rather
  // than pointed at; a keyboard player never sees them.
  if (window.matchMedia && window.matchMedia('(pointer: coarse)').matches) showPads();
  window.addEventListener('touchstart', function () {
    sawTouch = true;
    showPads();
  }, { capture: true, passive: true });
  window.addEventListener('gamepadconnected', watchGamepads);
  watchGamepads();
}

// Whether the player uses a touch screen: the name field then brings up its keyboard at once.
export function touched() { return sawTouch || padsShown(); }
