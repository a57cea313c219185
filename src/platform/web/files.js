// files.js: the page's own files, fetched as bytes, and what its first frame waits for longest,
// asked for as soon as this module runs. start.js imports it before the page's other parts have
// arrived (index.html preloads these files), so the program compiles and the art decodes while
// they still come in, rather than after the last of them.
export function fetchBytes(name) {
  return fetch(name).then((reply) => {
    if (!reply.ok) throw new Error(name + ': ' + reply.status);
    return reply.arrayBuffer();
  });
}

// The program, compiled while it streams in. A host that sends it with another type than
// application/wasm makes the streaming compile fail, and then it is compiled from its bytes.
export const program = (async () => {
  try {
    return await WebAssembly.compileStreaming(fetch('pilaro.wasm', { credentials: 'same-origin' }));
  } catch (e) {
    return WebAssembly.compile(await fetchBytes('pilaro.wasm'));
  }
})();
program.catch(() => {});

// An uncompressed 24-bit bitmap onto a canvas of its own, pixel for pixel, as soon as its bytes are
// in. Read here rather than by the browser's decoder, whose round trip through the browser (a
// blob read back, then decoded) took longer than the reading itself, while the first frame waited.
function bitmap(name, buffer) {
  const view = new DataView(buffer);
  if (view.byteLength < 54 || view.getUint16(0) !== 0x424D || view.getUint16(28, true) !== 24 || view.getUint32(30, true) !== 0) {
    throw new Error(name + ' is not an uncompressed 24-bit bitmap');
  }
  const pixelsAt = view.getUint32(10, true);
  const width = view.getInt32(18, true);
  const storedHeight = view.getInt32(22, true);  // negative when stored top row first
  const height = Math.abs(storedHeight);
  const stride = (width * 3 + 3) & ~3;
  if (width <= 0 || height === 0 || pixelsAt + stride * height > view.byteLength) throw new Error(name + ' is cut short');
  const bytes = new Uint8Array(buffer);
  const image = new ImageData(width, height);
  const pixels = new Uint32Array(image.data.buffer);  // RGBA in memory: the page runs little-endian
  for (let y = 0; y < height; y++) {
    let from = pixelsAt + stride * (storedHeight > 0 ? height - 1 - y : y);
    for (let to = y * width, end = to + width; to < end; to++, from += 3) {
      pixels[to] = 0xff000000 | bytes[from] << 16 | bytes[from + 1] << 8 | bytes[from + 2];
    }
  }
  const surface = document.createElement('canvas');
  surface.width = width;
  surface.height = height;
  surface.getContext('2d').putImageData(image, 0, 0);
  return surface;
}

// The backdrop and the tile sheet. The build fills in their names (cmake/resourceFiles.cmake).
export const art = Promise.all(['@PILARO_BACKDROP_FILE@', '@PILARO_TILES_FILE@'].map((name) =>
  fetchBytes(name).then((bytes) => bitmap(name, bytes))));
art.catch(() => {});

// A watch link (?watch=<id>) plays a kept game back instead (watch.js), and its recording is asked
// for at once too. The ranking keeps a recording under the first 32 hex digits of its SHA-256;
// what it answers with anything else is not asked. A failure's message is why it cannot be shown
// (watch.js says it).
const watchId = new URLSearchParams(location.search).get('watch');
export const watching = watchId !== null;
export const recording = !watching ? null : !/^[0-9a-f]{32}$/.test(watchId) ? Promise.reject(new Error('gone')) :
  fetch('@PILARO_REPLAY_PATH@?id=' + watchId, { credentials: 'same-origin' }).then(
    (reply) => reply.ok ? reply.arrayBuffer().then((b) => new Uint8Array(b))
                        : Promise.reject(new Error(reply.status === 404 ? 'gone' : 'unreadable')),
    () => Promise.reject(new Error('offline')));
if (recording) recording.catch(() => {});
