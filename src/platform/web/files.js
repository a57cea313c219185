// files.js: the page's own files, fetched as bytes, and what its first frame waits for longest,
// asked for as soon as this module runs. start.js imports it, so it runs as soon as the page's
// first parts are in (index.html asks for these files first): the program compiles and the art
// decodes while the other parts still come in, rather than after the last of them.
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

// The backdrop and the tile sheet, as images: their bytes go straight to the browser's decoder,
// which reads them when they are first drawn, in about a millisecond. Each other way measured
// here made the first frame later: a blob made of the bytes (a round trip through the browser),
// reading them in JavaScript (the page's thread held) and asking for the decoding ahead. A PNG
// without a colour chunk is taken as the canvas's own colours, so its pixels are drawn as they
// are. The build makes them from the BMPs and fills in their names (cmake/resourceFiles.cmake).
export const art = Promise.all(['@PILARO_WEB_BACKDROP_FILE@', '@PILARO_WEB_TILES_FILE@'].map((name) => new Promise((done, fail) => {
  const image = new Image();
  image.fetchPriority = 'high';
  image.onload = () => done(image);
  image.onerror = () => fail(new Error(name + ' did not arrive'));
  image.src = name;
})));
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
