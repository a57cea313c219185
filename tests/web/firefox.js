// firefox.js: headless Firefox for smokeTest.py, through puppeteer-core over WebDriver BiDi. Each
// line it reads is a JSON request, [op, ...args]: the page's method op (or its keyboard's,
// "keyboard.press"), or one of its own below; each answer is a line, [value] or [null, error].
const puppeteer = require('puppeteer-core');

(async () => {
  const browser = await puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
                                           defaultViewport: { width: 900, height: 1200 } });
  // A tab of our own, in front: the first tab of a headless Firefox never has the focus, and the
  // game holds while its page has none.
  const page = await browser.newPage();
  await page.bringToFront();
  const errors = [];  // the pages' uncaught errors, from their first scripts on
  page.on('pageerror', (e) => errors.push(String(e.message || e)));
  const own = {
    // The test's script is a function body that reads `arguments`, as Selenium's are.
    js: (script, args) => page.evaluate('(function () {' + script + '}).apply(window, ' + JSON.stringify(args) + ')'),
    errors: async () => errors,
    quit: () => browser.close().then(() => process.exit(0)),
  };
  process.stdout.write('[null]\n');
  for await (const line of require('readline').createInterface({ input: process.stdin })) {
    const [op, ...args] = JSON.parse(line);
    const [on, name] = op.startsWith('keyboard.') ? [page.keyboard, op.slice(9)] : [page, op];
    const done = own[op] ? own[op](...args) : on[name](...args).then(() => null);  // what the page's own return is not sent
    process.stdout.write(JSON.stringify(await done.then((value) => [value], (e) => [null, String(e.message || e)])) + '\n');
  }
})();
