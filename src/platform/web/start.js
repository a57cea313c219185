// start.js: the page's one script. Every other part comes in through the modules imported here,
// so that a part that did not arrive (or the program's script) is said in the page: one that is
// missing stops every module that imports it.
import { showFailed } from './notices.js';
import * as update from './update.js';

// First what the first frame waits for longest (files.js: the program, the art, a watched game's
// recording) and the player's lock (lock.js), while the other parts still arrive; then the page,
// or on a watch link (?watch=<id>) the kept game played back instead (watch.js).
import('./files.js').then((files) => {
  if (!files.watching) import('./lock.js').then((lock) => lock.take(() => {}), () => {});
  return import(files.watching ? './watch.js' : './page.js');
}).catch((e) => {
  console.warn('Pilaro: ' + e);
  showFailed();
});

// Kept by a service worker, the page starts and plays with the network off after one visit, and
// a new build reaches it (update.js).
update.start();
