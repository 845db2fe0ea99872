#!/usr/bin/env python3
"""playtun in a terminal: sessions under tmux of given sizes and terminal types.

    terminal_tmux.py PLAYTUN MAKE_SONG

Each session runs playtun from a small shell that notes `stty -g` before and
after and the exit status. playtun writes the text of every screen it
presents to PLAYTUN_TERMINAL_DUMP; the pane that tmux captures must show
exactly that. Ends with 77 (skipped) when tmux is missing.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

if len(sys.argv) != 3:
    sys.exit(__doc__)
PLAYTUN, MAKE_SONG = (os.path.abspath(a) for a in sys.argv[1:])
if shutil.which("tmux") is None:
    print("tmux is not installed: skipped")
    sys.exit(77)

WORK = tempfile.mkdtemp(prefix="playtun-tmux-")
SOCKET = os.path.join(WORK, "tmux.socket")
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
ENV.pop("TMUX", None)
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what, flush=True)


def tmux(*arguments):
    return subprocess.run(["tmux", "-S", SOCKET, "-f", "/dev/null", *arguments], env=ENV, check=True,
                          capture_output=True, text=True).stdout


def wait_for(condition, seconds=5.0):
    end = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        time.sleep(0.05)


def make_song(path, seconds):
    subprocess.run([MAKE_SONG, path, str(seconds)], check=True)


class Session:
    """playtun ARGUMENTS in a detached tmux session of COLUMNS x LINES."""
    count = 0

    def __init__(self, arguments, columns=100, lines=56, term="xterm-256color", lang="C.UTF-8", audio="disk",
                 folder=None, paced=True, display=None):
        Session.count += 1
        self.name = "s%d" % Session.count
        self.dir = folder or os.path.join(WORK, self.name)
        os.makedirs(self.dir, exist_ok=True)
        self.files = os.path.join(WORK, self.name + ".")
        self.dump = self.files + "dump"
        environment = ["TERM=" + term, "LANG=" + lang, "LC_ALL=" + lang, "SDL_AUDIODRIVER=" + audio,
                       "SDL_DISKAUDIOFILE=" + self.files + "raw", # A paced device plays in real time; an unpaced one as fast as
                       # it can.
                       "SDL_DISKAUDIODELAY=%d" % (40 if paced else 1),
                       "PLAYTUN_TERMINAL_DUMP=" + self.dump] + (["DISPLAY=" + display] if display else [])
        quoted = " ".join("'%s'" % a for a in [PLAYTUN, *arguments])
        script = ("cd '{dir}'; stty -g >'{f}before'; "
                  "sh -c 'echo $$ >\"{f}pid\"; exec env -u DISPLAY -u SDL_VIDEODRIVER {env} \"$0\" \"$@\"' {cmd}; "
                  "echo $? >'{f}status.new'; stty -g >'{f}after'; mv '{f}status.new' '{f}status'; "
                  "echo SESSION-OVER; sleep 600").format(dir=self.dir, f=self.files, env=" ".join(environment),
                                                         cmd=quoted)
        tmux("new-session", "-d", "-s", self.name, "-x", str(columns), "-y", str(lines), "sh", "-c", script)
        self.pid = int(wait_for(lambda: self.read("pid").strip()) or 0)

    def read(self, suffix):
        try:
            with open(self.files + suffix, encoding="utf-8") as f:
                return f.read()
        except OSError:
            return ""

    def cells(self):
        """The rows of the screen as playtun last presented it."""
        return self.read("dump").split("\n")[:50]

    def screen(self):
        return tmux("capture-pane", "-p", "-t", self.name).split("\n")

    def coloured_row(self, row):
        return tmux("capture-pane", "-p", "-e", "-t", self.name).split("\n")[row]

    def keys(self, *names):
        tmux("send-keys", "-t", self.name, *names)

    def bytes(self, data):
        tmux("send-keys", "-t", self.name, "-H", *("%02x" % b for b in data))

    def value(self, name):
        return tmux("display-message", "-p", "-t", self.name, "#{%s}" % name).strip()

    def resize(self, columns, lines):
        tmux("resize-window", "-t", self.name, "-x", str(columns), "-y", str(lines))

    def status(self, seconds=10.0):
        text = wait_for(lambda: self.read("status"), seconds)
        return int(text) if text else None

    def shows_cells(self, columns=80, rows=50):
        """Whether the pane's top-left rows show what the cells hold. The
        screen changes while a song plays, so a capture counts only between
        two equal dumps; a wrong picture never matches however often tried."""
        last = None
        for _ in range(60):
            before = self.cells()
            shown = self.screen()
            if before == self.cells() and len(before) == 50:
                expected = [line[:columns].rstrip() for line in before[:rows]]
                got = [line.rstrip() for line in shown[:rows]]
                if expected == got:
                    return True
                last = [(r, e, g) for r, (e, g) in enumerate(zip(expected, got)) if e != g][:3]
            time.sleep(0.05)
        print("  differences (row, cells, pane):", last)
        return False

    def cells_show(self, pattern, seconds=5.0):
        return wait_for(lambda: re.search(pattern, "\n".join(self.cells())), seconds)

    def end(self):
        if self.status(0.1) is None and self.pid:
            try:
                os.kill(self.pid, 9)
            except OSError:
                pass
        tmux("kill-session", "-t", self.name)


def check(condition, what):
    if not condition:
        fail(what)
    return condition


def restored(session, what):
    check(session.read("before") and session.read("before") == session.read("after"),
          what + ": stty -g differs after the end")
    check(session.value("cursor_flag") == "1", what + ": the cursor stays hidden")
    check(session.value("alternate_on") == "0", what + ": the screen stays in the alternate screen")


# ---- songs ----
SONGS = os.path.join(WORK, "songs")
os.makedirs(SONGS)
make_song(os.path.join(SONGS, "a.tun"), 30)
make_song(os.path.join(SONGS, "b.tun"), 30)
make_song(os.path.join(SONGS, "short.tun"), 1)
LIST = os.path.join(WORK, "list")
os.makedirs(LIST)
for k in range(1, 21):
    shutil.copy(os.path.join(SONGS, "short.tun"), os.path.join(LIST, "s%02d.tun" % k))
A, B, SHORT = (os.path.join(SONGS, n) for n in ("a.tun", "b.tun", "short.tun"))

# Key sequences of each terminal type, as its terminfo entry gives them.
def sequence(term, capability):
    return subprocess.run(["tput", "-T", term, capability], check=True, capture_output=True).stdout


# ---- the screens: the pane shows the program's own cells ----
# A session that outlives every other keeps the server up: otherwise the
# server ends with the last session, and a session started just then fails.
tmux("new-session", "-d", "-s", "keeper", "sleep", "3600")

print("screens", flush=True)
s = Session([], folder=SONGS)
screens = [
    ("selector", [], r"TUN-File-Selector"),
    ("playing", ["Down", "Enter"], r"\nPlaying a\.tun"),
    ("help", ["h"], r"any key closes this list"),
    ("help closed", ["Space"], r"Frq.Wf"),
    ("muted voice", ["F1"], r"\nMUTED"),
    ("oscilloscope", ["Tab"], r"[\u2801-\u28ff]"),
    ("paused", ["k"], r"\nPaused  a\.tun"),
]
for name, keys, pattern in screens:
    print("  " + name, flush=True)
    if keys:
        s.keys(*keys)
    if check(s.cells_show(pattern), name + ": the cells never show " + pattern):
        check(s.shows_cells(), name + ": the pane differs from the cells")
check(re.search(r"playtun - a\.tun$", s.screen()[50].rstrip() + ""), "the status row does not name the song")
check(s.value("pane_title") == "playtun - a.tun", "the terminal's title is " + s.value("pane_title"))
s.keys("Escape")
check(s.cells_show(r"TUN-File-Selector"), "selector: Escape does not leave the song")
s.keys("Escape")
check(s.status() == 0, "selector: Escape twice does not end with status 0")
restored(s, "selector")
s.end()

# ---- colours: the selector's bar, light red on light blue ----
print("colours", flush=True)
for term, lang, codes in [
    ("screen-256color", "C.UTF-8", ["38;5;196", "48;5;21"]),  # the nearest fixed entries: exact here
    ("xterm-256color", "C.UTF-8", ["38;5;28", "48;5;25"]),    # entries 16 + colour, set to the exact values
    ("linux", "C", ["1", "31", "44"]),                        # eight colours: bright in bold
]:
    s = Session([], term=term, lang=lang, folder=SONGS)
    # The key goes only to a drawn selector: input typed before the terminal
    # is set up may be discarded with the mode change.
    if check(s.cells_show(r"\n +a\.tun"), term + ": no selector"):
        s.keys("Down")
        def codes_on_row():
            row = s.coloured_row(3)
            before = row.split("a.tun")[0]
            found = set(";".join(re.findall(r"\x1b\[([0-9;]*)m", before)).split(";"))
            return row, found | set(re.findall(r"\x1b\[([0-9;]*)m", before))
        # The bar reaches the row with the key press; wait for it to be drawn.
        wait_for(lambda: all(code in codes_on_row()[1] for code in codes), 10)
        row, found = codes_on_row()
        for code in codes:
            check(code in found, "%s: the bar's colours lack %s: %r" % (term, code, row[:120]))
    s.keys("Escape")
    check(s.status() == 0, term + ": the selector does not end")
    s.end()

# ---- keys of each terminal type ----
def time_shown(session):
    match = re.match(r"Paused  .*(\d\d):(\d\d)/", session.cells()[1]) if len(session.cells()) > 1 else None
    return int(match.group(1)) * 60 + int(match.group(2)) if match else None


def key_table(term):
    """(what, how to send it, the check that the command happened) for one
    terminal type: tmux's own key names where the pane's type is tmux's,
    the terminfo sequences where it is another terminal."""
    if term == "screen-256color":
        named = {"right": ["Right"], "left": ["Left"], "f2": ["F2"], "pgdn": ["NPage"], "pgup": ["PPage"],
                 "home": ["Home"], "end": ["End"], "down": ["Down"], "alt-return": ["M-Enter"]}
        return {k: ("keys", v) for k, v in named.items()}
    caps = {"right": "kcuf1", "left": "kcub1", "f2": "kf2", "pgdn": "knp", "pgup": "kpp", "home": "khome",
            "end": "kend", "down": "kcud1"}
    table = {k: ("bytes", sequence(term, c)) for k, c in caps.items()}
    # Alt as an Escape prefix on a UTF-8 terminal; as the meta bit elsewhere.
    table["alt-return"] = ("bytes", b"\x1b\r" if term != "linux" else b"\x8d")
    return table


def send(session, how):
    kind, what = how
    if kind == "keys":
        session.keys(*what)
    else:
        session.bytes(what)


for term in ["xterm-256color", "screen-256color", "linux"]:
    print("keys, TERM=" + term, flush=True)
    lang = "C" if term == "linux" else "C.UTF-8"
    table = key_table(term)
    s = Session(["-p", "a.tun", "b.tun"], columns=80, lines=51, term=term, lang=lang, folder=SONGS)
    if not check(s.cells_show(r"\nPlaying a\.tun"), term + ": the play list does not start"):
        s.end()
        continue
    s.keys("k")
    check(s.cells_show(r"\nPaused "), term + ": k does not pause")
    start = wait_for(lambda: time_shown(s))
    steps = [
        ("right", lambda t: t == start + 1, "seeks one second on"),
        ("right", lambda t: t == start + 2, "seeks one second on again"),
        ("left", lambda t: t == start + 1, "seeks one second back"),
        ("alt-return", lambda t: t == start + 1, "is no plain Return or Escape"),
    ]
    for key, good, what in steps:
        send(s, table[key])
        check(wait_for(lambda: time_shown(s) is not None and good(time_shown(s)), 3),
              "%s: %s %s (time %s, start %s)" % (term, key, what, time_shown(s), start))
    s.keys("Enter")
    check(wait_for(lambda: time_shown(s) == 0, 3), term + ": Return does not restart the song")
    definition = s.cells()[16]
    s.keys("1")
    check(wait_for(lambda: s.cells()[16] != definition, 3), term + ": 1 does not edit the wave")
    s.keys("!")
    check(wait_for(lambda: s.cells()[16] == definition, 3), term + ": Shift+1 does not step the partial back")
    send(s, table["f2"])
    check(wait_for(lambda: s.cells()[17][26:31] == "MUTED", 3), term + ": F2 does not mute voice 2")
    send(s, table["f2"])
    check(wait_for(lambda: s.cells()[17][26:31] != "MUTED", 3), term + ": F2 again does not unmute voice 2")
    send(s, table["pgdn"])
    check(s.cells_show(r"\nPlaying b\.tun"), term + ": Page Down does not go to the next song")
    check(wait_for(lambda: "playtun - b.tun (2 of 2)" in s.screen()[50]), term + ": the status row lacks (2 of 2)")
    send(s, table["pgup"])
    check(s.cells_show(r"\nPlaying a\.tun"), term + ": Page Up does not go back")
    began = time.monotonic()
    s.keys("Escape")
    check(s.status(3) == 0, term + ": Escape does not end the play list")
    check(time.monotonic() - began < 2, term + ": Escape waited too long")
    restored(s, term + " play list")
    s.end()

    # The selector's keys: the song the bar opens names itself on the
    # status row.
    s = Session([], columns=80, lines=51, term=term, lang=lang, folder=LIST)
    for keys, song in [(["end"], "s20"), (["home", "down"], "s01"), (["home", "pgdn"], "s12"),
                       (["home", "pgdn", "pgup", "down"], "s01")]:
        for key in keys:
            send(s, table[key])
        s.keys("Enter")
        check(wait_for(lambda: ("playtun - %s.tun" % song) in s.screen()[50], 3),
              "%s: selector keys %s do not open %s: %r" % (term, keys, song, s.screen()[50]))
        check(s.cells_show(r"\nPlaying %s\.tun" % song), term + ": no player screen for " + song)
        s.keys("Escape")  # a song chosen in the selector repeats until Escape
        check(s.cells_show(r"TUN-File-Selector"), term + ": the list does not come back after the song")
    s.keys("Escape")
    check(s.status(3) == 0, term + ": Escape does not end the selector")
    restored(s, term + " selector")
    s.end()

# ---- resize: 120 x 60, 60 x 20, back ----
print("resize", flush=True)
s = Session(["a.tun"], columns=120, lines=60, folder=SONGS)
check(s.cells_show(r"\nPlaying a\.tun"), "resize: no player screen")
s.keys("k")
s.cells_show(r"\nPaused ")
check(s.shows_cells(), "120 x 60: the pane differs from the cells")
s.resize(60, 20)
note = "playtun needs a terminal of 80 x 50; this one is 60 x 20"
check(wait_for(lambda: s.screen()[19].strip() == note[:60].strip(), 3), "60 x 20: no size note: %r" % s.screen()[19])
check(s.shows_cells(columns=60, rows=19), "60 x 20: the pane is not the screen's top-left part")
s.resize(120, 60)
check(wait_for(lambda: "playtun - " in s.screen()[50], 3), "back to 120 x 60: no status row")
check(s.shows_cells(), "back to 120 x 60: the pane differs from the cells")
shown = s.screen()
check(all(len(line.rstrip()) <= 80 for line in shown[:50]) and not any(l.strip() for l in shown[51:60]),
      "back to 120 x 60: characters outside the screen")
s.keys("Escape")
check(s.status() == 0, "resize: Escape does not end the song")
restored(s, "resize")
s.end()

# ---- every way out gives the terminal back ----
print("ways out", flush=True)
ways = [
    ("Escape", [A], "disk", lambda s: s.keys("Escape"), 0),
    ("song end", [SHORT], "disk", lambda s: None, 0),
    ("SIGINT", [A], "disk", lambda s: os.kill(s.pid, 2), 130),
    ("SIGTERM", [A], "disk", lambda s: os.kill(s.pid, 15), 143),
    ("SIGHUP", [A], "disk", lambda s: os.kill(s.pid, 1), 129),
    ("SIGTERM in the selector", [], "disk", lambda s: os.kill(s.pid, 15), 143),
    ("audio failure", [A], "no-such-driver", lambda s: s.keys("Space"), 1),
    # The folder it started in is gone when the selector ends: a failure
    # (File not found.) on the way out.
    ("fatal error", [], "disk", lambda s: (shutil.rmtree(s.dir), s.keys("Escape")), 2),
]
for name, arguments, audio, way, expected in ways:
    folder = os.path.join(WORK, "gone") if name == "fatal error" else SONGS
    if name == "fatal error":
        os.makedirs(folder)
        shutil.copy(A, folder)
    s = Session(arguments, audio=audio, folder=folder)
    shown = r"\?Audio: .*ERROR" if audio != "disk" else r"TUN-File-Selector" if not arguments else r"Playing"
    if check(s.cells_show(shown) or s.status(0.1) == expected, name + ": no screen"):
        way(s)
    status = s.status()
    check(status == expected, "%s: status %s, not %s" % (name, status, expected))
    restored(s, name)
    if name == "fatal error":
        check(wait_for(lambda: any("File not found." in l for l in s.screen())),
              name + ": the failure's sentence is not shown after the screen")
    if audio != "disk":
        # What went to standard error while the screen was up comes after it.
        check(wait_for(lambda: any("cannot open the audio device" in l for l in s.screen())),
              name + ": the line on standard error is lost")
    s.end()

# ---- which presenter: -t over a display, --window and -t without what they need ----
print("choice", flush=True)
s = Session(["-t", "a.tun"], folder=SONGS, display=":97")
check(s.cells_show(r"\nPlaying a\.tun"), "-t: no player screen in the terminal although DISPLAY is set")
s.keys("Escape")
check(s.status() == 0, "-t: Escape does not end the song")
s.end()
s = Session(["--window", "a.tun"], folder=SONGS)
check(s.status() == 254, "--window without a display: not status 254")
check(wait_for(lambda: any("need an X11 display" in l for l in s.screen())), "--window: no line saying why")
s.end()
plain = {k: v for k, v in ENV.items() if k not in ("DISPLAY", "SDL_VIDEODRIVER")}
run = subprocess.run([PLAYTUN, "-t", A], env=plain, stdin=subprocess.DEVNULL, capture_output=True, text=True)
check(run.returncode == 254 and "the terminal cannot show the screens" in run.stdout + run.stderr,
      "-t without a terminal: status %d, %r" % (run.returncode, run.stdout + run.stderr))

# ---- the sound: live playback in a terminal equals record mode ----
print("live sound", flush=True)
live = os.path.join(WORK, "live.tun")
make_song(live, 3)
s = Session([live], paced=False)
check(s.status(20) == 0, "live: the song does not end")
restored(s, "live")
capture = open(s.files + "raw", "rb").read()
s.end()
wav = os.path.join(WORK, "live.wav")
subprocess.run([PLAYTUN, live, wav], check=True, capture_output=True)
data = open(wav, "rb").read()[44:]
start = 0
while capture[start:start + 8192] == bytes(8192):
    start += 8192
played = capture[start:]
check(len(data) > 0 and played[:len(data)] == data,
      "live: the device received %d bytes that differ from the recording's %d" % (len(played), len(data)))

subprocess.run(["tmux", "-S", SOCKET, "kill-server"], env=ENV, capture_output=True)
shutil.rmtree(WORK, ignore_errors=True)
if failures:
    print("%d failures" % len(failures))
    sys.exit(1)
print("all terminal sessions passed")
