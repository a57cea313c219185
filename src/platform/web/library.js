// library.js: the functions of shell.h, linked into the program (--js-library). Each turns the
// program's pointers into JavaScript values and hands the work to the page (page.js); those that
// wait for the player, the network or the clock suspend the program meanwhile (Asyncify).
mergeInto(LibraryManager.library, {
  $cString__deps: ['malloc'],
  $cString: function (text) {
    var size = lengthBytesUTF8(text) + 1;
    var memory = _malloc(size);
    stringToUTF8(text, memory, size);
    return memory;
  },

  webTakeInstanceLock: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      pilaroPage.takeLock(function (taken) { wakeUp(taken ? 1 : 0); });
    });
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

  webLoadArt: function () {
    return Asyncify.handleSleep(function (wakeUp) { pilaroPage.loadArt(function () { wakeUp(0); }); });
  },

  webStartTimers: function (periodMs) { pilaroPage.startTimers(periodMs); },

  webEnded: function (afterGame) { pilaroPage.ended(afterGame !== 0); },

  webNextEvent: function () {
    return Asyncify.handleSleep(function (wakeUp) { pilaroPage.nextEvent(wakeUp); });
  },

  webPostClose: function () { pilaroPage.postClose(); },

  webDownKeyHeld: function () { return pilaroPage.downHeld() ? 1 : 0; },

  webCopyRect: function (to, x, y, width, height, from, fromX, fromY) {
    pilaroPage.copyRect(to, x, y, width, height, from, fromX, fromY);
  },

  webFillWhite: function (to, x, y, width, height) { pilaroPage.fillWhite(to, x, y, width, height); },

  webDrawText: function (to, x, y, text) { pilaroPage.drawText(to, x, y, UTF8ToString(text)); },

  webShowFrame: function () { pilaroPage.showFrame(); },

  webStartSound: function (index) { pilaroPage.startSound(index); },

  webMessageBox: function (text, title, firstButton, secondButton, ownedByNameWindow) {
    var shown = UTF8ToString(text);
    var caption = UTF8ToString(title);
    var buttons = [UTF8ToString(firstButton), UTF8ToString(secondButton)].filter(Boolean);
    return Asyncify.handleSleep(function (wakeUp) {
      pilaroPage.messageBox(shown, caption, buttons, ownedByNameWindow !== 0, function (yes) { wakeUp(yes ? 1 : 0); });
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
  webHttpPost: function (path, headerLine, body, bodyLength, replyLimit, length) {
    var url = UTF8ToString(path);
    var header = UTF8ToString(headerLine);
    var sent = HEAPU8.slice(body, body + bodyLength);
    return Asyncify.handleSleep(function (wakeUp) {
      pilaroPage.httpPost(url, header, sent, replyLimit, function (reply) {
        var memory = _malloc(reply.length + 1);
        HEAPU8.set(reply, memory);
        HEAP32[length >> 2] = reply.length;
        wakeUp(memory);
      });
    });
  },

  webDebugOutput: function (text) { console.warn(UTF8ToString(text)); }
});
