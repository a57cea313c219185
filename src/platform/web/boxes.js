// boxes.js: the message boxes and the name window, drawn in the page as modal dialogs. Linked in
// front of the program (--pre-js) after page.js.
'use strict';

var pilaroBoxes = (function () {
  var canvas = null;      // the game window, where the keys go back to
  var facts = null;       // the name window's title, size, prompt and controls
  var confirm = null;     // what the name window's OK button does
  var nameWindow = null;  // the name window and its field, made when first shown
  var nameField = null;
  var boxesOpen = 0;      // message boxes on screen

  function element(tag, className, text) {
    var made = document.createElement(tag);
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
    var frame = element('dialog', 'window ' + className);
    frame.appendChild(element('div', 'title', title));
    var client = element('div', 'client');
    frame.appendChild(client);
    frame.addEventListener('keydown', function (e) {
      if (e.key !== 'Escape') return;
      e.preventDefault();
      if (onEscape) onEscape();
    }, true);
    frame.addEventListener('cancel', function (e) { e.preventDefault(); });
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
    var client = nameWindow.querySelector('.client');
    nameField = element('input', 'field');
    nameField.type = 'text';
    nameField.autocomplete = 'off';
    nameField.spellcheck = false;
    place(nameField, facts.field);
    // The field takes only what its visible width shows, as the desktop's does.
    var kept = '';
    var keepToWidth = function (e) {
      if (e.isComposing) return;  // an input method's unfinished text is judged when it is done
      if (nameField.scrollWidth > nameField.clientWidth) nameField.value = kept;
      else kept = nameField.value;
    };
    nameField.addEventListener('input', keepToWidth);
    nameField.addEventListener('compositionend', keepToWidth);
    var ok = element('button', 'ok', facts.okText);
    place(ok, facts.ok);
    ok.addEventListener('click', confirm);
    client.appendChild(nameField);
    client.appendChild(ok);
  }

  return {
    start: function (gameCanvas, nameFacts, onConfirm) {
      canvas = gameCanvas;
      facts = nameFacts;
      confirm = onConfirm;
    },

    anyOpen: function () { return boxesOpen > 0; },
    // The name window while it is made (open or not), else null.
    nameWindow: function () { return nameWindow; },

    // A modal box: the text, the title and its buttons as the program names them (OK, or Yes and
    // No), answering true for the first.
    messageBox: function (text, title, labels, ownedByNameWindow, done) {
      var yesNo = labels.length > 1;
      // As on the desktop, Escape closes an OK box and does nothing to a Yes/No box.
      var box = pageWindow(title, 'box', yesNo ? null : function () { close(true); });
      box.client.appendChild(element('p', 'text', text));
      var buttons = element('div', 'buttons');
      box.client.appendChild(buttons);
      // The keys go back where they were (the game, the name window or its field) when the box closes.
      var returnTo = document.activeElement;
      if (returnTo !== canvas && !(nameWindow && nameWindow.contains(returnTo))) {
        returnTo = ownedByNameWindow ? nameWindow : canvas;
      }
      var close = function (answer) {
        box.frame.close();
        box.frame.remove();
        boxesOpen--;
        if (nameWindow && nameWindow.contains(returnTo) && !nameWindow.open) returnTo = canvas;
        if (returnTo) returnTo.focus();  // nothing to go back to in a tab refused at its start
        done(answer);
      };
      labels.forEach(function (label, i) {
        var b = element('button', '', label);
        b.addEventListener('click', function () { close(i === 0); });
        buttons.appendChild(b);
      });
      boxesOpen++;
      box.frame.showModal();
      buttons.firstChild.focus();
    },

    showNameWindow: function () {
      if (!nameWindow) {
        var made = pageWindow(facts.nameTitle, 'name');
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
      if (pilaroControls.touched()) nameField.focus();
    },

    hideNameWindow: function () {
      if (nameWindow && nameWindow.open) nameWindow.close();
      if (canvas) canvas.focus();
    },

    nameFieldText: function () { return nameField ? nameField.value : ''; }
  };
})();
