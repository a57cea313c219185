// drawing.js: the game's surfaces: the visible canvas and the art read from its bitmaps, which
// the program draws with by the names it gives them. What it composes on its back buffer is kept
// as a list of drawing steps, and the canvas is painted from that list once per display frame,
// only where the list changed since the frame on show.
import { art as artDecoded } from './files.js';

let named = null;      // the program's number for each surface, by name (webNameSurfaces)
let canvas = null;     // the game window
let context = null;
const art = [];        // the backdrop and tile sheet, by the program's surface numbers

// A frame's steps, as the program gives them: copyRect and fillWhite as eight numbers each
// (kind, x, y, width, height, source, sourceX, sourceY), drawText as its kind, place and the
// index of its text. The frame being composed, and the one on show.
const copyStep = 1;
const whiteStep = 2;
const textStep = 3;
function frame() { return { steps: new Int32Array(8 * 256), count: 0, texts: [] }; }
let composing = frame();
let composed = null;   // the newest complete frame, not yet painted
let shown = frame();   // what the canvas shows, when painted from steps alone
let windowSteps = [];  // drawing straight on the window (the wipe), painted after `composed`
let repaintAll = true; // the canvas no longer shows `shown` alone: the next frame is painted whole
let paintAsked = false;
let firstFrameShown = false;

function record(list, kind, a, b, c, d, e, f, g) {
  if (list.count + 8 > list.steps.length) {
    const more = new Int32Array(list.steps.length * 2);
    more.set(list.steps);
    list.steps = more;
  }
  const s = list.steps;
  const i = list.count;
  s[i] = kind; s[i + 1] = a; s[i + 2] = b; s[i + 3] = c; s[i + 4] = d; s[i + 5] = e; s[i + 6] = f; s[i + 7] = g;
  list.count += 8;
}

function setUp(ctx) {
  ctx.imageSmoothingEnabled = false;
  ctx.textBaseline = 'top';
  ctx.font = 'bold 16px sans-serif';
}

export function nameSurfaces(numbers) { named = numbers; }

// The game window's canvas; the back buffer is the list of steps above.
export function start(gameCanvas, width, height) {
  canvas = gameCanvas;
  canvas.width = width;
  canvas.height = height;
  context = canvas.getContext('2d', { alpha: false });
  setUp(context);
}

// done(true) once the art is in, done(false) when it could not be read.
export function loadArt(done) {
  artDecoded.then((images) => {
    art[named.backdrop] = images[0];
    art[named.tiles] = images[1];
    done(true);
  }, (e) => {
    console.warn('Pilaro: the art did not load: ' + e);
    done(false);
  });
}

function onWindow(to) { return to === named.gameWindow; }

export function copyRect(to, x, y, width, height, from, fromX, fromY) {
  if (!art[from] || width <= 0 || height <= 0) return;
  if (onWindow(to)) {
    windowSteps.push([copyStep, x, y, width, height, from, fromX, fromY]);
    askPaint();
  } else {
    record(composing, copyStep, x, y, width, height, from, fromX, fromY);
  }
}

export function fillWhite(to, x, y, width, height) {
  if (onWindow(to)) {
    windowSteps.push([whiteStep, x, y, width, height, 0, 0, 0]);
    askPaint();
  } else {
    record(composing, whiteStep, x, y, width, height, 0, 0, 0);
  }
}

export function drawText(to, x, y, text) {
  if (onWindow(to)) {
    windowSteps.push([textStep, x, y, 0, 0, 0, 0, 0, text]);
    askPaint();
  } else {
    composing.texts.push(text);
    record(composing, textStep, x, y, 0, 0, composing.texts.length - 1, 0, 0);
  }
}

// The frame composed on the back buffer is complete: it is what the window shows from the next
// display frame on, over anything drawn straight on the window before it.
export function showFrame() {
  composed = composing;
  composing = frame();
  if (windowSteps.length) repaintAll = true;
  windowSteps = [];
  askPaint();
}

