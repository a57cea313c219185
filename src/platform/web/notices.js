// notices.js: what the page itself says, in its own elements (index.html): that the game could not
// load, that another tab plays, that the game has ended; each with a button that loads it again.
import { reload } from './update.js';

for (const button of document.querySelectorAll('.reload')) button.addEventListener('click', reload);

// What failed to arrive (a script of the page, the program, the art).
export function showFailed() { document.getElementById('failed').hidden = false; }

// The refused tab says why and may ask again once the other tab is gone.
export function showRefused() { document.getElementById('refused').hidden = false; }

export function showEnded() {
  document.getElementById('ended').hidden = false;
  document.getElementById('again').focus();
}
