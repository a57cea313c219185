# browserTest.py: the page in headless Chromium against the local lighttpd, one game end to end.
import base64, json, time, urllib.request

from pageSupport import *

d = browser("profile", configure=lambda o: o.set_capability("goog:loggingPrefs", {"performance": "ALL"}))
keys = lambda *names: ActionChains(d).send_keys(*names).perform()  # each pressed and let go in turn
def answer(title, button):  # the box titled `title` as box() gives it, once `button` in it is pressed
    got = waitBox(d, title); boxButton(d, button).click()
    return got

def test():
    # Another tab of the site stores a best score while this game runs. Fault: the game compared
    # against the best score it read when it began, and offered a lower one as a new best. Bad
    # contents are read as the desktop reads a bad file: " 9999abc" is 9999, so a first game of
    # hard drops is no new best; いいえ ends it, and the page offers to start again.
    d.get(base + "/play/")
    wait("the first frame", lambda: started(d))
    d.execute_script("var f = document.body.appendChild(document.createElement('iframe'));"  # another page of the site
                     "f.contentWindow.localStorage.setItem('hiScore.txt', ' 9999abc'); f.remove()")
    wait("the game's end", lambda: box(d) or keys(Keys.SHIFT), 60)  # hard drops until the well is full
    answer("ゲームオーバー", "いいえ")
    check("いいえ ends the game, and the page says so", wait("the end", lambda: d.find_element("id", "ended").is_displayed()))
    check("the bad best score is left as it was", d.execute_script("return localStorage.getItem('hiScore.txt')") == " 9999abc")
    d.execute_script("localStorage.removeItem('hiScore.txt')")
    d.find_element("id", "again").click()
    wait("the page to start again and draw", lambda: d.execute_script("return document.getElementById('ended').hidden") and started(d))
    check("backdrop colours at known pixels", pixels(d, [(5, 5), (30, 490), (40, 490), (30, 488), (263, 490), (300, 250)]) ==
          [[0, 0, 0], [215, 215, 215], [219, 219, 219], [219, 219, 219], [255, 255, 255], [0, 0, 0]])
    canvas = d.find_element("id", "game")
    check("no on-screen controls for a keyboard player", not d.find_element("id", "move").is_displayed())
    # Two ticks a 33 ms period, by the clock: half a second in which the page is too busy for its
    # timer loses none of them (the game takes them when the page is free again).
    d.execute_script("var t = performance.now(); window.pace = [pilaroPage.ticksHandled(), t];"
                     "while (performance.now() - t < 500) {}")
    ticks = lambda: d.execute_script("return [pilaroPage.ticksHandled() - pace[0], performance.now() - pace[1]]")
    made_up = wait(None, lambda: (t := ticks())[0] >= 2 * (500 // 33) and t, 5)
    check("two ticks a period, none lost while busy", made_up and made_up[0] <= 2 * (made_up[1] // 33 + 1), ticks())
    # Slide and turn; an O piece does not turn, so drop it and take the next.
    d.execute_script("window.kept = []; document.addEventListener('keydown', e => kept.push(e.defaultPrevented))")
    turningPiece(d, lambda: keys(Keys.SHIFT))
    slidesAndTurns(d, keys, Keys.LEFT, Keys.RIGHT, Keys.UP, "keys")
    keys(Keys.F1); answer("ポーズ中", "OK")
    check("the page's own use of the keys is stopped", all(d.execute_script("return kept")))

    # Hard drops until the well is full: a new best score, kept, then offered to the ranking.
    wait("the game's end", lambda: box(d) or keys(Keys.SHIFT), 60)
    score = int(answer("ハイスコア！", "OK")[1].split("：")[1])
    check("the new best score is kept", d.execute_script("return localStorage.getItem('hiScore.txt')") == str(score))
    offer = answer("ランキング登録", "はい")
    check("the offer", offer[1:] == ["あなたのスコア\n%d\nランキングに登録しますか？" % score, "はい", "いいえ"], offer)
    field = wait("the name field", lambda: d.find_elements("css selector", "dialog.name[open] .field"))[0]
    check("a keyboard player's name window has the keys, not its field",
          d.execute_script("return document.activeElement.matches('dialog.name')"))
    ok = d.find_element("css selector", "dialog.name .ok")
    ok.click(); check("empty name refused", answer("警告", "OK")[1] == "名前を入力してください")
    # Fault: the browser's own close took the name window away at a second Escape in its field.
    field.click(); field.send_keys(Keys.ESCAPE, Keys.ESCAPE, "ピラ太_&")
    check("Escape in the name field leaves the name window", d.execute_script("return document.querySelector('dialog.name').open"))
    # Fault: keys pressed while the request was out reached the next game (here Escape would end it).
    d.execute_script("var send = window.fetch; window.fetch = (url, options) => new Promise(go => window.reply = go)"
                     ".then(() => send(url, options))")
    ok.click(); keys(Keys.ESCAPE, Keys.SHIFT); d.execute_script("reply()")
    text = answer("登録完了", "OK")[1]
    check("keys pressed while the request was out are dropped", not d.find_element("id", "ended").is_displayed())
    check("the done box shows the reply", text.startswith("あなたは1位です") and text.endswith("11位以下はホームページにて"), text)
    sent = [p["request"] for p in (json.loads(e["message"])["message"]["params"] for e in d.get_log("performance"))
            if "whiteRanking.cgi" in p.get("request", {}).get("url", "")][-1]  # the last request the page made there
    body = b"".join(base64.b64decode(p["bytes"]) for p in sent.get("postDataEntries", []))
    check("the exact body", body == "ピラ太_&".encode("cp932") + b"_%d" % score, body)
    check("its Content-Type", sent["headers"].get("Content-Type") == "application/x-www-form-urlencoded", sent["headers"])
    # Fault: two Escapes at a Yes/No box closed it for good, and the game froze.
    waitBox(d, "ゲームオーバー"); keys(Keys.ESCAPE, Keys.ESCAPE)
    answer("ゲームオーバー", "はい")
    check("はい deals a new game", wait(None, lambda: len(cells(d)) <= 4, 3), cells(d))

    # A second tab is refused by the Web Lock (phoneTest follows a refused tab further); the first plays on.
    d.switch_to.new_window("tab"); d.get(base + "/play/")
    check("a second tab is refused", answer("起動できません", "OK")[1] == "既に起動しています")
    d.close(); d.switch_to.window(d.window_handles[0])

    canvas.click(); keys(Keys.ESCAPE)
    check("Escape ends the game", wait("the end", lambda: d.find_element("id", "ended").is_displayed()))
    page = urllib.request.urlopen(base + "/whiteRanking.cgi").read().decode("utf-8")
    check("the ranking page shows the name and links to the game", "ピラ太_&amp;" in page and 'href="/play/"' in page)
    wasm = urllib.request.Request(base + "/play/pilaro.wasm", headers={"Accept-Encoding": "gzip"})
    got = [urllib.request.urlopen(wasm).headers[h] for h in ("Content-Type", "Content-Encoding", "Cache-Control")]
    check("wasm served precompressed, typed and revalidated", got == ["application/wasm", "gzip", "no-cache"], got)

run(test)