function askPaint() {
  if (paintAsked) return;
  paintAsked = true;
  requestAnimationFrame(paint);
}

function draw(kind, x, y, width, height, from, fromX, fromY, text) {
  if (kind === copyStep) context.drawImage(art[from], fromX, fromY, width, height, x, y, width, height);
  else if (kind === whiteStep) {
    context.fillStyle = '#ffffff';
    context.fillRect(x, y, width, height);
  } else {
    context.fillStyle = '#ffffff';
    context.fillText(text, x, y);
  }
}

// Where a step may draw: a text's box is measured, with room for its glyphs' overhang.
const textBoxes = new Map();
function area(list, i) {
  const s = list.steps;
  if (s[i] !== textStep) return [s[i + 1], s[i + 2], s[i + 3], s[i + 4]];
  const text = list.texts[s[i + 5]];
  let width = textBoxes.get(text);
  if (width === undefined) textBoxes.set(text, width = Math.ceil(context.measureText(text).width));
  return [s[i + 1] - 4, s[i + 2] - 4, width + 8, 28];
}

function key(list, i) {
  const s = list.steps;
  return s[i] === textStep ? s[i + 1] + ',' + s[i + 2] + ',' + list.texts[s[i + 5]] : s.subarray(i, i + 8).join(',');
}

function sameFrame(a, b) {
  if (a.count !== b.count) return false;
  for (let i = 0; i < a.count; i++) if (a.steps[i] !== b.steps[i]) return false;
  return a.texts.every((text, i) => text === b.texts[i]);
}

// The places where `next` differs from `shown`: the areas of the steps only one of them has. A
// frame that is mostly new is painted whole (null).
function changedAreas(next) {
  const counts = new Map();
  for (let i = 0; i < shown.count; i += 8) counts.set(key(shown, i), (counts.get(key(shown, i)) || 0) - 1);
  for (let i = 0; i < next.count; i += 8) counts.set(key(next, i), (counts.get(key(next, i)) || 0) + 1);
  const areas = [];
  const find = (list, i) => {
    const n = counts.get(key(list, i));
    if (n !== 0) areas.push(area(list, i));
  };
  for (let i = 0; i < shown.count; i += 8) find(shown, i);
  for (let i = 0; i < next.count; i += 8) find(next, i);
  return areas.length > 64 ? null : areas;
}

function overlaps(a, b) { return a[0] < b[0] + b[2] && b[0] < a[0] + a[2] && a[1] < b[1] + b[3] && b[1] < a[1] + a[3]; }

function paintFrame(next) {
  const areas = repaintAll ? null : changedAreas(next);
  repaintAll = false;
  shown = next;
  if (areas && !areas.length) return;
  const s = next.steps;
  context.save();
  if (areas) {
    context.beginPath();
    areas.forEach((a) => context.rect(a[0], a[1], a[2], a[3]));
    context.clip();
  }
  for (let i = 0; i < next.count; i += 8) {
    if (areas && !areas.some((a) => overlaps(a, area(next, i)))) continue;
    draw(s[i], s[i + 1], s[i + 2], s[i + 3], s[i + 4], s[i + 5], s[i + 6], s[i + 7], next.texts[s[i + 5]]);
  }
  context.restore();
}

// Once a display frame: the newest frame, where it differs from the one on show, then what was
// drawn straight on the window since. A frame equal to the one on show costs one comparison; a
// hidden page paints nothing until it shows again.
function paint() {
  paintAsked = false;
  if (composed && (repaintAll || !sameFrame(composed, shown))) paintFrame(composed);
  if (composed && !firstFrameShown) {
    firstFrameShown = true;
    performance.mark('pilaro-first-frame');
  }
  composed = null;
  if (windowSteps.length) {
    windowSteps.forEach((step) => draw(...step));
    windowSteps = [];
    repaintAll = true;
  }
}
