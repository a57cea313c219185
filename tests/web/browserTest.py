# browserTest.py: the page in headless Chromium against the local lighttpd, one game end to end.
import base64, json, os, shutil, socket, subprocess, sys, tempfile, time, urllib.request

try:
    from selenium.webdriver import ActionChains, Chrome, ChromeOptions, Keys
except ImportError:
    print("SKIP: python3-selenium is not installed"); sys.exit(77)

data = tempfile.mkdtemp(prefix="pilaro-web-")
def server(command):  # CTest names the script, and the ranking program and page it serves, in the environment
    return subprocess.call([os.environ["PILARO_RANKING_SCRIPT"], command], env=env, stdout=subprocess.DEVNULL) == 0
for attempt in range(3):  # a port taken between asking and binding fails the start: try again
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]
    env = dict(os.environ, PILARO_DATA_DIR=data, PILARO_RANKING_PORT=str(port), PILARO_RANKING_RATE="0")
    if server("start"): break
else:
    sys.exit("the ranking server did not start")
base = "http://127.0.0.1:%d" % port

options = ChromeOptions()
for flag in ("--headless=new --no-sandbox --disable-gpu --disable-background-networking --disable-component-update "
             "--disable-sync --no-first-run --window-size=900,1200 --user-data-dir=" + os.path.join(data, "profile")).split():
    options.add_argument(flag)
options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
try:
    d = Chrome(options=options)
except Exception as e:
    server("stop"); shutil.rmtree(data, ignore_errors=True)
    print("SKIP: chromium cannot start here: %s" % str(e).splitlines()[0]); sys.exit(77)
failures = []
def check(what, ok, detail=""):
    print(("ok    " if ok else "FAIL  ") + what + (": " + repr(detail) if detail and not ok else ""))
    if not ok: failures.append(what)
def wait(what, probe, seconds=10):  # probe's first true value; without `what`, its last value once time is up
    end = time.time() + seconds
    while not (value := probe()) and time.time() < end: time.sleep(0.05)
    if what and not value: raise AssertionError("waited in vain for " + what)
    return value
keys = lambda *names: ActionChains(d).send_keys(*names).perform()  # each pressed and let go in turn
def box():  # the open message box as [title, text, buttons...], or None
    return d.execute_script("var b = document.querySelector('dialog.box[open]');"
                            "return b && [...b.querySelectorAll('.title, .text, button')].map(x => x.textContent)")
def answer(title, button):  # the box titled `title` as box() gives it, once `button` in it is pressed
    got = wait("the box " + title, lambda: (b := box()) and b[0] == title and b)
    d.find_element("xpath", "//dialog[@open and contains(@class, 'box')]//button[text()='%s']" % button).click()
    return got
def pixels(points):  # RGB of the visible canvas at each (x, y)
    return d.execute_script("var c = document.getElementById('game').getContext('2d'); return arguments[0].map(p =>"
                            " [...c.getImageData(p[0], p[1], 1, 1).data.slice(0, 3)])", points)
def cells():  # the well's cells that do not show the light grey background at their centre
    grid = pixels([(24 * c + 36, 24 * r + 36) for r in range(20) for c in range(10)])
    return {divmod(i, 10) for i, p in enumerate(grid) if p != [215, 215, 215]}
# The falling piece, above whatever settled at the bottom while looking for a turning one.
piece = lambda: {(r, c) for r, c in cells() if r < 12}

