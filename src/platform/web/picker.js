// picker.js: a name written with a gamepad alone: a grid of characters under the name window's
// controls, walked with the d-pad; A types the chosen one, B takes back the last, Start clicks OK.
// It comes up at the first gamepad button pressed while the name window is open, so keyboard,
// mouse and touch players never see it. controls.js hands it the gamepad's buttons; the name
// window itself is boxes.js's, which shows the grid below its controls.
import * as boxes from './boxes.js';

function toKatakana(text) {
  return text.replace(/[\u3041-\u3096]/g, function (c) { return String.fromCharCode(c.charCodeAt(0) + 0x60); });
}

// Each page is rows of ten columns at most, the characters a name is made of; every page ends
// with the same row of keys, each two columns wide. The voiced, half-voiced and small kana and
// the lower-case letters are not in the grid: the ゛゜小 key turns the last character into its
// next form, as a phone's kana keyboard does.
var hiragana = ['あいうえおなにぬねの', 'かきくけこはひふへほ', 'さしすせそまみむめも', 'たちつてとらりるれろ', 'やゆよわをんー'];
var pages = [hiragana, hiragana.map(toKatakana), ['0123456789', 'ABCDEFGHIJ', 'KLMNOPQRST', 'UVWXYZ']];
var keys = [{ label: 'かな', page: 0 }, { label: 'カナ', page: 1 }, { label: '英数', page: 2 },
            { label: '゛゜小', nextForm: true }, { label: '空白', text: ' ' }];
var kanaForms = ('あぁ いぃ うぅ えぇ おぉ かが きぎ くぐ けげ こご さざ しじ すず せぜ そぞ ただ ちぢ つっづ てで とど ' +
                 'はばぱ ひびぴ ふぶぷ へべぺ ほぼぽ やゃ ゆゅ よょ').split(' ');
var forms = kanaForms.concat(kanaForms.map(toKatakana), 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'.split('').map(function (c) {
  return c + c.toLowerCase();
}));
var gridRows = 6;  // the tallest page's: the window keeps one size whichever page is up

var picker = null;   // the grid and its hint, made at the first use
var grid = null;
var rows = [];       // the page's cells by row: each its element, column and what it does
var row = 0;         // where the cursor is: a row and a column, kept while passing a shorter row
var column = 0;

// What the picker types goes through the field as typing does: its width rule takes back what
// does not fit.
var write = boxes.typeName;

function showPage(number) {
  grid.textContent = '';
  var lines = pages[number].map(function (characters) {
    return characters.split('').map(function (c, i) { return { label: c, text: c, column: i, span: 1 }; });
  });
  lines.push(keys.map(function (key, i) {
    return { label: key.label, text: key.text, page: key.page, nextForm: key.nextForm, column: 2 * i, span: 2 };
  }));
  rows = lines.map(function (cells, line) {
    cells.forEach(function (cell) {
      cell.element = document.createElement('span');
      cell.element.textContent = cell.label;
      cell.element.style.gridColumn = cell.column + 1 + ' / span ' + cell.span;
      cell.element.style.gridRow = line === lines.length - 1 ? gridRows : line + 1;
      grid.appendChild(cell.element);
    });
    return cells;
  });
  row = rows.length - 1;  // the cursor stays on the key that turned the page
  choose(row, column);
}

// The cell under the cursor: the one covering its column, or the row's last one.
function chosen() {
  var cells = rows[row];
  for (var i = cells.length - 1; i > 0; i--) if (cells[i].column <= column) return cells[i];
  return cells[0];
}

function choose(toRow, toColumn) {
  chosen().element.classList.remove('chosen');
  row = (toRow + rows.length) % rows.length;
  column = toColumn;
  chosen().element.classList.add('chosen');
}

function step(by) {
  var cells = rows[row];
  var next = cells[(cells.indexOf(chosen()) + by + cells.length) % cells.length];
  choose(row, next.column);
}

function act(cell) {
  var name = Array.from(boxes.nameFieldText());
  if (cell.page !== undefined) return showPage(cell.page);
  if (cell.text) return write(name.join('') + cell.text);
  var last = name.pop();
  var form = forms.filter(function (candidates) { return last && candidates.indexOf(last) >= 0; })[0];
  if (form) write(name.join('') + form[(form.indexOf(last) + 1) % form.length]);
}

function makePicker() {
  picker = document.createElement('div');
  picker.className = 'picker';
  grid = document.createElement('div');
  grid.className = 'grid';
  var hint = document.createElement('div');
  hint.className = 'hint';
  hint.textContent = 'A 入力　B 1字消す　スタート 決定';
  picker.appendChild(grid);
  picker.appendChild(hint);
  showPage(0);
  choose(0, 0);
}

function show() {
  if (!picker) makePicker();
  boxes.showBelowNameControls(picker);
}

// Standard-mapping buttons: A, B, Start, and the d-pad's up, down, left and right.
var actions = {
  0: function () { act(chosen()); },
  1: function () {
    var name = Array.from(boxes.nameFieldText());
    name.pop();
    write(name.join(''));
  },
  9: boxes.confirmName,
  12: function () { choose(row - 1, column); },
  13: function () { choose(row + 1, column); },
  14: function () { step(-1); },
  15: function () { step(1); }
};

// A gamepad button pressed: true when the name window is open and so the picker takes it,
// whatever it is; the first one only brings the picker up.
export function take(button) {
  if (!boxes.nameWindowOpen()) return false;
  if (!picker || picker.hidden) show();
  else if (actions[button]) actions[button]();
  return true;
}
