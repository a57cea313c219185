// start.js: the page's one script, with the few parts it needs itself: what the page says, a new
// build's take-over, and files.js, which asks at once for what the first frame waits for longest
// (the program, the art, a watched game's recording). Every other part comes in through page.js
// (or watch.js), imported here so that one that did not arrive (or the program's script) is said
// in the page: a missing one stops every module that imports it.
import { showFailed } from './notices.js';
import * as update from './update.js';
import { watching } from './files.js';

// The player's lock (lock.js) is asked for while the page's other parts still arrive; a watch link
// (?watch=<id>) plays a kept game back instead (watch.js), and takes none.
if (!watching) import('./lock.js').then((lock) => lock.take(() => {}), () => {});
import(watching ? './watch.js' : './page.js').catch((e) => {
  console.warn('Pilaro: ' + e);
  showFailed();
});

// Kept by a service worker, the page starts and plays with the network off after one visit, and
// a new build reaches it (update.js).
update.start();
