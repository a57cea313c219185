// page.js: the page around the program: its canvas, keys, timers, boxes, sounds, best score and
// lock. Linked in front of the program (--pre-js); library.js calls into it.
'use strict';

var Module = typeof Module != 'undefined' ? Module : {};

var pilaroPage = (function () {
  var hiScoreKey = 'hiScore.txt';  // the localStorage key: the desktop's file name

  var over = false;         // the program has ended: nothing more is handed to it
  var timers = [];
  var canvas = null;        // the game window: the visible canvas
  var surfaces = [];        // by the numbers of enum Surface: back buffer, game window, backdrop, tiles
  var contexts = [];
  var nameWindow = null;    // the name window, its field and its facts
  var nameField = null;
  var facts = null;
  var boxesOpen = 0;        // message boxes on screen
  var rankingOut = false;   // the ranking request is out and its reply not yet handed over
  var downHeld = false;     // the Down arrow's real state, whatever has the keys
  var active = true;        // the activation last told to the program, which starts active
  var audio = null;
  var sounds = [];
  var playing = null;       // the effect that sounds now
  var storageWarned = false;
  var firstFrameShown = false;
  var ticksHandled = 0;     // ticks that reached the program; each is 33 ms of game time (bench/parts/web)

  // Hands an event to the program (one of its entry points, main.cpp), which handles it at once
  // and returns; the game itself decides what it ignores (ticks during a wipe or under a box).
  function deliver(entry) {
    if (over) return;
    Module[entry].apply(null, Array.prototype.slice.call(arguments, 1));
  }

  // The best score: localStorage holds what the desktop keeps in hiScore.txt, as the same text, so
  // a bad one is read exactly as a bad file would be. Where localStorage refuses it, the page
  // keeps it for as long as it is open.
  var hiScoreInPage = null;

  function readHiScore() {
    if (hiScoreInPage !== null) return hiScoreInPage;
    try {
      return window.localStorage.getItem(hiScoreKey);
    } catch (e) {
      warnStorage('read', e);
      return null;
    }
  }

  function writeHiScore(text) {
    try {
      window.localStorage.setItem(hiScoreKey, text);
    } catch (e) {
      warnStorage('kept', e);
      hiScoreInPage = text;
    }
    return true;
  }

  // Blocked storage stays blocked: once said is enough.
  function warnStorage(what, e) {
    if (!storageWarned) console.warn('Pilaro: the best score cannot be ' + what + ': ' + e);
    storageWarned = true;
  }

  // One program per browser (lock.js). It is asked for as soon as the page runs, while the program
  // is still being compiled.
  pilaroLock.take(function () {});

  function takeLock(done) { pilaroLock.take(done); }

  // The page's keys and activation. keyCode is the desktop's virtual-key number for every key
  // the game knows (arrows 37-40, Shift 16, Escape 27, F1 112).
  // Keys pressed while a box is up or the ranking request is out are dropped, as the desktop drops
  // them: none is kept for the next game.
  function receiverOf(target) {
    if (boxesOpen || rankingOut) return null;
    if (target === canvas) return 'game';
    if (nameWindow && target === nameWindow) return 'name';
    return null;
  }

  var pageKeys = { 16: 1, 27: 1, 32: 1, 37: 1, 38: 1, 39: 1, 40: 1, 112: 1 };

  function keyDown(code, receiver) {
    startAudio();
    if (code) deliver('_pilaroKeyDown', code, receiver === 'name' ? 1 : 0);
  }

  function onKeyDown(e) {
    if (e.keyCode === 40) downHeld = true;
    var receiver = receiverOf(e.target);
    if (!receiver || e.isComposing) return;
    // Arrows and Space would scroll, F1 opens the browser's help, Escape would close a dialog.
    if (pageKeys[e.keyCode]) e.preventDefault();
    keyDown(e.keyCode & 0xFF, receiver);
  }

  function onKeyUp(e) {
    if (e.keyCode === 40) downHeld = false;
    if (receiverOf(e.target)) deliver('_pilaroKeyUp');
  }

  // A game key from the on-screen controls or a gamepad (controls.js): it reaches the game as the
  // same key on the keyboard would, and nothing while a box or the name window is up.
  function gameTakesKeys() { return receiverOf(canvas) === 'game' && !(nameWindow && nameWindow.open); }

  function pressKey(code) {
    if (code === 40) downHeld = true;
    if (gameTakesKeys()) keyDown(code, 'game');
  }

  function releaseKey(code) {
    if (code === 40) downHeld = false;
    if (gameTakesKeys()) deliver('_pilaroKeyUp');
  }

  // The game runs while the canvas or the name window has the keys and the page has the focus.
  function checkActivation() {
    var focus = document.activeElement;
    var now = document.hasFocus() && (focus === canvas || (nameWindow !== null && focus === nameWindow) ||
                                       (nameWindow !== null && nameWindow.contains(focus) && !boxesOpen));
    if (!document.hasFocus()) downHeld = false;
    if (now === active) return;
    active = now;
    deliver('_pilaroActivate', now ? 1 : 0);
  }

  function watchActivation() {
    var later = function () { setTimeout(checkActivation, 0); };
    document.addEventListener('focusin', later);
    document.addEventListener('focusout', later);
    window.addEventListener('focus', later);
    window.addEventListener('blur', later);
  }

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

  function openWindows(given) {
    facts = given;
    document.title = facts.gameTitle;
    canvas = document.getElementById('game');
    canvas.width = facts.width;
    canvas.height = facts.height;
    var backBuffer = document.createElement('canvas');
    backBuffer.width = facts.width;
    backBuffer.height = facts.height;
    surfaces = [backBuffer, canvas, null, null];
    contexts = [backBuffer.getContext('2d'), canvas.getContext('2d'), null, null];
    contexts.forEach(function (ctx) {
      if (!ctx) return;
      ctx.imageSmoothingEnabled = false;
      ctx.textBaseline = 'top';
      ctx.font = 'bold 16px sans-serif';
    });
    pilaroControls.start(canvas, facts.width, facts.height);
    document.addEventListener('keydown', onKeyDown, true);
    document.addEventListener('keyup', onKeyUp, true);
    // Another tab wrote the best score: the game compares against what is stored now.
    window.addEventListener('storage', function (e) {
      if (e.key === hiScoreKey || e.key === null) deliver('_pilaroHiScoreChanged');
    });
    canvas.addEventListener('mousedown', function () { canvas.focus(); });
    watchActivation();
    canvas.focus();
    checkActivation();
  }

  function fetchBytes(name) {
    return fetch(name).then(function (reply) {
      if (!reply.ok) throw new Error(name + ': ' + reply.status);
      return reply.arrayBuffer();
    });
  }

  // The art and the sounds are asked for as soon as the page runs, while the program itself is still
  // being compiled (index.html even preloads the art and the program). The art is decoded before
  // the first frame, as the desktop loads it before its message loop; the sounds may come later,
  // and an effect not yet decoded is not heard.
  var art = Promise.all(['backdrop.bmp', 'tiles.bmp'].map(function (name) {
    return fetchBytes(name).then(function (bytes) { return readBitmap(name, bytes); });
  }));
  var soundBytes = ['turn.wav', 'move.wav', 'rowsCleared.wav', 'hardDrop.wav'].map(fetchBytes);
  art.catch(function () {});
  soundBytes.forEach(function (bytes) { bytes.catch(function () {}); });

  // An uncompressed 24-bit BMP onto a canvas of its own, pixel for pixel: read here rather than
  // by the browser's image decoder, which is slower to start and may manage the colours.
  function readBitmap(name, buffer) {
    var view = new DataView(buffer);
    if (view.byteLength < 54 || view.getUint16(0) !== 0x424D || view.getUint16(28, true) !== 24 ||
        view.getUint32(30, true) !== 0) {
      throw new Error(name + ' is not an uncompressed 24-bit bitmap');
    }
    var pixelsAt = view.getUint32(10, true);
    var width = view.getInt32(18, true);
    var storedHeight = view.getInt32(22, true);
    var height = Math.abs(storedHeight);
    var stride = Math.floor((width * 3 + 3) / 4) * 4;
    if (width <= 0 || height === 0 || pixelsAt + stride * height > view.byteLength) throw new Error(name + ' is cut short');
    var bytes = new Uint8Array(buffer);
    var image = new ImageData(width, height);
    for (var y = 0; y < height; y++) {
      var from = pixelsAt + stride * (storedHeight > 0 ? height - 1 - y : y);
      var to = y * width * 4;
      for (var x = 0; x < width; x++, from += 3, to += 4) {
        image.data[to] = bytes[from + 2];
        image.data[to + 1] = bytes[from + 1];
        image.data[to + 2] = bytes[from];
        image.data[to + 3] = 255;
      }
    }
    var surface = document.createElement('canvas');
    surface.width = width;
    surface.height = height;
    surface.getContext('2d').putImageData(image, 0, 0);
    return surface;
  }

  function loadArt(done) {
    var AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (AudioContextClass) {
      audio = new AudioContextClass();
      soundBytes.forEach(function (bytes, i) {
        bytes.then(function (b) { return audio.decodeAudioData(b); })
          .then(function (buffer) { sounds[i] = buffer; })
          .catch(function (e) { console.warn('Pilaro: ' + e); });
      });
    }
    art.then(function (images) {
      surfaces[2] = images[0];
      surfaces[3] = images[1];
    }).catch(function (e) {
      console.warn('Pilaro: the art did not load: ' + e);
      pilaroFailed();  // index.html says so
    }).then(done);
  }

  // Browsers let a page make sounds only after the player has done something, and a key such as
  // Shift alone does not count: every key, touch and click tries again until one does.
  function startAudio() {
    if (audio && audio.state === 'suspended') audio.resume().catch(function () {});
  }
  ['keydown', 'mousedown', 'pointerup', 'touchend', 'click'].forEach(function (type) {
    window.addEventListener(type, startAudio, true);
  });

  function startSound(index) {
    if (!audio || !sounds[index]) return;
    if (playing) {
      try { playing.stop(); } catch (e) { /* already over */ }
    }
    playing = audio.createBufferSource();
    playing.buffer = sounds[index];
    playing.connect(audio.destination);
    playing.start();
  }

  function copyRect(to, x, y, width, height, from, fromX, fromY) {
    var source = surfaces[from];
    var ctx = contexts[to];
    if (!source || !ctx || width <= 0 || height <= 0) return;
    ctx.drawImage(source, fromX, fromY, width, height, x, y, width, height);
  }

  function fillWhite(to, x, y, width, height) {
    var ctx = contexts[to];
    if (!ctx) return;
    ctx.fillStyle = '#ffffff';
    ctx.fillRect(x, y, width, height);
  }

  function drawText(to, x, y, text) {
    var ctx = contexts[to];
    if (!ctx) return;
    ctx.fillStyle = '#ffffff';
    ctx.fillText(text, x, y);
  }

  function showFrame() {
    contexts[1].drawImage(surfaces[0], 0, 0);
    if (!firstFrameShown) {
      firstFrameShown = true;
      requestAnimationFrame(function () { performance.mark('pilaro-first-frame'); });
    }
  }

  // Two ticks for every period, counted by the clock rather than by the timer's calls: a call the
  // browser holds back while the page is busy is made up for when it comes, so no tick is lost.
  // After a long stop (a hidden tab, a suspended laptop) the count starts afresh from then, so
  // the game does not race through what it missed.
  function startTimers(periodMs) {
    var due = performance.now() + periodMs;
    var tick = function () {
      var now = performance.now();
      if (now - due > 1000) due = now;
      for (; due <= now; due += periodMs) {
        ticksHandled += 2;
        deliver('_pilaroTick');
        deliver('_pilaroTick');
      }
    };
    timers = [setInterval(tick, periodMs)];
  }

  function startDelay(ms) { setTimeout(function () { deliver('_pilaroDelayElapsed'); }, ms); }

  // A modal box: the text, the title and OK or はい / いいえ, answering true for はい.
  function messageBox(text, title, yesNo, ownedByNameWindow, done) {
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
    (yesNo ? [['はい', true], ['いいえ', false]] : [['OK', true]]).forEach(function (button) {
      var b = element('button', '', button[0]);
      b.addEventListener('click', function () { close(button[1]); });
      buttons.appendChild(b);
    });
    boxesOpen++;
    box.frame.showModal();
    buttons.firstChild.focus();
  }

  function showNameWindow() {
    if (!nameWindow) {
      var made = pageWindow(facts.nameTitle, 'name');
      nameWindow = made.frame;
      nameWindow.tabIndex = -1;
      nameWindow.style.width = facts.nameWidth + 'px';
      nameWindow.style.height = facts.nameHeight + 'px';
      made.client.appendChild(element('div', 'prompt', facts.prompt));
    }
    nameWindow.showModal();
    // The field and the button are made at the first showing and keep their text from then on.
    if (!nameField) {
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
      ok.addEventListener('click', function () { deliver('_pilaroCommand', facts.okId); });
      client.appendChild(nameField);
      client.appendChild(ok);
    }
    // No control takes the keys: the window itself has them until the player clicks the field. On a
    // touch screen the field takes them at once, which brings up the on-screen keyboard.
    nameWindow.focus();
    if (pilaroControls.touched()) nameField.focus();
  }

  function place(control, rect) {
    control.style.left = rect[0] + 'px';
    control.style.top = rect[1] + 'px';
    control.style.width = rect[2] + 'px';
    control.style.height = rect[3] + 'px';
  }

  function hideNameWindow() {
    if (nameWindow && nameWindow.open) nameWindow.close();
    canvas.focus();
  }

  function nameFieldText() { return nameField ? nameField.value : ''; }

  // The one ranking request: the same body bytes and header, at most replyLimit bytes of the reply
  // back, and the same ten-second bound as the desktop's. A failure gives an empty reply.
  function httpPost(path, headerLine, body, replyLimit, done) {
    var colon = headerLine.indexOf(':');
    var headers = {};
    if (colon > 0) headers[headerLine.slice(0, colon).trim()] = headerLine.slice(colon + 1).trim();
    rankingOut = true;
    var stop = new AbortController();
    var timer = setTimeout(function () { stop.abort(); }, 10000);
    fetch(path, { method: 'POST', headers: headers, body: body, cache: 'no-store', redirect: 'manual',
                  credentials: 'same-origin', signal: stop.signal })
      .then(function (reply) { return reply.body && reply.type !== 'opaqueredirect' ? readUpTo(reply.body, replyLimit) : []; })
      .catch(function () { return []; })
      .then(function (chunks) {
        clearTimeout(timer);
        rankingOut = false;
        var bytes = new Uint8Array(replyLimit);
        var length = 0;
        chunks.forEach(function (chunk) {
          var part = chunk.subarray(0, replyLimit - length);
          bytes.set(part, length);
          length += part.length;
        });
        done(bytes.subarray(0, length));
      });
  }

  // The first `limit` bytes of a body, as chunks; the rest is not waited for.
  function readUpTo(stream, limit) {
    var reader = stream.getReader();
    var chunks = [];
    var count = 0;
    var more = function () {
      return reader.read().then(function (step) {
        if (step.done) return chunks;
        chunks.push(step.value);
        count += step.value.length;
        if (count < limit) return more();
        reader.cancel().catch(function () {});
        return chunks;
      });
    };
    return more();
  }

  function decodeCp932(bytes) { return new TextDecoder('shift_jis').decode(bytes); }

  // The program is over: Escape, No at the continue question, or a second tab's refusal.
  function ended(afterGame) {
    over = true;
    timers.forEach(clearInterval);
    timers = [];
    pilaroLock.release();
    if (nameWindow && nameWindow.open) nameWindow.close();
    if (!afterGame) {
      // The refused tab says why in the page and may ask again once the other tab is gone.
      document.getElementById('game').hidden = true;
      document.getElementById('refused').hidden = false;
      return;
    }
    document.getElementById('ended').hidden = false;
    document.getElementById('again').focus();
  }

  // The program as index.html began to compile it; a host that sends it with another type than
  // application/wasm makes the streaming compile fail, and then it is compiled from its bytes.
  if (Module.compiling) {
    Module.instantiateWasm = function (imports, receive) {
      Module.compiling.catch(function () {
        return fetchBytes('pilaro.wasm').then(function (bytes) { return WebAssembly.compile(bytes); });
      }).then(function (module) {
        return WebAssembly.instantiate(module, imports).then(function (instance) { receive(instance, module); });
      }).catch(function (e) { abort(e); });
      return {};
    };
  }
  // A browser that cannot run the program (no WebAssembly, a file that did not arrive) is told so.
  Module.onAbort = function () { pilaroFailed(); };

  return {
    takeLock: takeLock, openWindows: openWindows, loadArt: loadArt, readHiScore: readHiScore,
    writeHiScore: writeHiScore, startTimers: startTimers, startDelay: startDelay, ended: ended,
    pressKey: pressKey, releaseKey: releaseKey, downHeld: function () { return downHeld; },
    ticksHandled: function () { return ticksHandled; },
    copyRect: copyRect, fillWhite: fillWhite, drawText: drawText, showFrame: showFrame, startSound: startSound,
    messageBox: messageBox, showNameWindow: showNameWindow, hideNameWindow: hideNameWindow,
    nameFieldText: nameFieldText, httpPost: httpPost, decodeCp932: decodeCp932
  };
})();
