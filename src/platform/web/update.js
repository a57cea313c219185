// update.js: a new build reaches a player who keeps the page (the service worker, sw.js). The
// browser looks for a new worker at every start; one that differs fetches the new build whole
// into a cache of its own and then waits, while the old worker keeps serving this page its own
// build, so that no page ever runs on files of two builds. The new one takes over at a moment
// that loses nothing: at once when it is ready before the player has pressed anything (the page
// then starts again, as the new build), and otherwise once the program has ended (the page's
// button to play again then starts the new build).
let played = false;  // a key or a touch reached the page: the game under way is the player's now
let over = false;    // the program has ended
let registration = null;

let takingOver = null;  // settles once the new worker serves the page (or it never will)

function takeOverWhenSafe() {
  const waiting = registration && registration.waiting;
  if (!waiting || (played && !over) || takingOver) return;
  takingOver = new Promise((done) => {
    navigator.serviceWorker.addEventListener('controllerchange', done);
    setTimeout(done, 3000);  // a page the old worker did not serve either
  });
  waiting.postMessage('takeOver');
}

// The manifest (the page as an app to install) is named once the first frame is up: named in the
// page's markup, it and the icon it names were asked of the worker in the middle of the start, and
// the first frame came later for them. A page that shows no frame (another tab plays) names it a
// few seconds after its load.
function nameManifest() {
  if (document.querySelector('link[rel="manifest"]')) return;
  const link = document.createElement('link');
  link.rel = 'manifest';
  link.href = 'manifest.webmanifest';
  document.head.append(link);
}

export function start() {
  new PerformanceObserver((marks, observer) => {
    if (!marks.getEntriesByName('pilaro-first-frame').length) return;
    observer.disconnect();
    nameManifest();
  }).observe({ type: 'mark', buffered: true });
  window.addEventListener('load', () => setTimeout(nameManifest, 3000));
  if (!('serviceWorker' in navigator)) return;
  for (const type of ['keydown', 'pointerdown']) window.addEventListener(type, () => { played = true; }, true);
  // A page that had no worker yet is not taken over by the first one: it has nothing to reload.
  // One the player is in, or that has ended, is never reloaded.
  const kept = navigator.serviceWorker.controller !== null;
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (kept && !played && !over) location.reload();
  });
  window.addEventListener('load', () => navigator.serviceWorker.register('sw.js').then((r) => {
    registration = r;
    takeOverWhenSafe();
    r.addEventListener('updatefound', () => {
      const worker = r.installing;
      worker.addEventListener('statechange', () => {
        if (worker.state === 'installed') takeOverWhenSafe();
      });
    });
  }).catch(() => {}));
}

export function programEnded() {
  over = true;
  takeOverWhenSafe();
}

// The page's own buttons load it again once a worker taking over serves it, so that the new start
// is not served by the old one in the moment it steps down.
export function reload() {
  (takingOver || Promise.resolve()).then(() => location.reload());
}
