// page.js: the page's start-up and the program's requests of it: the program run with the page's
// functions that library.js calls (the shell below), which open its windows and load its art, run
// its timers and end it.
import * as core from './core.js';
import * as lock from './lock.js';
import * as storage from './storage.js';
import * as drawing from './drawing.js';
import * as sound from './sound.js';
import * as boxes from './boxes.js';
import * as ranking from './ranking.js';
import * as controls from './controls.js';
import * as keys from './keys.js';
import * as update from './update.js';
import * as app from './app.js';
import { showFailed, showRefused, showEnded } from './notices.js';

const canvas = document.getElementById('game');  // the game window
let ticksGiven = 0;  // ticks that reached the program; each is 33 ms of game time (bench/parts/web)

function openWindows(facts) {
  document.title = facts.gameTitle;
  drawing.start(canvas, facts.width, facts.height);
  boxes.start(canvas, facts, core.nameConfirmed);
  app.start();  // its controls take room that the picture is fitted around
  controls.start(canvas, facts.width, facts.height);
  // Another tab stored something (a best score): the game compares against what is stored now.
  storage.watch(core.hiScoreChanged);
  keys.start(canvas);
}

// The art is in before the first frame; the sounds come after it. Art that did not arrive is
// said in the page, and the game runs on.
function loadArt() {
  drawing.loadArt((loaded) => {
    if (!loaded) showFailed();
    core.artLoaded();
    sound.start();
  });
}

// The program's timer, its periods counted by the clock rather than by the timer's calls: a call
// the browser holds back while the page is busy is made up for when it comes, so no tick is lost.
// After a long stop (a hidden tab, a suspended laptop) the count starts afresh from then, so
// the game does not race through what it missed.
let period = 0;   // the program's timer period, once it asked for its timers
let timer = null;
let due = 0;

// The program says when the game takes ticks: not under a box or the name window, during a wipe,
// while the replay or the ranking request is out, nor while its window is inactive (another tab,
// another program, a hidden page). The clock stops then, and the page's thread sleeps until the
// next event; every event the program handles (a key, a box's answer, the wipe's delay, the reply,
// the activation) may let the game run again, and the clock restarts after it.
function runClock() {
  const runs = period > 0 && core.ticksRun();
  if (!runs && timer !== null) {
    clearInterval(timer);
    timer = null;
  } else if (runs && timer === null) {
    due = performance.now() + period;
    timer = setInterval(tick, period);
  }
}

function tick() {
  const now = performance.now();
  if (now - due > 1000) due = now;
  for (; due <= now && timer !== null; due += period) {
    ticksGiven += core.ticksPerPeriod();
    core.timer();
  }
}

function startTimers(periodMs) {
  period = periodMs;
  runClock();
}
core.watchEvents(runClock);

// The program is over: Escape, No at the continue question, or a second tab's refusal.
function ended(afterGame) {
  core.stop();
  clearInterval(timer);
  timer = null;
  period = 0;
  lock.release();
  update.programEnded();
  if (!afterGame) {
    canvas.hidden = true;
    showRefused();
    return;
  }
  boxes.hideNameWindow();
  showEnded();
}

export function ticksHandled() { return ticksGiven; }

core.start({
  takeInstanceLock: () => lock.take(core.lockDecided),
  openWindows: openWindows,
  nameSurfaces: drawing.nameSurfaces,
  loadArt: loadArt,
  startTimers: startTimers,
  ended: ended,
  startDelay: (ms) => setTimeout(core.delayElapsed, ms),
  downKeyHeld: keys.downKeyHeld,
  copyRect: drawing.copyRect,
  fillWhite: drawing.fillWhite,
  drawText: drawing.drawText,
  showFrame: drawing.showFrame,
  startSound: sound.play,
  messageBox: (text, title, labels, ownedByNameWindow) =>
    boxes.messageBox(text, title, labels, ownedByNameWindow, core.boxAnswer),
  showNameWindow: () => boxes.showNameWindow(controls.touched()),
  hideNameWindow: boxes.hideNameWindow,
  nameFieldText: boxes.nameFieldText,
  decodeCp932: ranking.decodeCp932,
  httpPost: (path, headerLine, body, replyLimit, timeLimitMs) =>
    ranking.post(path, headerLine, body, replyLimit, timeLimitMs, core.rankingReply),
  readStored: storage.read,
  writeStored: storage.write,
  // The seed the page's address gives (?seed=, for tests), or null.
  seedText: () => new URLSearchParams(location.search).get('seed')
});
