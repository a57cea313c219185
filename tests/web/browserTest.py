# browserTest.py: the page in headless Chromium against the local lighttpd, one game end to end.
import base64, json, os, shutil, socket, subprocess, sys, tempfile, time, urllib.request

try:
    from selenium import webdriver
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    print("SKIP: python3-selenium is not installed"); sys.exit(77)

script, playDir, rankingBin = os.environ["PILARO_RANKING_SCRIPT"], os.environ["PILARO_PLAY_DIR"], os.environ["PILARO_RANKING_BIN"]
data = tempfile.mkdtemp(prefix="pilaro-web-")
env = None
def server(command):
    return subprocess.run([script, command], env=env, stdout=subprocess.DEVNULL).returncode == 0
for attempt in range(3):  # a port taken between asking and binding fails the start: try again
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]
    env = dict(os.environ, PILARO_DATA_DIR=data, PILARO_RANKING_PORT=str(port), PILARO_RANKING_RATE="0",
               PILARO_RANKING_BIN=rankingBin, PILARO_PLAY_DIR=playDir)
    if server("start"): break
else:
    sys.exit("the ranking server did not start")
base = "http://127.0.0.1:%d" % port

options = webdriver.ChromeOptions()
for flag in ("--headless=new --no-sandbox --disable-gpu --disable-background-networking --disable-component-update "
             "--disable-sync --no-first-run --window-size=900,1200 --user-data-dir=" + os.path.join(data, "profile")).split():
    options.add_argument(flag)
options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
try:
    d = webdriver.Chrome(options=options)
except Exception as e:
    server("stop"); shutil.rmtree(data, ignore_errors=True)
    print("SKIP: chromium cannot start here: %s" % str(e).splitlines()[0]); sys.exit(77)
failures = []
def check(what, ok, detail=""):
    print(("ok    " if ok else "FAIL  ") + what + (": " + repr(detail) if detail and not ok else ""))
    if not ok: failures.append(what)
