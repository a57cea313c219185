// drawing.js: the game's surfaces: the visible canvas, its back buffer, and the art read from its
// bitmaps; the program draws onto them by the names it gives them.
import { fetchBytes } from './files.js';

let named = null;      // the program's number for each surface, by name (webNameSurfaces)
let surfaces = [];     // by those numbers
let contexts = [];
let firstFrameShown = false;

// The art is asked for as soon as the page runs, while the program itself is still being
// compiled (index.html even preloads it), and decoded before the first frame, as the desktop
// loads it before its message loop. The build fills in the files' names (cmake/resourceFiles.cmake).
const artFiles = { backdrop: '@PILARO_BACKDROP_FILE@', tiles: '@PILARO_TILES_FILE@' };
const art = Promise.all([artFiles.backdrop, artFiles.tiles].map(function (name) {
  return fetchBytes(name).then(function (bytes) { return readBitmap(name, bytes); });
}));
art.catch(function () {});

// An uncompressed 24-bit BMP onto a canvas of its own, pixel for pixel: read here rather than
// by the browser's image decoder, which is slower to start and may manage the colours.
function readBitmap(name, buffer) {
  let view = new DataView(buffer);
  if (view.byteLength < 54 || view.getUint16(0) !== 0x424D || view.getUint16(28, true) !== 24 ||
      view.getUint32(30, true) !== 0) {
    throw new Error(name + ' is not an uncompressed 24-bit bitmap');
  }
  let pixelsAt = view.getUint32(10, true);
  let width = view.getInt32(18, true);
  let storedHeight = view.getInt32(22, true);
  let height = Math.abs(storedHeight);
  let stride = Math.floor((width * 3 + 3) / 4) * 4;
  if (width <= 0 || height === 0 || pixelsAt + stride * height > view.byteLength) throw new Error(name + ' is cut short');
  let bytes = new Uint8Array(buffer);
  let image = new ImageData(width, height);
  for (let y = 0; y < height; y++) {
    let from = pixelsAt + stride * (storedHeight > 0 ? height - 1 - y : y);
    let to = y * width * 4;
    for (let x = 0; x < width; x++, from += 3, to += 4) {
      image.data[to] = bytes[from + 2];
      image.data[to + 1] = bytes[from + 1];
      image.data[to + 2] = bytes[from];
      image.data[to + 3] = 255;
    }
  }
  let surface = document.createElement('canvas');
  surface.width = width;
  surface.height = height;
  surface.getContext('2d').putImageData(image, 0, 0);
  return surface;
}

function setSurface(name, surface) {
  surfaces[named[name]] = surface;
  let ctx = surface.getContext('2d');
  ctx.imageSmoothingEnabled = false;
  ctx.textBaseline = 'top';
  ctx.font = 'bold 16px sans-serif';
  contexts[named[name]] = ctx;
}

export function nameSurfaces(numbers) { named = numbers; }

// The game window's canvas, and a back buffer of its size that each frame is composed on.
export function start(canvas, width, height) {
  canvas.width = width;
  canvas.height = height;
  let backBuffer = document.createElement('canvas');
  backBuffer.width = width;
  backBuffer.height = height;
  setSurface('backBuffer', backBuffer);
  setSurface('gameWindow', canvas);
}

// done(true) once the art is in, done(false) when it could not be read.
export function loadArt(done) {
  art.then(function (images) {
    surfaces[named.backdrop] = images[0];
    surfaces[named.tiles] = images[1];
    done(true);
  }, function (e) {
    console.warn('Pilaro: the art did not load: ' + e);
    done(false);
  });
}

export function copyRect(to, x, y, width, height, from, fromX, fromY) {
  let source = surfaces[from];
  let ctx = contexts[to];
  if (!source || !ctx || width <= 0 || height <= 0) return;
  ctx.drawImage(source, fromX, fromY, width, height, x, y, width, height);
}

export function fillWhite(to, x, y, width, height) {
  let ctx = contexts[to];
  if (!ctx) return;
  ctx.fillStyle = '#ffffff';
  ctx.fillRect(x, y, width, height);
}

export function drawText(to, x, y, text) {
  let ctx = contexts[to];
  if (!ctx) return;
  ctx.fillStyle = '#ffffff';
  ctx.fillText(text, x, y);
}

export function showFrame() {
  contexts[named.gameWindow].drawImage(surfaces[named.backBuffer], 0, 0);
  if (!firstFrameShown) {
    firstFrameShown = true;
    requestAnimationFrame(function () { performance.mark('pilaro-first-frame'); });
  }
}
