// start.js: the page's one script. Every other part comes in through page.js, imported here so
// that a part that did not arrive (or the program's script) is said in the page: one that is
// missing stops every module that imports it.
import { showFailed } from './notices.js';
import * as update from './update.js';

// A watch link (?watch=<id>) plays a kept game back instead (watch.js).
const watching = new URLSearchParams(location.search).has('watch');
import(watching ? './watch.js' : './page.js').catch((e) => {
  console.warn('Pilaro: ' + e);
  showFailed();
});

// Kept by a service worker, the page starts and plays with the network off after one visit, and
// a new build reaches it (update.js).
update.start();
