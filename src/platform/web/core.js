// core.js: the program (pilaro.js and pilaro.wasm: main.cpp and the core) and every entry point the
// page calls in it, each named here once; the rest of the page calls these functions. Each hands
// its event to the program, which handles it at once and returns; the program itself decides what
// it ignores (ticks during a wipe or under a box, keys under a box or while the request is out).
// Once the program has ended, nothing more is handed.
import createPilaro from './pilaro.js';
import { program as compiled } from './files.js';
import { showFailed } from './notices.js';

let program = null;  // the program's module object, from start() on
let over = false;

function instantiateWasm(imports, receive) {
  compiled.then((module) => WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module)))
    .catch(showFailed);  // a browser that cannot run the program (no WebAssembly, a file that did not arrive)
  return {};
}

// Runs the program with shell, the page's functions that library.js calls (see there). Called
// once, by page.js, after every module has run; main() then asks for the lock.
export function start(shell) {
  program = { shell: shell, instantiateWasm: instantiateWasm, onAbort: showFailed };
  createPilaro(program).catch(() => {});  // an abort is said in the page by onAbort
}

const listeners = [];

// listener() runs after every event the program handled (page.js: whether its clock should run;
// app.js: whether the screen stays on, and a new best score).
export function watchEvents(listener) { listeners.push(listener); }

function call(entry, ...args) {
  if (over) return;
  program[entry](...args);
  listeners.forEach((listener) => listener());
}

// The program has ended (Escape, No at the continue question, or a second tab's refusal).
export function stop() { over = true; }

// Start-up: the lock's answer, then the art in.
export const lockDecided = (taken) => call('_pilaroLockDecided', taken ? 1 : 0);
export const artLoaded = () => call('_pilaroArtLoaded');
// The clock (one period of the program's timer, which is its ticksPerPeriod ticks), whether the
// game takes ticks now (playing, with a window active: page.js stops the clock otherwise), and the
// end of a delay the program asked for.
export const timer = () => call('_pilaroTimer');
export const ticksPerPeriod = () => program._pilaroTicksPerPeriod();
export const ticksRun = () => program._pilaroTicksRun() !== 0;
// Whether a game is being played (its ticks or its wipe run), and a new best score while its box is up (else 0).
export const gameRuns = () => program._pilaroGameRuns() !== 0;
export const newBestScore = () => program._pilaroNewBestScore() >>> 0;
export const delayElapsed = () => call('_pilaroDelayElapsed');
// Keys, by the window that has them; activation.
export const gameKeyDown = (code) => call('_pilaroGameKeyDown', code);
export const nameWindowKeyDown = (code) => call('_pilaroNameWindowKeyDown', code);
export const keyUp = () => call('_pilaroKeyUp');
export const activate = (active) => call('_pilaroActivate', active ? 1 : 0);
// The name window's OK button, a box's answer (true for its first button), the ranking's reply.
export const nameConfirmed = () => call('_pilaroNameConfirmed');
export const boxAnswer = (yes) => call('_pilaroBoxAnswer', yes ? 1 : 0);
// The reply's bytes go in memory taken with malloc, which the program frees.
export function rankingReply(bytes) {
  if (over) return;
  const memory = program._malloc(bytes.length + 1);
  program.HEAPU8.set(bytes, memory);
  call('_pilaroRankingReply', memory, bytes.length);
}
// Another tab changed what is stored (the best score).
export const hiScoreChanged = () => call('_pilaroHiScoreChanged');

// Watching a kept game (watch.js): the windows opened without the lock; the recording's bytes, in
// memory taken with malloc, which the program frees (false when they are no recording); the
// watcher's speed (1, 2 or 4), pause and restart; whether it has ended, and its score.
export const watchOpen = () => call('_pilaroWatchOpen');
export function watch(bytes) {
  const memory = program._malloc(bytes.length + 1);
  program.HEAPU8.set(bytes, memory);
  return program._pilaroWatch(memory, bytes.length) !== 0;
}
export const watchSpeed = (times) => call('_pilaroWatchSpeed', times);
export const watchPaused = (paused) => call('_pilaroWatchPaused', paused ? 1 : 0);
export const watchRestart = () => call('_pilaroWatchRestart');
export const watchEnded = () => program._pilaroWatchEnded() !== 0;
export const watchScore = () => program._pilaroWatchScore() >>> 0;
