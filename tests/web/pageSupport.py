# pageSupport.py: what the browser tests share: the local lighttpd with the page and the ranking,
# headless Chromium, reading the page's boxes and canvas, and the steps that every engine takes
# (a game watched, the ranking's boards).
import gzip, hashlib, os, re, shutil, socket, subprocess, sys, tempfile, time

try:
    from selenium.webdriver import ActionChains, Chrome, ChromeOptions, Keys
except ImportError:
    print("SKIP: python3-selenium is not installed"); sys.exit(77)

data = tempfile.mkdtemp(prefix="pilaro-web-")
play = os.path.join(data, "play")  # a copy of the built page, served; browserTest.py's update() makes new builds of it
shutil.copytree(os.environ["PILARO_PLAY_DIR"], play)
def server(command):  # CTest names the script, and the ranking program and page it serves, in the environment
    return subprocess.call([os.environ["PILARO_RANKING_SCRIPT"], command], env=env, stdout=subprocess.DEVNULL) == 0
for attempt in range(3):  # a port taken between asking and binding fails the start: try again
    with socket.socket() as s: s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]
    env = dict(os.environ, PILARO_DATA_DIR=data, PILARO_PLAY_DIR=play, PILARO_RANKING_PORT=str(port), PILARO_RANKING_RATE="0")
    if server("start"): break
else: sys.exit("the ranking server did not start")
base = "http://127.0.0.1:%d" % port

drivers = []
# A headless Chromium of its own profile, whose pages count their warnings and AudioContexts (sound
# needs a user activation, as in a browser of its own); the test is skipped when none can start here.
def browser(profile, flags=("--window-size=900,1200",), configure=lambda options: None):
    options = ChromeOptions()
    for flag in ("--headless=new --no-sandbox --disable-gpu --disable-background-networking --disable-component-update "
                 "--disable-sync --no-first-run --autoplay-policy=document-user-activation-required --user-data-dir="
                 + os.path.join(data, profile)).split() + list(flags):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    configure(options)
    try: drivers.append(Chrome(options=options))
    except Exception as e: finish(); print("SKIP: chromium cannot start here: %s" % str(e).splitlines()[0]); sys.exit(77)
    # ... and the page's policy violations (the served Content-Security-Policy must allow all it does).
    drivers[-1].execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """window.audios = []; window.warnings = 0;
        window.violations = []; document.addEventListener('securitypolicyviolation', e => violations.push(e.violatedDirective + ' ' + e.blockedURI));
        var Audio = window.AudioContext; window.AudioContext = class extends Audio { constructor(o) { super(o); audios.push(this); } };
        var warn = console.warn; console.warn = function () { warnings++; warn.apply(console, arguments); };"""})
    return drivers[-1]

failures = []
def check(what, ok, detail=""):
    print(("ok    " if ok else "FAIL  ") + what + (": " + repr(detail) if detail and not ok else ""))
    if not ok: failures.append(what)
def wait(what, probe, seconds=10):  # probe's first true value; without `what`, its last value once time is up
    end = time.time() + seconds
    while not (value := probe()) and time.time() < end: time.sleep(0.05)
    if what and not value: raise AssertionError("waited in vain for " + what)
    return value
def finish():
    [d.quit() for d in drivers]; server("stop"); shutil.rmtree(data, ignore_errors=True)
def run(test):  # runs test(), reports what failed, and ends the process with the tests' verdict
    try: test()
    except Exception as e: failures.append(repr(e)); print("FAIL  " + repr(e) + str(e)[:600])
    finally: finish()
    sys.exit(1 if failures else 0)

def box(d):  # the open message box as [title, text, buttons...], or None
    return d.execute_script("var b = document.querySelector('dialog.box[open]');"
                            "return b && [...b.querySelectorAll('.title, .text, button')].map(x => x.textContent)")
waitBox = lambda d, title: wait("the box " + title, lambda: (b := box(d)) and b[0] == title and b)
boxButton = lambda d, button: d.find_element("xpath", "//dialog[@open and contains(@class, 'box')]//button[text()='%s']" % button)
pageModule = "import(new URL('page.js', location.href)).";  # the page's start-up module, as the page has it
started = lambda d: d.execute_script("return performance.getEntriesByName('pilaro-first-frame').length > 0")  # a frame drawn
def pixels(d, points):  # RGB of the visible canvas at each (x, y)
    return d.execute_script("var c = document.getElementById('game').getContext('2d'); return arguments[0].map(p =>"
                            " [...c.getImageData(p[0], p[1], 1, 1).data.slice(0, 3)])", points)
def cells(d):  # the well's cells that do not show the light grey background at their centre
    grid = pixels(d, [(24 * c + 36, 24 * r + 36) for r in range(20) for c in range(10)])
    return {divmod(i, 10) for i, p in enumerate(grid) if p != [215, 215, 215]}
# The falling piece, above whatever settled at the bottom while looking for a turning one.
piece = lambda d: {(r, c) for r, c in cells(d) if r < 12}
shape = lambda d: (lambda s: {(r - min(s)[0], c - min(c for r, c in s)) for r, c in s})(piece(d))
# The well and the pieces to come as drawn (not the score panel's text, which another screen's scale
# may draw with other pixels), as a hash of their pixels.
picture = lambda d: d.execute_script("""var c = document.getElementById('game').getContext('2d'), h = 0;
    for (const [x, y, w, g] of [[0, 0, 288, 524], [288, 0, 120, 260]]) for (const v of c.getImageData(x, y, w, g).data) h = (h * 31 + v) | 0;
    return h""")
