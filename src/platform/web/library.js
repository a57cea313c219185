// library.js: the functions of shell.h, linked into the program (--js-library). Each turns the
// program's pointers into JavaScript values and hands the work to the page's part for it (page.js
// and the files it names), and returns at once; what comes later (the lock, a box's answer, the
// reply) the page hands to the program's entry points (main.cpp).
mergeInto(LibraryManager.library, {
  $cString__deps: ['malloc'],
  $cString: function (text) {
    var size = lengthBytesUTF8(text) + 1;
    var memory = _malloc(size);
    stringToUTF8(text, memory, size);
    return memory;
  },

  webTakeInstanceLock: function () {
    pilaroPage.takeLock(function (taken) { pilaroPage.deliver('_pilaroLockDecided', taken ? 1 : 0); });
  },

  webOpenWindows: function (gameTitle, width, height, nameTitle, nameWidth, nameHeight, prompt, okText, fieldX, fieldY,
                            fieldWidth, fieldHeight, okX, okY, okWidth, okHeight, okId) {
    pilaroPage.openWindows({
      gameTitle: UTF8ToString(gameTitle), width: width, height: height,
      nameTitle: UTF8ToString(nameTitle), nameWidth: nameWidth, nameHeight: nameHeight,
      prompt: UTF8ToString(prompt), okText: UTF8ToString(okText),
      field: [fieldX, fieldY, fieldWidth, fieldHeight], ok: [okX, okY, okWidth, okHeight], okId: okId
    });
  },

  webNameSurfaces: function (backBuffer, gameWindow, backdrop, tiles) {
    pilaroDrawing.nameSurfaces({ backBuffer: backBuffer, gameWindow: gameWindow, backdrop: backdrop, tiles: tiles });
  },

  webLoadArt: function () { pilaroPage.loadArt(function () { pilaroPage.deliver('_pilaroArtLoaded'); }); },

  webStartTimers: function (periodMs) { pilaroPage.startTimers(periodMs); },

  webEnded: function (afterGame) { pilaroPage.ended(afterGame !== 0); },

  webStartDelay: function (ms) { pilaroPage.startDelay(ms); },

  webDownKeyHeld: function () { return pilaroPage.downHeld() ? 1 : 0; },

  webCopyRect: function (to, x, y, width, height, from, fromX, fromY) {
    pilaroDrawing.copyRect(to, x, y, width, height, from, fromX, fromY);
  },

  webFillWhite: function (to, x, y, width, height) { pilaroDrawing.fillWhite(to, x, y, width, height); },

  webDrawText: function (to, x, y, text) { pilaroDrawing.drawText(to, x, y, UTF8ToString(text)); },

  webShowFrame: function () { pilaroDrawing.showFrame(); },

  webStartSound: function (index) { pilaroSound.play(index); },

  webMessageBox: function (text, title, firstButton, secondButton, ownedByNameWindow) {
    var shown = UTF8ToString(text);
    var caption = UTF8ToString(title);
    var labels = [UTF8ToString(firstButton), UTF8ToString(secondButton)].filter(Boolean);
    pilaroBoxes.messageBox(shown, caption, labels, ownedByNameWindow !== 0, function (yes) {
      pilaroPage.deliver('_pilaroBoxAnswer', yes ? 1 : 0);
    });
  },

  webShowNameWindow: function () { pilaroBoxes.showNameWindow(); },

  webHideNameWindow: function () { pilaroBoxes.hideNameWindow(); },

  webNameFieldText__deps: ['$cString'],
  webNameFieldText: function () { return cString(pilaroBoxes.nameFieldText()); },

  webDecodeCp932__deps: ['$cString'],
  webDecodeCp932: function (bytes, length) {
    return cString(pilaroRanking.decodeCp932(HEAPU8.slice(bytes, bytes + length)));
  },

  webHttpPost__deps: ['malloc'],
  webHttpPost: function (path, headerLine, body, bodyLength, replyLimit, timeLimitMs) {
    var url = UTF8ToString(path);
    var header = UTF8ToString(headerLine);
    var sent = HEAPU8.slice(body, body + bodyLength);
    pilaroRanking.post(url, header, sent, replyLimit, timeLimitMs, function (reply) {
      var memory = _malloc(reply.length + 1);
      HEAPU8.set(reply, memory);
      pilaroPage.deliver('_pilaroRankingReply', memory, reply.length);
    });
  },

  webReadStored__deps: ['$cString'],
  webReadStored: function (name) {
    var text = pilaroStorage.read(UTF8ToString(name));
    return text === null ? 0 : cString(text);
  },

  webWriteStored: function (name, text) { return pilaroStorage.write(UTF8ToString(name), UTF8ToString(text)) ? 1 : 0; },

  webSeedText__deps: ['$cString'],
  webSeedText: function () {
    var seed = new URLSearchParams(location.search).get('seed');
    return seed === null ? 0 : cString(seed);
  },

  webDebugOutput: function (text) { console.warn(UTF8ToString(text)); }
});
