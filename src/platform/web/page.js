// page.js: the page's start-up and the events it hands the program: the lock asked for, the
// program compiled, its windows and art set up, then its timers, keys and activation, until it
// ends. Linked in front of the program (--pre-js) after lock.js; the page's other parts
// (storage.js, drawing.js, sound.js, boxes.js, picker.js, ranking.js, controls.js) follow it.
'use strict';

var Module = typeof Module != 'undefined' ? Module : {};

var pilaroPage = (function () {
  var over = false;         // the program has ended: nothing more is handed to it
  var timers = [];
  var canvas = null;        // the game window: the visible canvas
  var downHeld = false;     // the Down arrow's real state, whatever has the keys
  var active = true;        // the activation last told to the program, which starts active
  var ticksHandled = 0;     // ticks that reached the program; each is 33 ms of game time (bench/parts/web)

  // Hands an event to the program (one of its entry points, main.cpp), which handles it at once
  // and returns; the game itself decides what it ignores (ticks during a wipe or under a box).
  function deliver(entry) {
    if (over) return;
    Module[entry].apply(null, Array.prototype.slice.call(arguments, 1));
  }

  function fetchBytes(name) {
    return fetch(name).then(function (reply) {
      if (!reply.ok) throw new Error(name + ': ' + reply.status);
      return reply.arrayBuffer();
    });
  }

  // One program per browser (lock.js). It is asked for as soon as the page runs, while the program
  // is still being compiled.
  pilaroLock.take(function () {});

  // The page's keys and activation. keyCode is the desktop's virtual-key number for every key
  // the game knows (arrows 37-40, Shift 16, Escape 27, F1 112). The program decides what a key
  // does while a box is up or the ranking request is out.
  function receiverOf(target) {
    if (target === canvas) return '_pilaroGameKeyDown';
    if (target === pilaroBoxes.nameWindow()) return '_pilaroNameWindowKeyDown';
    return null;
  }

  var pageKeys = { 16: 1, 27: 1, 32: 1, 37: 1, 38: 1, 39: 1, 40: 1, 112: 1 };

  // The one place a key is handed to the program, by the entry point of the window that has it.
  function keyDown(code, receiver) {
    pilaroSound.resume();
    if (code) deliver(receiver, code);
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
  function gameTakesKeys() {
    var nameWindow = pilaroBoxes.nameWindow();
    return receiverOf(canvas) !== null && !(nameWindow && nameWindow.open);
  }

  function pressKey(code) {
    if (code === 40) downHeld = true;
    if (gameTakesKeys()) keyDown(code, '_pilaroGameKeyDown');
  }

  function releaseKey(code) {
    if (code === 40) downHeld = false;
    if (gameTakesKeys()) deliver('_pilaroKeyUp');
  }

  // The game runs while the canvas or the name window has the keys and the page has the focus.
  function checkActivation() {
    var focus = document.activeElement;
    var nameWindow = pilaroBoxes.nameWindow();
    var now = document.hasFocus() && (focus === canvas || (nameWindow !== null && focus === nameWindow) ||
                                       (nameWindow !== null && nameWindow.contains(focus) && !pilaroBoxes.anyOpen()));
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

  function openWindows(facts) {
    document.title = facts.gameTitle;
    canvas = document.getElementById('game');
    pilaroDrawing.start(canvas, facts.width, facts.height);
    pilaroBoxes.start(canvas, facts, function () { deliver('_pilaroNameConfirmed'); });
    pilaroControls.start(canvas, facts.width, facts.height);
    document.addEventListener('keydown', onKeyDown, true);
    document.addEventListener('keyup', onKeyUp, true);
    // Another tab stored something (a best score): the game compares against what is stored now.
    pilaroStorage.watch(function () { deliver('_pilaroHiScoreChanged'); });
    canvas.addEventListener('mousedown', function () { canvas.focus(); });
    watchActivation();
    canvas.focus();
    checkActivation();
  }

  // The sounds may come later; the art is in before the first frame. Art that did not arrive is
  // said in the page (index.html), and the game runs on.
  function loadArt(done) {
    pilaroSound.start();
    pilaroDrawing.loadArt(function (loaded) {
      if (!loaded) pilaroFailed();
      done();
    });
  }

  // The program's timer, its periods counted by the clock rather than by the timer's calls: a call
  // the browser holds back while the page is busy is made up for when it comes, so no tick is lost.
  // After a long stop (a hidden tab, a suspended laptop) the count starts afresh from then, so
  // the game does not race through what it missed.
  function startTimers(periodMs) {
    var due = performance.now() + periodMs;
    var tick = function () {
      var now = performance.now();
      if (now - due > 1000) due = now;
      for (; due <= now; due += periodMs) {
        ticksHandled += Module._pilaroTicksPerPeriod();
        deliver('_pilaroTimer');
      }
    };
    timers = [setInterval(tick, periodMs)];
  }

  function startDelay(ms) { setTimeout(function () { deliver('_pilaroDelayElapsed'); }, ms); }

  // The program is over: Escape, No at the continue question, or a second tab's refusal.
  function ended(afterGame) {
    over = true;
    timers.forEach(clearInterval);
    timers = [];
    pilaroLock.release();
    if (!afterGame) {
      // The refused tab says why in the page and may ask again once the other tab is gone.
      document.getElementById('game').hidden = true;
      document.getElementById('refused').hidden = false;
      return;
    }
    pilaroBoxes.hideNameWindow();
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
    deliver: deliver, fetchBytes: fetchBytes, takeLock: pilaroLock.take, openWindows: openWindows, loadArt: loadArt,
    startTimers: startTimers, startDelay: startDelay, ended: ended,
    pressKey: pressKey, releaseKey: releaseKey, downHeld: function () { return downHeld; },
    ticksHandled: function () { return ticksHandled; }
  };
})();