def wait(what, probe, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        value = probe()
        if value: return value
        time.sleep(0.05)
    raise AssertionError("waited in vain for " + what)
def until(probe, seconds=3):  # true once probe is, false if it never gets there
    end = time.time() + seconds
    while not probe() and time.time() < end: time.sleep(0.03)
    return probe()
def keys(*names):
    for k in names: ActionChains(d).key_down(k).key_up(k).perform()
def box():  # the open message box as (title, text, buttons), or None
    return d.execute_script("var b = document.querySelector('dialog.box[open]'); return b && [b.querySelector('.title')"
                            ".textContent, b.querySelector('.text').textContent, [...b.querySelectorAll('button')]"
                            ".map(x => x.textContent)]")
def answer(title, button):
    got = wait("the box " + title, box)
    check("box " + title, got[0] == title, got)
    d.find_element(By.XPATH, "//dialog[@open and contains(@class, 'box')]//button[text()='%s']" % button).click()
    return got
def pixels(points):  # RGB of the visible canvas at each (x, y)
    return d.execute_script("var c = document.getElementById('game').getContext('2d'); return arguments[0].map(p =>"
                            " [...c.getImageData(p[0], p[1], 1, 1).data.slice(0, 3)])", points)
def cells():  # the well's cells that do not show the light grey background at their centre
    grid = [(24 * c + 36, 24 * r + 36) for r in range(20) for c in range(10)]
    return {(i // 10, i % 10) for i, p in enumerate(pixels(grid)) if p != [215, 215, 215]}
def piece():  # the falling piece, above whatever settled at the bottom while looking for a turning one
    return {(r, c) for r, c in cells() if r < 12}

try:
    # Bad contents of the best score are read as the desktop reads a bad file: " 9999abc" is 9999, so
    # a first game of hard drops is no new best; いいえ ends it, and the page offers to start again.
    d.get(base + "/play/favicon.ico")
    d.execute_script("localStorage.setItem('hiScore.txt', ' 9999abc')")
    d.get(base + "/play/")
    while not box():
        keys(Keys.SHIFT); time.sleep(0.1)
    answer("ゲームオーバー", "いいえ")
    check("いいえ ends the game, and the page says so", wait("the end", lambda: d.find_element(By.ID, "ended").is_displayed()))
    check("the bad best score is left as it was", d.execute_script("return localStorage.getItem('hiScore.txt')") == " 9999abc")
    d.execute_script("localStorage.removeItem('hiScore.txt')")
    d.find_element(By.ID, "again").click()
    wait("the page to start again", lambda: d.execute_script("return document.getElementById('ended').hidden"))
    wait("the first frame", lambda: d.execute_script("return performance.getEntriesByName('pilaro-first-frame').length"))
    check("backdrop colours at known pixels", pixels([(5, 5), (30, 490), (40, 490), (30, 488), (263, 490), (300, 250)]) ==
          [[0, 0, 0], [215, 215, 215], [219, 219, 219], [219, 219, 219], [255, 255, 255], [0, 0, 0]])
    canvas = d.find_element(By.ID, "game")
    check("pixelated whole-number scale", canvas.value_of_css_property("image-rendering") == "pixelated" and
          canvas.size["width"] % 408 == 0 and canvas.size["height"] == canvas.size["width"] * 524 // 408, canvas.size)
    # Slide and turn; an O piece does not turn, so drop it and take the next.
    d.execute_script("window.kept = []; document.addEventListener('keydown', e => kept.push(e.defaultPrevented))")
    while len({c for r, c in wait("a falling piece", piece)}) == 2 and len({r for r, c in piece()}) == 2:
        keys(Keys.SHIFT); time.sleep(0.2)
    cols = lambda: {c for r, c in piece()}
    before = cols(); keys(Keys.LEFT)
    check("Left slides the piece", until(lambda: cols() == {c - 1 for c in before}), (before, cols()))
    before = cols(); keys(Keys.RIGHT, Keys.RIGHT)
    check("Right slides it back", until(lambda: cols() == {c + 2 for c in before}), (before, cols()))
    wait("the piece to fall clear of the top", lambda: min(piece())[0] >= 2)  # room to turn in
    shape = lambda: (lambda s: {(r - min(s)[0], c - min(c for r, c in s)) for r, c in s})(piece())
    before = shape(); keys(Keys.UP)
    check("Up turns the piece", until(lambda: shape() != before), (before, shape()))
    keys(Keys.F1); answer("ポーズ中", "OK")
    check("the page's own use of the keys is stopped", all(d.execute_script("return kept")))

    # Hard drops until the well is full: a new best score.
    while not box():
        keys(Keys.SHIFT); time.sleep(0.1)
    title, text, _ = answer("ハイスコア！", "OK")
    score = int(text.split("：")[1])
    check("the new best score is kept", d.execute_script("return localStorage.getItem('hiScore.txt')") == str(score))
    title, text, buttons = answer("ランキング登録", "はい")
    check("the offer", text == "あなたのスコア\n%d\nランキングに登録しますか？" % score and buttons == ["はい", "いいえ"], text)
    field = wait("the name field", lambda: d.find_elements(By.CSS_SELECTOR, "dialog.name[open] .field"))[0]
    ok = d.find_element(By.CSS_SELECTOR, "dialog.name .ok")
    check("the name window's size", d.find_element(By.CSS_SELECTOR, "dialog.name").size == {"width": 250, "height": 90})
    ok.click(); check("empty name refused", answer("警告", "OK")[1] == "名前を入力してください")
    field.click(); field.send_keys("名前名前名前")  # six double-byte characters: 12 bytes
    ok.click(); check("12 bytes refused", answer("警告", "OK")[1] == "文字数は10文字以下にしてネ")
    field.clear(); field.send_keys("ピラ太_&"); ok.click()
    title, text, _ = answer("登録完了", "OK")
    check("the done box shows the reply", text.startswith("あなたは1位です") and text.endswith("11位以下はホームページにて"), text)
    sent = [json.loads(e["message"])["message"]["params"] for e in d.get_log("performance")
            if "Network.requestWillBeSent" in e["message"] and "whiteRanking.cgi" in e["message"]]
    request = sent[-1]["request"] if sent else {}
    body = b"".join(base64.b64decode(p["bytes"]) for p in request.get("postDataEntries", []))
    check("the exact body", body == "ピラ太_&".encode("cp932") + b"_%d" % score, body)
    check("its Content-Type", request.get("headers", {}).get("Content-Type") == "application/x-www-form-urlencoded")
    answer("ゲームオーバー", "はい")
    check("はい deals a new game", until(lambda: len(cells()) <= 4), cells())

    # A second tab is refused and stays idle; the first plays on.
    first = d.current_window_handle
    d.switch_to.new_window("tab"); d.get(base + "/play/")
    check("a second tab is refused", answer("起動できません", "OK")[1] == "既に起動しています")
    time.sleep(0.3)
    check("and stays idle", not d.execute_script("return performance.getEntriesByName('pilaro-first-frame').length"))
    d.close(); d.switch_to.window(first)

    canvas.click(); keys(Keys.ESCAPE)
    check("Escape ends the game", wait("the end", lambda: d.find_element(By.ID, "ended").is_displayed()))
    page = urllib.request.urlopen(base + "/whiteRanking.cgi").read().decode("utf-8")
    check("the ranking page shows the name and links to the game", "ピラ太_&amp;" in page and 'href="/play/"' in page)
    served = urllib.request.urlopen(urllib.request.Request(base + "/play/pilaro.wasm", headers={"Accept-Encoding": "gzip"}))
    check("wasm served precompressed, typed and revalidated", (served.headers["Content-Type"], served.headers[
          "Content-Encoding"], served.headers["Cache-Control"]) == ("application/wasm", "gzip", "no-cache"), served.headers)
except Exception as e:
    failures.append(repr(e)); print("FAIL  " + repr(e) + str(e)[:600])
finally:
    d.quit(); server("stop"); shutil.rmtree(data, ignore_errors=True)
print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
sys.exit(1 if failures else 0)
