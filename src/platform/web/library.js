// library.js: the functions of shell.h, linked into the program (--js-library). Each turns the
// program's pointers into JavaScript values and hands the work to the page (page.js), and returns
// at once; what comes later (the lock, a box's answer, the reply) the page hands to the program's
// entry points (main.cpp).
mergeInto(LibraryManager.library, {
  $cString__deps: ['malloc'],
  $cString: function (text) {
    var size = lengthBytesUTF8(text) + 1;
    var memory = _malloc(size);
    stringToUTF8(text, memory, size);
    return memory;
  },

  webTakeInstanceLock: function () {
    pilaroPage.takeLock(function (taken) { Module._pilaroLockDecided(taken ? 1 : 0); });
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

  webLoadArt: function () { pilaroPage.loadArt(function () { Module._pilaroArtLoaded(); }); },

  webStartTimers: function (periodMs) { pilaroPage.startTimers(periodMs); },

  webEnded: function (afterGame) { pilaroPage.ended(afterGame !== 0); },

  webStartDelay: function (ms) { pilaroPage.startDelay(ms); },

  webDownKeyHeld: function () { return pilaroPage.downHeld() ? 1 : 0; },

  webCopyRect: function (to, x, y, width, height, from, fromX, fromY) {
    pilaroPage.copyRect(to, x, y, width, height, from, fromX, fromY);
  },

  webFillWhite: function (to, x, y, width, height) { pilaroPage.fillWhite(to, x, y, width, height); },

  webDrawText: function (to, x, y, text) { pilaroPage.drawText(to, x, y, UTF8ToString(text)); },

  webShowFrame: function () { pilaroPage.showFrame(); },

  webStartSound: function (index) { pilaroPage.startSound(index); },

  webMessageBox: function (text, title, yesNo, ownedByNameWindow) {
    var shown = UTF8ToString(text);
    var caption = UTF8ToString(title);
    pilaroPage.messageBox(shown, caption, yesNo !== 0, ownedByNameWindow !== 0, function (yes) {
      Module._pilaroBoxAnswer(yes ? 1 : 0);
    });
  },

  webShowNameWindow: function () { pilaroPage.showNameWindow(); },

  webHideNameWindow: function () { pilaroPage.hideNameWindow(); },

  webNameFieldText__deps: ['$cString'],
  webNameFieldText: function () { return cString(pilaroPage.nameFieldText()); },

  webDecodeCp932__deps: ['$cString'],
  webDecodeCp932: function (bytes, length) {
    return cString(pilaroPage.decodeCp932(HEAPU8.slice(bytes, bytes + length)));
  },

  webHttpPost__deps: ['malloc'],
  webHttpPost: function (path, headerLine, body, bodyLength, replyLimit) {
    var url = UTF8ToString(path);
    var header = UTF8ToString(headerLine);
    var sent = HEAPU8.slice(body, body + bodyLength);
    pilaroPage.httpPost(url, header, sent, replyLimit, function (reply) {
      var memory = _malloc(reply.length + 1);
      HEAPU8.set(reply, memory);
      Module._pilaroRankingReply(memory, reply.length);
    });
  },

  webReadHiScore__deps: ['$cString'],
  webReadHiScore: function () {
    var text = pilaroPage.readHiScore();
    return text === null ? 0 : cString(text);
  },

  webWriteHiScore: function (text) { return pilaroPage.writeHiScore(UTF8ToString(text)) ? 1 : 0; },

  webDebugOutput: function (text) { console.warn(UTF8ToString(text)); }
});
