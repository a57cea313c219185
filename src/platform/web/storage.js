// storage.js: the best score's text in the browser's storage.
const key = 'hiScore.txt';  // the localStorage key: the desktop's file name
let inPage = null;          // the text kept for the page's life where localStorage refuses it
let warned = false;

// Blocked storage stays blocked: once said is enough.
function warn(what, e) {
  if (!warned) console.warn('Pilaro: the best score cannot be ' + what + ': ' + e);
  warned = true;
}

// localStorage holds what the desktop keeps in hiScore.txt, as the same text, so a bad one is read
// exactly as a bad file would be; null when nothing is stored.
export function read() {
  if (inPage !== null) return inPage;
  try {
    return window.localStorage.getItem(key);
  } catch (e) {
    warn('read', e);
    return null;
  }
}

export function write(text) {
  try {
    window.localStorage.setItem(key, text);
  } catch (e) {
    warn('kept', e);
    inPage = text;
  }
  return true;
}

// changed() is called when another tab of the site changes the stored best score.
export function watch(changed) {
  window.addEventListener('storage', (e) => {
    if (e.key === key || e.key === null) changed();
  });
}
