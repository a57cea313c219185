// boxes.js: the message boxes and the name window, drawn in the page as modal dialogs. Their
// elements are this module's: the rest of the page asks about them and works them through the
// functions below.
let canvas = null;      // the game window, where the keys go back to
let facts = null;       // the name window's title, size, prompt and controls
let confirm = null;     // what the name window's OK button does
let nameWindow = null;  // the name window and its controls, made when first shown
let nameField = null;
let okButton = null;
let boxesOpen = 0;      // message boxes on screen

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

// A window drawn in the page: a title bar over a client area. It ends only through its own
// buttons: Escape is the game's key here, or an OK box's answer, never the browser's own close.
// Chromium honours a cancelled `cancel` only once without a user action between, and Escape is
// none, so a second Escape would close a box the game still waits on: Escape's keydown is
// stopped before it makes a close request at all. onEscape, when given, is what Escape does.
function pageWindow(title, className, onEscape) {
  const frame = element('dialog', 'window ' + className);
  frame.appendChild(element('div', 'title', title));
  const client = element('div', 'client');
  frame.appendChild(client);
  frame.addEventListener('keydown', (e) => {
    if (e.key !== 'Escape') return;
    e.preventDefault();
    if (onEscape) onEscape();
  }, true);
  frame.addEventListener('cancel', (e) => e.preventDefault());
  document.body.appendChild(frame);
  return { frame: frame, client: client };
}

function place(control, rect) {
  control.style.left = rect[0] + 'px';
  control.style.top = rect[1] + 'px';
  control.style.width = rect[2] + 'px';
  control.style.height = rect[3] + 'px';
}

// The field and the button, made at the first showing; they keep their text from then on.
function makeNameControls() {
  const client = nameWindow.querySelector('.client');
  nameField = element('input', 'field');
  nameField.type = 'text';
  nameField.autocomplete = 'off';
  nameField.spellcheck = false;
  place(nameField, facts.field);
  // The field takes only what its visible width shows, as the desktop's does.
  let kept = '';
  const keepToWidth = (e) => {
    if (e.isComposing) return;  // an input method's unfinished text is judged when it is done
    if (nameField.scrollWidth > nameField.clientWidth) nameField.value = kept;
    else kept = nameField.value;
  };
  nameField.addEventListener('input', keepToWidth);
  nameField.addEventListener('compositionend', keepToWidth);
  okButton = element('button', 'ok', facts.okText);
  place(okButton, facts.ok);
  okButton.addEventListener('click', confirm);
  client.appendChild(nameField);
  client.appendChild(okButton);
}

export function start(gameCanvas, nameFacts, onConfirm) {
  canvas = gameCanvas;
  facts = nameFacts;
  confirm = onConfirm;
}

export function anyOpen() { return boxesOpen > 0; }
export function nameWindowOpen() { return nameWindow !== null && nameWindow.open; }
// Whether element is the name window itself (not one of its controls).
export function isNameWindow(element) { return nameWindow !== null && element === nameWindow; }
// Whether the name window has the keys when element has the focus: the window itself, or one of
// its controls while no box is up.
export function nameWindowHasKeys(element) {
  return nameWindow !== null && (element === nameWindow || (nameWindow.contains(element) && !anyOpen()));
}

// A modal box: the text, the title and its buttons as the program names them (OK, or Yes and
// No), answering true for the first.
export function messageBox(text, title, labels, ownedByNameWindow, done) {
  const yesNo = labels.length > 1;
  // As on the desktop, Escape closes an OK box and does nothing to a Yes/No box.
  const box = pageWindow(title, 'box', yesNo ? null : () => close(true));
  box.client.appendChild(element('p', 'text', text));
  const buttons = element('div', 'buttons');
  box.client.appendChild(buttons);
  // The keys go back where they were (the game, the name window or its field) when the box closes.
  let returnTo = document.activeElement;
  if (returnTo !== canvas && !(nameWindow && nameWindow.contains(returnTo))) {
    returnTo = ownedByNameWindow ? nameWindow : canvas;
  }
  const close = (answer) => {
    box.frame.close();
    box.frame.remove();
    boxesOpen--;
    if (nameWindow && nameWindow.contains(returnTo) && !nameWindow.open) returnTo = canvas;
    if (returnTo) returnTo.focus();  // nothing to go back to in a tab refused at its start
    done(answer);
  };
  labels.forEach((label, i) => {
    const b = element('button', '', label);
    b.addEventListener('click', () => close(i === 0));
    buttons.appendChild(b);
  });
  boxesOpen++;
  box.frame.showModal();
  buttons.firstChild.focus();
}

// A gamepad's answer to the box on top: its first button (which 0) or its second (which 1) is
// clicked, so the answer goes wherever a click's goes. True when a box was open, whatever was
// pressed: nothing reaches the game under it.
export function answerOpenBox(which) {
  const boxes = document.querySelectorAll('dialog.box[open]');
  if (!boxes.length) return false;
  const buttons = boxes[boxes.length - 1].querySelectorAll('button');
  const chosen = which === 0 ? buttons[0] : which === 1 && buttons.length > 1 ? buttons[1] : null;
  if (chosen) chosen.click();
  return true;
}

// touched: the player uses a touch screen, where the field takes the keys at once.
export function showNameWindow(touched) {
  if (!nameWindow) {
    const made = pageWindow(facts.nameTitle, 'name');
    nameWindow = made.frame;
    nameWindow.tabIndex = -1;
    nameWindow.style.width = facts.nameWidth + 'px';
    nameWindow.style.height = facts.nameHeight + 'px';
    made.client.appendChild(element('div', 'prompt', facts.prompt));
  }
  nameWindow.showModal();
  if (!nameField) makeNameControls();
  // No control takes the keys: the window itself has them until the player clicks the field. On a
  // touch screen the field takes them at once, which brings up the on-screen keyboard.
  nameWindow.focus();
  if (touched) nameField.focus();
}

export function hideNameWindow() {
  if (nameWindow && nameWindow.open) nameWindow.close();
  if (canvas) canvas.focus();
}

export function nameFieldText() { return nameField ? nameField.value : ''; }

// Text put in the field as typing puts it: its width rule takes back what does not fit.
export function typeName(text) {
  nameField.value = text;
  nameField.dispatchEvent(new Event('input'));
}

// The OK button clicked.
export function confirmName() { okButton.click(); }

// part shown below the name window's controls (the gamepad's characters, picker.js) while the
// window is open: the window grows by its height, and gives it back when it closes.
export function showBelowNameControls(part) {
  if (part.parentNode !== nameWindow) {
    nameWindow.appendChild(part);
    nameWindow.addEventListener('close', () => {
      part.hidden = true;
      nameWindow.style.height = facts.nameHeight + 'px';
    });
  }
  part.hidden = false;
  nameWindow.style.height = facts.nameHeight + part.offsetHeight + 'px';
}
