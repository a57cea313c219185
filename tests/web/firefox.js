// firefox.js: headless Firefox for smokeTest.py, through puppeteer-core over WebDriver BiDi. It
// takes one request a line on its standard input, as JSON ({op, ...}), and answers each with one
// line ({value} or {error}).
const puppeteer = require('puppeteer-core');
const readline = require('readline');

(async () => {
  const browser = await puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
                                           defaultViewport: { width: 900, height: 1200 } });
  // A tab of our own, in front: the first tab of a headless Firefox never has the focus, and the
  // game holds while its page has none.
  const page = await browser.newPage();
  await page.bringToFront();
  const errors = [];  // the page's, from its first script on
  page.on('pageerror', (e) => errors.push(String(e.message || e)));
  const ops = {
    goto: (r) => { errors.length = 0; return page.goto(r.url).then(() => null); },
    // The test's script is a function body that reads `arguments`, as Selenium's are.
    js: (r) => page.evaluate('(function () {' + r.script + '}).apply(window, ' + JSON.stringify(r.args) + ')'),
    press: async (r) => { for (const key of r.keys) await page.keyboard.press(key); },
    type: (r) => page.keyboard.type(r.text),
    click: (r) => page.click('::-p-xpath(' + r.xpath + ')'),
    follow: (r) => Promise.all([page.waitForNavigation(), ops.click(r)]).then(() => null),
    errors: async () => errors,
    quit: () => browser.close().then(() => process.exit(0)),
  };
  process.stdout.write('{"value": "ready"}\n');
  for await (const line of readline.createInterface({ input: process.stdin })) {
    const request = JSON.parse(line);
    let answer;
    try { answer = { value: await ops[request.op](request) }; } catch (e) { answer = { error: String(e.message || e) }; }
    process.stdout.write(JSON.stringify(answer) + '\n');
  }
})().catch((e) => { process.stdout.write(JSON.stringify({ error: String(e.message || e) }) + '\n'); process.exit(1); });