try:
    # Bad contents of the best score are read as the desktop reads a bad file: " 9999abc" is 9999, so
    # a first game of hard drops is no new best; いいえ ends it, and the page offers to start again.
    d.get(base + "/play/favicon.ico")
    d.execute_script("localStorage.setItem('hiScore.txt', ' 9999abc')")
    d.get(base + "/play/")
    wait("the game's end", lambda: box() or keys(Keys.SHIFT), 60)  # hard drops until the well is full
    answer("ゲームオーバー", "いいえ")
    check("いいえ ends the game, and the page says so", wait("the end", lambda: d.find_element("id", "ended").is_displayed()))
    check("the bad best score is left as it was", d.execute_script("return localStorage.getItem('hiScore.txt')") == " 9999abc")
    d.execute_script("localStorage.removeItem('hiScore.txt')")
    d.find_element("id", "again").click()
    wait("the page to start again and draw", lambda: d.execute_script(
        "return document.getElementById('ended').hidden && performance.getEntriesByName('pilaro-first-frame').length"))
    check("backdrop colours at known pixels", pixels([(5, 5), (30, 490), (40, 490), (30, 488), (263, 490), (300, 250)]) ==
          [[0, 0, 0], [215, 215, 215], [219, 219, 219], [219, 219, 219], [255, 255, 255], [0, 0, 0]])
    canvas = d.find_element("id", "game")
    check("pixelated whole-number scale", canvas.value_of_css_property("image-rendering") == "pixelated" and
          canvas.size["width"] % 408 == 0 and canvas.size["height"] == canvas.size["width"] * 524 // 408, canvas.size)
    # Two ticks a 33 ms period, by the clock: half a second in which the page is too busy for its
    # timer loses none of them (the game takes them when the page is free again).
    d.execute_script("var t = performance.now(); window.pace = [pilaroPage.ticksHandled(), t];"
                     "while (performance.now() - t < 500) {}")
    ticks = lambda: d.execute_script("return [pilaroPage.ticksHandled() - pace[0], performance.now() - pace[1]]")
    made_up = wait(None, lambda: (t := ticks())[0] >= 2 * (500 // 33) and t, 5)
    check("two ticks a period, none lost while busy", made_up and made_up[0] <= 2 * (made_up[1] // 33 + 1), ticks())
    # Slide and turn; an O piece does not turn, so drop it and take the next.
    d.execute_script("window.kept = []; document.addEventListener('keydown', e => kept.push(e.defaultPrevented))")
    while len({c for r, c in wait("a falling piece", piece)}) == 2 and len({r for r, c in piece()}) == 2:
        keys(Keys.SHIFT); time.sleep(0.2)
    cols = lambda: {c for r, c in piece()}
    for what, pressed, by in (("Left slides the piece", [Keys.LEFT], -1), ("Right slides it back", [Keys.RIGHT] * 2, 2)):
        before = cols(); keys(*pressed)
        check(what, wait(None, lambda: cols() == {c + by for c in before}, 3), (before, cols()))
    wait("the piece to fall clear of the top", lambda: min(piece())[0] >= 2)  # room to turn in
    shape = lambda: (lambda s: {(r - min(s)[0], c - min(c for r, c in s)) for r, c in s})(piece())
    before = shape(); keys(Keys.UP)
    check("Up turns the piece", wait(None, lambda: shape() != before, 3), (before, shape()))
    keys(Keys.F1); answer("ポーズ中", "OK")
    check("the page's own use of the keys is stopped", all(d.execute_script("return kept")))

    # Hard drops until the well is full: a new best score, kept, then offered to the ranking.
    wait("the game's end", lambda: box() or keys(Keys.SHIFT), 60)
    score = int(answer("ハイスコア！", "OK")[1].split("：")[1])
    check("the new best score is kept", d.execute_script("return localStorage.getItem('hiScore.txt')") == str(score))
    offer = answer("ランキング登録", "はい")
    check("the offer", offer[1:] == ["あなたのスコア\n%d\nランキングに登録しますか？" % score, "はい", "いいえ"], offer)
    field = wait("the name field", lambda: d.find_elements("css selector", "dialog.name[open] .field"))[0]
    ok = d.find_element("css selector", "dialog.name .ok")
    ok.click(); check("empty name refused", answer("警告", "OK")[1] == "名前を入力してください")
    field.click(); field.send_keys("ピラ太_&"); ok.click()
    text = answer("登録完了", "OK")[1]
    check("the done box shows the reply", text.startswith("あなたは1位です") and text.endswith("11位以下はホームページにて"), text)
    sent = [p["request"] for p in (json.loads(e["message"])["message"]["params"] for e in d.get_log("performance"))
            if "whiteRanking.cgi" in p.get("request", {}).get("url", "")][-1]  # the last request the page made there
    body = b"".join(base64.b64decode(p["bytes"]) for p in sent.get("postDataEntries", []))
    check("the exact body", body == "ピラ太_&".encode("cp932") + b"_%d" % score, body)
    check("its Content-Type", sent["headers"].get("Content-Type") == "application/x-www-form-urlencoded", sent["headers"])
    answer("ゲームオーバー", "はい")
    check("はい deals a new game", wait(None, lambda: len(cells()) <= 4, 3), cells())

    # A second tab is refused and stays idle; the first plays on.
    d.switch_to.new_window("tab"); d.get(base + "/play/")
    check("a second tab is refused", answer("起動できません", "OK")[1] == "既に起動しています")
    time.sleep(0.3)
    check("and stays idle", not d.execute_script("return performance.getEntriesByName('pilaro-first-frame').length"))
    d.close(); d.switch_to.window(d.window_handles[0])

    canvas.click(); keys(Keys.ESCAPE)
    check("Escape ends the game", wait("the end", lambda: d.find_element("id", "ended").is_displayed()))
    page = urllib.request.urlopen(base + "/whiteRanking.cgi").read().decode("utf-8")
    check("the ranking page shows the name and links to the game", "ピラ太_&amp;" in page and 'href="/play/"' in page)
    wasm = urllib.request.Request(base + "/play/pilaro.wasm", headers={"Accept-Encoding": "gzip"})
    got = [urllib.request.urlopen(wasm).headers[h] for h in ("Content-Type", "Content-Encoding", "Cache-Control")]
    check("wasm served precompressed, typed and revalidated", got == ["application/wasm", "gzip", "no-cache"], got)
except Exception as e:
    failures.append(repr(e)); print("FAIL  " + repr(e) + str(e)[:600])
finally:
    d.quit(); server("stop"); shutil.rmtree(data, ignore_errors=True)
sys.exit(1 if failures else 0)
