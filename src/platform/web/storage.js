// storage.js: the player's files in the browser's storage, by their names (the best score's text,
// the last game's recording).
const inPage = {};  // texts kept for the page's life where localStorage refuses them
let warned = false;

// Blocked storage stays blocked: once said is enough.
function warn(what, e) {
  if (!warned) console.warn('Pilaro: the player\'s files cannot be ' + what + ': ' + e);
  warned = true;
}

// localStorage holds what the desktop keeps in hiScore.txt, as the same text, so a bad one is read
// exactly as a bad file would be; null when nothing is stored.
export function read(key) {
  if (key in inPage) return inPage[key];
  try {
    return window.localStorage.getItem(key);
  } catch (e) {
    warn('read', e);
    return null;
  }
}

export function write(key, text) {
  try {
    window.localStorage.setItem(key, text);
  } catch (e) {
    warn('kept', e);
    inPage[key] = text;
  }
  return true;
}

// changed() is called when another tab of the site changes what is stored.
export function watch(changed) {
  window.addEventListener('storage', () => changed());
}
