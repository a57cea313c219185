# phoneTest.py: the page on a phone (Chromium's mobile emulation, 360x740, touch): it fits, it is
# played with the fingers alone and with a gamepad, it is installable and plays offline; then on
# plain http under a real host name (no Web Locks), where a second tab is still refused; and the
# page's own faults: failed loads, sound after Shift alone, blocked storage.
import base64, os, urllib.request

from pageSupport import *

phoneSize = {"width": 360, "height": 740, "pixelRatio": 3.0, "touch": True}
d = browser("phone", flags=(), configure=lambda o: o.add_experimental_option("mobileEmulation", {"deviceMetrics": phoneSize}))
# A gamepad with the standard mapping whose buttons the test presses, there before the game starts.
d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
    window.gamepad = {index: 0, mapping: 'standard', connected: true,
                      buttons: Array.from({length: 17}, () => ({pressed: false, value: 0}))};
    Object.defineProperty(navigator, 'getGamepads', {value: () => [window.gamepad]});"""})

def tap(element):  # a finger on the element's centre, and off again
    x, y = d.execute_script("var r = arguments[0].getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]",
                            element)
    d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [{"x": x, "y": y}]})
    d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})
touchKey = lambda key: tap(d.find_element("css selector", ".pad button[data-key='%d']" % key))
tapBox = lambda title, button: (waitBox(d, title), tap(boxButton(d, button)))[0]
def gamepadPress(button):  # held for a few of the page's frames, well short of a repeat
    d.execute_script("gamepad.buttons[arguments[0]].pressed = true", button); time.sleep(0.1)
    d.execute_script("gamepad.buttons[arguments[0]].pressed = false", button); time.sleep(0.1)
def toNameWindow(storedMeanwhile=None):  # hard drops by touch to a new best score, and yes to the ranking's offer
    wait("the game's end", lambda: box(d) or touchKey(16), 60)
    waitBox(d, "ハイスコア！")
    if storedMeanwhile: d.execute_script("localStorage.setItem('hiScore.txt', arguments[0])", storedMeanwhile)
    tapBox("ハイスコア！", "OK"); tapBox("ランキング登録", "はい")
    return wait("the name field", lambda: d.find_elements("css selector", "dialog.name[open] .field"))[0]

def layout(how):  # the picture and the controls inside the screen, side by side or one below the other
    got = d.execute_script("""var box = e => { var r = e.getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; };
        return [document.documentElement.scrollWidth, innerWidth, innerHeight, devicePixelRatio,
                ...[document.getElementById('game'), ...document.querySelectorAll('.pad')].map(box)]""")
    scroll, width, height, ratio, g, *pads = got
    check(how + ": no sideways scrolling, all on the screen", scroll <= width and all(
        r[0] >= 0 and r[1] >= 0 and r[2] <= width + 0.5 and r[3] <= height + 0.5 for r in [g] + pads), got)
    check(how + ": the controls beside or below the picture", all(p[1] >= g[3] or p[2] <= g[0] or p[0] >= g[2] for p in pads), got)
    check(how + ": a whole number of device pixels a pixel", round((g[2] - g[0]) * ratio) % 408 == 0, got)

def phone():
    d.get(base + "/play/")
    wait("the first frame", lambda: started(d))
    layout("portrait")
    for width, height, how in ((740, 360, "landscape"), (360, 740, "portrait again")):  # turned sideways, and back
        d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {"width": width, "height": height, "deviceScaleFactor": 3, "mobile": True})
        wait(None, lambda: d.execute_script("return innerWidth") == width, 3); layout(how)

    # The controls act as the keys do; the pause box is answered with a finger too.
    turningPiece(d, lambda: touchKey(16))
    slidesAndTurns(d, touchKey, 37, 39, 38, "touch")
    touchKey(112); tapBox("ポーズ中", "OK")
    check("touch: the pause box is answered", wait(None, lambda: not box(d), 3))
    # The gamepad: d-pad, A and B, Start; A answers a box.
    turningPiece(d, lambda: gamepadPress(1))
    slidesAndTurns(d, gamepadPress, 14, 15, 0, "gamepad")
    gamepadPress(9); waitBox(d, "ポーズ中"); gamepadPress(0)
    check("gamepad: Start pauses and A answers the box", wait(None, lambda: not box(d), 3))
    for _ in range(5): touchKey(16); time.sleep(0.3)  # a few pieces settled for the picture
    shot = d.execute_cdp_cmd("Page.captureScreenshot", {"format": "png", "clip": {"x": 0, "y": 0, "width": 360, "height": 740,
                                                                                "scale": 1 / phoneSize["pixelRatio"]}})
    with open(os.environ["PILARO_PHONE_SCREENSHOT"], "wb") as f: f.write(base64.b64decode(shot["data"]))

    # To the ranking with the fingers alone: the name field brings up the on-screen keyboard at once.
    # Fault: a tab wrote its best score over a higher one that another tab stored meanwhile.
    field = toNameWindow(storedMeanwhile="99999999")
    check("a higher best score stored meanwhile is never lowered", d.execute_script("return localStorage.getItem('hiScore.txt')") == "99999999")
    check("touch: the name field has the keys at once", d.execute_script("return document.activeElement.matches('.field')"))
    field.send_keys("タッチ")  # as the on-screen keyboard types
    tap(d.find_element("css selector", "dialog.name .ok"))
    tapBox("登録完了", "OK")
    waitBox(d, "ゲームオーバー"); gamepadPress(1)
    check("gamepad: B answers いいえ, which ends the game", wait(None, lambda: d.find_element("id", "ended").is_displayed(), 3))
    page = lambda: urllib.request.urlopen(base + "/whiteRanking.cgi").read().decode("utf-8")
    check("the name is on the ranking page", "タッチ" in page())

    check("installable: no errors", d.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"] == [])
    d.execute_async_script("navigator.serviceWorker.ready.then(arguments[0])")
    offline = lambda cut: d.execute_cdp_cmd("Network.emulateNetworkConditions", {"offline": cut, "latency": 0,
                                                                                "downloadThroughput": -1, "uploadThroughput": -1})
    d.execute_cdp_cmd("Network.enable", {}); offline(True)
    d.execute_script("localStorage.removeItem('hiScore.txt')"); d.refresh()
    wait("the first frame offline", lambda: started(d))
    top = lambda: min(piece(d), default=(0, 0))[0]
    first = wait("a falling piece", lambda: piece(d)) and top()
    check("offline: the game starts and runs", wait(None, lambda: top() > first, 5), (first, top()))
    # The ranking request fails at once, as a timed-out one does, and is not sent later.
    field = toNameWindow(); field.send_keys("オフ"); tap(d.find_element("css selector", "dialog.name .ok"))
    check("offline: the done box is empty", tapBox("登録完了", "OK")[1] == "")
    offline(False); time.sleep(1)
    check("offline: nothing sent once online again", "オフ" not in page())

def lan():
    # Plain http under a host name that is not local: no secure context, so no Web Locks. Every page
    # counts its warnings and its AudioContexts.
    e = browser("lan", flags=("--window-size=900,1200", "--host-resolver-rules=MAP pilaro.test 127.0.0.1",
                              "--autoplay-policy=document-user-activation-required"))
    blocked = e.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
        window.warnings = 0; var warn = console.warn; console.warn = function () { warnings++; warn.apply(console, arguments); };
        window.audios = []; var Audio = window.AudioContext;
        window.AudioContext = class extends Audio { constructor(o) { super(o); audios.push(this); } };
        Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('blocked', 'SecurityError'); }});"""})
    lanBase = "http://pilaro.test:%d/play/" % port
    e.get(lanBase)
    wait("the first frame", lambda: started(e))
    check("plain http: no Web Locks here", e.execute_script("return !isSecureContext && !navigator.locks"))
    # Fault: Shift is no user activation, and sound stayed off until an arrow key; now any touch,
    # click or key starts it. Fault: with storage blocked, every event logged a warning.
    keys = lambda *names: ActionChains(e).send_keys(*names).perform()
    wait("the game's end", lambda: box(e) or keys(Keys.SHIFT), 60)
    check("sound waits after Shift alone", e.execute_script("return audios[0].state") == "suspended")
    waitBox(e, "ハイスコア！"); boxButton(e, "OK").click()
    check("sound starts at the first click", wait(None, lambda: e.execute_script("return audios[0].state") == "running", 3))
    waitBox(e, "ランキング登録"); boxButton(e, "いいえ").click()
    waitBox(e, "ゲームオーバー"); boxButton(e, "はい").click()
    time.sleep(1)
    check("blocked storage: said once, not at every event", e.execute_script("return warnings") <= 2,
          e.execute_script("return warnings"))
    e.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", blocked)

    # Fault: the refused tab was a blank black box. It says so, and tries again on a button.
    first = e.current_window_handle; e.switch_to.new_window("tab"); e.get(lanBase)
    check("plain http: a second tab is refused", waitBox(e, "起動できません")[1] == "既に起動しています")
    boxButton(e, "OK").click(); again = wait("the refusal in the page", lambda: (r := e.find_element("id", "refused")).is_displayed() and r)
    check("and says so in the page", again.text.startswith("既に起動しています"))
    check("and stays idle", not started(e))
    second = e.current_window_handle; e.switch_to.window(first); e.close(); e.switch_to.window(second)
    again.find_element("tag name", "button").click()
    check("once the first tab is gone, trying again starts the game", wait(None, lambda: started(e)))

    # Fault: a script or the art that did not arrive left the page black or the game invisible.
    e.execute_cdp_cmd("Network.enable", {})
    for missing in ("pilaro.js", "tiles.bmp"):
        e.execute_cdp_cmd("Network.setBlockedURLs", {"urls": ["*/" + missing]}); e.refresh()
        failed = wait(None, lambda: (f := e.find_element("id", "failed")).is_displayed() and f)
        check("without %s the page says so, with a reload button" % missing,
              failed and failed.text.startswith("ゲームを読み込めませんでした") and failed.find_element("tag name", "button"))

run(lambda: (phone(), lan()))
