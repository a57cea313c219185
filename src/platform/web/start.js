// start.js: what the page does before its program arrives. A file of its own, not inline, so
// that the page's Content-Security-Policy allows scripts from the site alone.
// What failed to arrive (this page's script, the program, the art) is said here, in the page
// itself: the program's own script may be what is missing.
function pilaroFailed() {
  var failed = document.getElementById('failed');
  if (failed) failed.hidden = false;
  else document.addEventListener('DOMContentLoaded', pilaroFailed);
}
var Module = {};
try {
  Module.compiling = WebAssembly.compileStreaming(fetch('pilaro.wasm', { credentials: 'same-origin' }));
  Module.compiling.catch(function () {});
} catch (e) { /* no streaming compile here: the program's script fetches it itself */ }
// A script that did not arrive (the program's own, pilaro.js) fires an error that does not bubble:
// it is seen here, on its way down.
window.addEventListener('error', function (event) {
  if (event.target instanceof HTMLScriptElement) pilaroFailed();
}, true);
