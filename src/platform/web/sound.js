// sound.js: the game's sound effects through Web Audio, one at a time as on the desktop. Linked in
// front of the program (--pre-js) after page.js.
'use strict';

var pilaroSound = (function () {
  var audio = null;
  var sounds = [];     // decoded, by sound id
  var playing = null;  // the effect that sounds now

  // Asked for as soon as the page runs; an effect not yet decoded when it is due is not heard. The
  // build fills in the files in the order of the core's sound ids (cmake/resourceFiles.cmake).
  var soundBytes = '@PILARO_SOUND_FILES@'.split(';').map(pilaroPage.fetchBytes);
  soundBytes.forEach(function (bytes) { bytes.catch(function () {}); });

  // Browsers let a page make sounds only after the player has done something, and a key such as
  // Shift alone does not count: every key, touch and click tries again until one does.
  function resume() {
    if (audio && audio.state === 'suspended') audio.resume().catch(function () {});
  }
  ['keydown', 'mousedown', 'pointerup', 'touchend', 'click'].forEach(function (type) {
    window.addEventListener(type, resume, true);
  });

  return {
    start: function () {
      var AudioContextClass = window.AudioContext || window.webkitAudioContext;
      if (!AudioContextClass) return;
      audio = new AudioContextClass();
      soundBytes.forEach(function (bytes, id) {
        bytes.then(function (b) { return audio.decodeAudioData(b); })
          .then(function (buffer) { sounds[id] = buffer; })
          .catch(function (e) { console.warn('Pilaro: ' + e); });
      });
    },

    resume: resume,

    play: function (id) {
      if (!audio || !sounds[id]) return;
      if (playing) {
        try { playing.stop(); } catch (e) { /* already over */ }
      }
      playing = audio.createBufferSource();
      playing.buffer = sounds[id];
      playing.connect(audio.destination);
      playing.start();
    }
  };
})();
