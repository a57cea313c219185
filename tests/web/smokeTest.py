# smokeTest.py ENGINE: the page's smoke test in a browser engine besides Chromium's: "firefox"
# (headless Firefox through npm's puppeteer-core, firefox.js) or "webkit" (WebKitGTK's MiniBrowser
# through Selenium and WebKitWebDriver, under Xvfb). One game is played with the keys to a new best
# score, which goes to the test's ranking with its recording; the replay is watched to its end; the
# ranking page shows the name on each period's board and finds it by name.
import base64, json, os, subprocess, sys

from pageSupport import *

engine = sys.argv[1]
name = engine[:2].upper() + "ピラ太"  # the ranking's names are ten bytes at most

class Firefox:  # firefox.js, a JSON request and its answer a line each
    keys = {"SHIFT": "Shift", "LEFT": "ArrowLeft", "RIGHT": "ArrowRight", "UP": "ArrowUp"}
    def __init__(self):
        pinned = "puppeteer-core@23.11.1"; where = os.path.join(os.environ["PILARO_TOOLS_DIR"], pinned)  # installed once
        if not os.path.isdir(os.path.join(where, "node_modules", "puppeteer-core")):
            subprocess.run(["npm", "i", "-E", pinned, "--prefix", where, "--no-audit", "--no-fund"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        home = os.path.join(data, "home"); os.makedirs(home)  # a throw-away profile
        self.node = subprocess.Popen(["node", os.path.join(os.path.dirname(__file__), "firefox.js")], text=True, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=dict(os.environ, HOME=home, NODE_PATH=os.path.join(where, "node_modules")))
        drivers.append(self); self.call(); self.seen = 0
    def call(self, *request):
        if request: self.node.stdin.write(json.dumps(request) + "\n"); self.node.stdin.flush()
        value, *error = json.loads(self.node.stdout.readline() or '[null, "firefox.js ended"]')
        if error: raise RuntimeError(error[0])
        return value
    def get(self, url): self.seen = len(self.call("errors")); self.call("goto", url)
    errors = lambda self: self.call("errors")[self.seen:]  # the page's, since it was got
    execute_script = lambda self, script, *args: self.call("js", script, args)
    def press(self, *keys):
        for k in keys: self.call("keyboard.press", self.keys[k])
    type = lambda self, text: self.call("keyboard.type", text)
    click = lambda self, xpath: self.call("click", "::-p-xpath(%s)" % xpath)
    def quit(self):
        try: self.node.communicate('["quit"]\n', timeout=10)
        except Exception: self.node.kill()

class WebKit(Driven):
    def __init__(self):
        from selenium.webdriver import WebKitGTK, WebKitGTKOptions
        self.x = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1280x24", "-nolisten", "tcp"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.d = None; drivers.append(self)
        os.environ["DISPLAY"] = ":" + self.x.stdout.readline().decode().strip()  # a display no other test has
        options = WebKitGTKOptions(); options.add_argument("--automation")
        options.binary_location = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
        self.d = WebKitGTK(options=options)
    def quit(self): self.d and self.d.quit(); self.x.terminate()

def smoke():
    try: d = {"firefox": Firefox, "webkit": WebKit}[engine]()
    except Exception as e: finish(); print("SKIP: %s cannot start here: %s" % (engine, str(e).splitlines()[0])); sys.exit(77)
    answer = lambda title, button: (waitBox(d, title), d.click("//dialog[@open and contains(@class, 'box')]//button[text()='%s']" % button))[0]
    shown = lambda id: d.execute_script("return !document.getElementById(arguments[0]).hidden", id)
    d.get(base + "/play/"); wait("the first frame", lambda: started(d))
    check("the game page loads", not shown("failed") and not d.errors(), d.errors())
    turningPiece(d, lambda: d.press("SHIFT"))
    slidesAndTurns(d, d.press, "LEFT", "RIGHT", "UP", engine)
    switch = lambda: (d.click("//button[@id='soundSwitch']"), d.execute_script("return soundSwitch.ariaPressed"))[1]
    check("the sound switch switches, off and on", [switch(), switch()] == ["false", "true"] and not d.errors(), d.errors())

    # Hard drops until the well is full: a new best score, offered to the ranking, sent under a name.
    wait("the game's end", lambda: box(d) or d.press("SHIFT"), 60)
    score = int(answer("ハイスコア！", "OK")[1].split("：")[1]); answer("ランキング登録", "はい"); frame = picture(d)
    d.click("//dialog[@open and contains(@class, 'name')]//*[contains(@class, 'field')]"); d.type(name)
    d.click("//dialog[@open and contains(@class, 'name')]//button[contains(@class, 'ok')]")
    check("the ranking takes the score", answer("登録完了", "OK")[1].startswith("あなたは1位です"))
    answer("ゲームオーバー", "いいえ")
    check("いいえ ends the game, without a page error", wait(None, lambda: shown("ended")) and not d.errors(), d.errors())
    # The game's recording, kept by the page and by the ranking, watched to the score it showed.
    recording = base64.b64decode(d.execute_script("return localStorage.getItem('lastGame.pilaroReplay')") or "")
    watchToEnd(d, recording, score, frame)
    boardsFind(d, name)

run(smoke)
