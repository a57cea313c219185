// library.js: the functions of shell.h, linked into the program (--js-library). Each turns the
// program's pointers into JavaScript values and hands the work to the page, and returns at once;
// what comes later (the lock, a box's answer, the reply) the page hands to the program's entry
// points (main.cpp) through core.js.
//
// The bridge: pilaro.js is a module whose one export makes the program, and these functions are
// compiled inside it, where the page's modules are not in scope. core.js makes the program with
// Module.shell, the page's functions for these (page.js), and makes it only once every module of
// the page has run, so the first call from C++ (main's lock) never finds a part missing.
mergeInto(LibraryManager.library, {
  $cString__deps: ['malloc'],
  $cString: function (text) {
    var size = lengthBytesUTF8(text) + 1;
    var memory = _malloc(size);
    stringToUTF8(text, memory, size);
    return memory;
  },

  webTakeInstanceLock: function () { Module['shell'].takeInstanceLock(); },

  webOpenWindows: function (gameTitle, width, height, nameTitle, nameWidth, nameHeight, prompt, okText, fieldX, fieldY,
                            fieldWidth, fieldHeight, okX, okY, okWidth, okHeight, okId) {
    Module['shell'].openWindows({
      gameTitle: UTF8ToString(gameTitle), width: width, height: height,
      nameTitle: UTF8ToString(nameTitle), nameWidth: nameWidth, nameHeight: nameHeight,
      prompt: UTF8ToString(prompt), okText: UTF8ToString(okText),
      field: [fieldX, fieldY, fieldWidth, fieldHeight], ok: [okX, okY, okWidth, okHeight], okId: okId
    });
  },

  webNameSurfaces: function (backBuffer, gameWindow, backdrop, tiles) {
    Module['shell'].nameSurfaces({ backBuffer: backBuffer, gameWindow: gameWindow, backdrop: backdrop, tiles: tiles });
  },

  webLoadArt: function () { Module['shell'].loadArt(); },

  webStartTimers: function (periodMs) { Module['shell'].startTimers(periodMs); },

  webEnded: function (afterGame) { Module['shell'].ended(afterGame !== 0); },

  webStartDelay: function (ms) { Module['shell'].startDelay(ms); },

  webDownKeyHeld: function () { return Module['shell'].downKeyHeld() ? 1 : 0; },

  webCopyRect: function (to, x, y, width, height, from, fromX, fromY) {
    Module['shell'].copyRect(to, x, y, width, height, from, fromX, fromY);
  },

  webFillWhite: function (to, x, y, width, height) { Module['shell'].fillWhite(to, x, y, width, height); },

  webDrawText: function (to, x, y, text) { Module['shell'].drawText(to, x, y, UTF8ToString(text)); },

  webShowFrame: function () { Module['shell'].showFrame(); },

  webStartSound: function (index) { Module['shell'].startSound(index); },

  webMessageBox: function (text, title, firstButton, secondButton, ownedByNameWindow) {
    var labels = [UTF8ToString(firstButton), UTF8ToString(secondButton)].filter(Boolean);
    Module['shell'].messageBox(UTF8ToString(text), UTF8ToString(title), labels, ownedByNameWindow !== 0);
  },

  webShowNameWindow: function () { Module['shell'].showNameWindow(); },

  webHideNameWindow: function () { Module['shell'].hideNameWindow(); },

  webNameFieldText__deps: ['$cString'],
  webNameFieldText: function () { return cString(Module['shell'].nameFieldText()); },

  webDecodeCp932__deps: ['$cString'],
  webDecodeCp932: function (bytes, length) {
    return cString(Module['shell'].decodeCp932(HEAPU8.slice(bytes, bytes + length)));
  },

  webHttpPost: function (path, headerLine, body, bodyLength, replyLimit, timeLimitMs) {
    Module['shell'].httpPost(UTF8ToString(path), UTF8ToString(headerLine), HEAPU8.slice(body, body + bodyLength), replyLimit,
                             timeLimitMs);
  },

  webReadStored__deps: ['$cString'],
  webReadStored: function (name) {
    var text = Module['shell'].readStored(UTF8ToString(name));
    return text === null ? 0 : cString(text);
  },

  webWriteStored: function (name, text) {
    return Module['shell'].writeStored(UTF8ToString(name), UTF8ToString(text)) ? 1 : 0;
  },

  webSeedText__deps: ['$cString'],
  webSeedText: function () {
    var seed = Module['shell'].seedText();
    return seed === null ? 0 : cString(seed);
  },

  webDebugOutput: function (text) { console.warn(UTF8ToString(text)); }
});
