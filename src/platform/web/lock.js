// lock.js: one program per browser, as one per desktop. take(done) calls done(true) when this tab
// may play and done(false) when another tab already does; the first call starts the asking, later
// calls wait for the same answer.
const name = 'pilaro';
let answer = null;      // true or false once known
let asked = false;
const waiting = [];
let giveBack = function () {};  // ends this tab's hold

function decide(taken) {
  if (answer !== null) return;
  answer = taken;
  waiting.splice(0).forEach(function (done) { done(taken); });
}

// A Web Lock, held until the program ends or the page goes; the browser frees it with the tab.
function webLock() {
  navigator.locks.request(name, { ifAvailable: true }, function (lock) {
    decide(lock !== null);
    if (lock) return new Promise(function (resolve) { giveBack = resolve; });
  }).catch(function () { decide(true); });
}

// Without Web Locks (plain http under a real host name is not a secure context) the tabs ask each
// other on a BroadcastChannel. A tab that plays answers "held"; a tab that is still asking answers
// with its own ask, and of two tabs asking at once the one with the higher number gives way. A
// tab that is closed, or whose program ended, answers nothing, so its claim ends with it.
let channel = null;
const me = Math.random();
const askMs = 300;

function channelLock() {
  channel = new BroadcastChannel(name);
  channel.onmessage = function (e) {
    var message = e.data || {};
    if (message.ask === undefined) {
      if (message.held && answer === null) decide(false);
      return;
    }
    if (answer === true) channel.postMessage({ held: true });
    else if (answer === null) {
      if (message.ask < me) decide(false);
      else channel.postMessage({ ask: me });
    }
  };
  channel.postMessage({ ask: me });
  setTimeout(function () { decide(true); }, askMs);
  giveBack = function () {
    channel.close();
    channel = null;
  };
}

function start() {
  try {
    if (navigator.locks) webLock();
    else if (typeof BroadcastChannel == 'function') channelLock();
    else decide(true);  // nothing to ask with: run rather than refuse
  } catch (e) {
    decide(true);
  }
}

export function take(done) {
  if (answer !== null) {
    done(answer);
    return;
  }
  waiting.push(done);
  if (!asked) {
    asked = true;
    start();
  }
}

export function release() {
  if (answer) giveBack();
}