def toNameWindow(d, drop, answer, storedMeanwhile=None):  # drop() to a new best score, answer(title, button) yes to the offer
    wait("the game's end", lambda: box(d) or drop(), 60)
    if storedMeanwhile: waitBox(d, "ハイスコア！"); d.execute_script("localStorage.setItem('hiScore.txt', arguments[0])", storedMeanwhile)
    best = answer("ハイスコア！", "OK"); answer("ランキング登録", "はい")
    return best, wait("the name field", lambda: d.find_elements("css selector", "dialog.name[open] .field"))[0]  # the best box, the field
def turningPiece(d, drop):  # drops O pieces (which do not turn) until another falls clear of the top
    while len({c for r, c in wait("a falling piece", lambda: piece(d))}) == 2 and len({r for r, c in piece(d)}) == 2:
        drop(); time.sleep(0.2)
    wait("the piece to fall clear of the top", lambda: min(piece(d))[0] >= 2)  # room to turn in
def slidesAndTurns(d, press, left, right, turn, how):  # left, right (twice), turn, each through press(what)
    cols = lambda: {c for r, c in piece(d)}
    for what, pressed, by in (("left", [left], -1), ("right", [right] * 2, 2)):
        before = cols(); [press(p) for p in pressed]
        check(how + ": " + what + " slides the piece", wait(None, lambda: cols() == {c + by for c in before}, 3),
              (before, cols()))
    before = shape(d); press(turn)
    check(how + ": turn turns the piece", wait(None, lambda: shape(d) != before, 3), (before, shape(d)))

class Driven:  # a Selenium driver, with the steps that Firefox takes in smokeTest.py
    def __init__(self, d): self.d = d
    def __getattr__(self, name): return getattr(self.d, name)
    def get(self, url):  # and counts the page's errors from then on
        self.d.get(url); self.d.execute_script("window.thrown = []; addEventListener('error', e => thrown.push(e.message));"
                                               "addEventListener('unhandledrejection', e => thrown.push(String(e.reason)))")
    errors = lambda self: self.execute_script("return window.thrown || []")  # those of the page it got last
    press = lambda self, *keys: ActionChains(self.d).send_keys(*[getattr(Keys, k) for k in keys]).perform()
    type = lambda self, text: ActionChains(self.d).send_keys(text).perform()
    click = lambda self, xpath: self.d.find_element("xpath", xpath).click()
def follow(d, xpath):  # a link or a form's button, to the page it loads; the old page is marked to tell them apart
    d.execute_script("window.left = true"); d.click(xpath)
    def loaded():
        try: return d.execute_script("return !window.left && document.readyState == 'complete'")
        except Exception: return False  # the old page unloading under the script
    wait("the next page", loaded)
def watchToEnd(d, recording, score, frame):  # a game, as the ranking keeps it, watched at 4x to its end
    d.get(base + "/play/?watch=" + hashlib.sha256(recording).hexdigest()[:32]); wait("the watched game's first frame", lambda: started(d))
    d.click("//div[@id='watch']/button[text()='4x']")
    status = lambda: d.execute_script("return watchStatus.textContent")
    wait("the watched game's end", lambda: status().startswith("再生終了"), 60)
    check("the watched game ends on the score shown", status() == "再生終了　スコア %d" % score and not d.errors(), [status(), d.errors()])
    check("and on the same well and pieces", picture(d) == frame)
def boardsFind(d, name):  # the ranking page: each period's board holds the name, and the search finds it first
    d.get(base + os.environ["PILARO_RANKING_PATH"] + "?board=today")
    for period in ("今週", "全期間", "今日"):
        follow(d, "//nav[@class='boards']//a[text()='%s']" % period)
        board = d.execute_script("return [document.querySelector('[aria-current=page]').textContent, document.querySelector('table').textContent]")
        check("ranking page: the board of " + period + " holds the name", board[0] == period and name in board[1], board)
    d.click("//input[@id='name']"); d.type(name); follow(d, "//button[text()='探す']")
    found = d.execute_script("var f = document.querySelector('tr.found'); return f && f.textContent")
    check("ranking page: the search finds the name at the top", found and found.startswith("1" + name) and not d.errors(), found)

def newBuild(mark):  # the served page as a build that differs in one file (notices.js marks the page it runs in) and its worker
    for name, change in (("notices.js", lambda text: re.sub(r"\n(document.*\n)?$", "\ndocument.documentElement.dataset.build = '%s';\n" % mark, text)),
                         ("sw.js", lambda text: re.sub(r"var build = '\w+", "var build = '" + mark, text))):
        path = os.path.join(play, name)
        with open(path) as f: text = change(f.read())
        for to, data in ((path, text.encode()), (path + ".gz", gzip.compress(text.encode(), mtime=0))):
            with open(to + ".new", "wb") as f: f.write(data)
            os.replace(to + ".new", to)  # a new file, which the server cannot take for the old one
    time.sleep(1.5)  # lighttpd trusts what it learnt of a file for a second
def cached(d):  # every file the page's caches hold, {cache: {name: sha256}}
    return d.execute_async_script("""var done = arguments[0], hex = b => [...new Uint8Array(b)].map(x => x.toString(16).padStart(2, '0')).join('');
        caches.keys().then(names => Promise.all(names.map(n => caches.open(n).then(c => c.keys().then(rs => Promise.all(rs.map(r =>
        c.match(r).then(x => x.arrayBuffer()).then(b => crypto.subtle.digest('SHA-256', b)).then(h => [r.url.split('/play/')[1] || 'index.html', hex(h)])))
        .then(files => [n, Object.fromEntries(files)])))))).then(all => done(Object.fromEntries(all)))""")
served = lambda names: {n: hashlib.sha256(open(os.path.join(play, n), "rb").read()).hexdigest() for n in names}
