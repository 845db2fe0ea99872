#!/usr/bin/env python3
"""playtun steered by the desktop's media controls on a private session bus.

    media_bus_session.py PLAYTUN MAKE_SONG CREDITED_SONG

CREDITED_SONG is a song whose text names its title and author. playtun
plays a list under SDL's dummy video and disk audio; playerctl (and
dbus-send, dbus-monitor) talk to it as a desktop would. Ends with 77
(skipped) when dbus-daemon or playerctl is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

if len(sys.argv) != 4:
    sys.exit(__doc__)
PLAYTUN, MAKE_SONG, CREDITED = (os.path.abspath(a) for a in sys.argv[1:])
for tool in ("dbus-daemon", "playerctl", "dbus-send", "dbus-monitor"):
    if shutil.which(tool) is None:
        print(tool + " is not installed: skipped")
        sys.exit(77)

WORK = tempfile.mkdtemp(prefix="playtun-bus-")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)
    return condition


def wait_for(condition, seconds=5.0):
    end = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        time.sleep(0.05)


daemon = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                        check=True, capture_output=True, text=True).stdout.split()
ADDRESS, DAEMON_PID = daemon[0], int(daemon[1])
BUS = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=ADDRESS)
BUS.pop("DISPLAY", None)


def playerctl(*arguments):
    done = subprocess.run(["playerctl", "-p", "playtun", *arguments], env=BUS, capture_output=True, text=True,
                          timeout=10)
    return done.stdout.strip()


def start(arguments, environment):
    env = dict(environment, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="disk",
               SDL_DISKAUDIOFILE=os.path.join(WORK, "capture.raw"), SDL_DISKAUDIODELAY="40")
    return subprocess.Popen([PLAYTUN, "--window", *arguments], cwd=WORK, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


def messages(text):
    """Standard error without the disk audio driver's own notice."""
    return [line for line in text.split("\n") if line and "SDL disk writer" not in line
            and not line.startswith(" Writing to file")]


def ended(process, seconds=10):
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return None


def position():
    text = playerctl("position")
    return float(text) if text else -1.0


try:
    subprocess.run([MAKE_SONG, os.path.join(WORK, "a.tun"), "30"], check=True)
    subprocess.run([MAKE_SONG, os.path.join(WORK, "short.tun"), "1"], check=True)
    shutil.copy(CREDITED, os.path.join(WORK, "credited.tun"))

    # ---- a list of three songs, steered from the bus ----
    seeks = subprocess.Popen(["dbus-monitor", "--session", "type='signal',member='Seeked'"], env=BUS,
                             stdout=subprocess.PIPE, text=True)
    player = start(["--play", "credited.tun", "a.tun", "a.tun"], BUS)
    check(wait_for(lambda: playerctl("status") == "Playing"), "the player never says it is playing")
    titles = subprocess.Popen(["playerctl", "-p", "playtun", "--follow", "metadata", "--format", "{{title}}"],
                              env=BUS, stdout=subprocess.PIPE, text=True)

    # The song's own title and author, and its length from its frames and
    # frame rate (13811 frames at 100 a second).
    check(playerctl("metadata", "title") == "arkijuusto (toinen siivu)", "title: " + playerctl("metadata", "title"))
    check(playerctl("metadata", "artist") == "vent", "artist: " + playerctl("metadata", "artist"))
    check(playerctl("metadata", "mpris:length") == "138110000", "length: " + playerctl("metadata", "mpris:length"))
    check(playerctl("metadata", "xesam:url") == "file://" + os.path.realpath(WORK) + "/credited.tun"
          or playerctl("metadata", "xesam:url") == "file://" + WORK + "/credited.tun",
          "url: " + playerctl("metadata", "xesam:url"))
    first_track = playerctl("metadata", "mpris:trackid").strip("'")
    check(first_track.startswith("/"), "track id: " + first_track)
    check(playerctl("metadata", "--format", "{{mpris:length}} {{duration(mpris:length)}}") == "138110000 2:18",
          "playerctl's duration: " + playerctl("metadata", "--format", "{{duration(mpris:length)}}"))

    # Play and pause: the position stands still while paused.
    playerctl("play-pause")
    check(wait_for(lambda: playerctl("status") == "Paused"), "play-pause does not pause")
    held = position()
    time.sleep(0.4)
    check(abs(position() - held) < 0.05, "the position moves while paused: %.2f then %.2f" % (held, position()))
    playerctl("pause")
    check(playerctl("status") == "Paused", "pause while paused plays")
    playerctl("play")
    check(wait_for(lambda: playerctl("status") == "Playing"), "play does not go on")
    check(wait_for(lambda: position() > held + 0.2), "the position stands still after play")

    # Absolute and relative seeks; each is announced with Seeked.
    playerctl("position", "10")
    check(10.0 <= position() < 11.5, "position 10 gives %.2f" % position())
    # The song plays on between the calls: the relative seek is measured
    # against the position read just before it.
    before = position()
    playerctl("position", "5+")
    after = position()
    check(4.9 <= after - before < 6.5, "position 5+ moves from %.2f to %.2f" % (before, after))
    playerctl("position", "100-")
    check(0.0 <= position() < 1.0, "a seek before the start gives %.2f" % position())
    # Another track's id is not this one's: nothing moves.
    subprocess.run(["dbus-send", "--print-reply", "--session", "--dest=org.mpris.MediaPlayer2.playtun",
                    "/org/mpris/MediaPlayer2",
                    "org.mpris.MediaPlayer2.Player.SetPosition", "objpath:/org/playtun/track/999",
                    "int64:50000000"], env=BUS, check=True, stdout=subprocess.DEVNULL)
    check(position() < 5.0, "SetPosition for another track moved the song to %.2f" % position())

    # Next, previous: the list moves as Page Down and Page Up move it.
    check(playerctl("metadata", "mpris:trackid").strip("'") == first_track, "the track id changed alone")
    playerctl("next")
    check(wait_for(lambda: playerctl("metadata", "title") == "a.tun"), "next does not play the second song")
    second_track = playerctl("metadata", "mpris:trackid").strip("'")
    check(second_track != first_track, "the second song has the first one's track id")
    check(wait_for(lambda: playerctl("status") == "Playing"), "the second song does not play")
    playerctl("previous")
    check(wait_for(lambda: playerctl("metadata", "artist") == "vent"), "previous does not go back to the first song")
    # A seek past the end goes on to the next song.
    playerctl("position", "1000+")
    check(wait_for(lambda: playerctl("metadata", "title") == "a.tun"), "a seek past the end stays in the song")

    # The changes were signalled: a follower saw every song in turn.
    titles.terminate()
    seen = [line for line in titles.communicate(timeout=5)[0].split("\n") if line]
    want = ["arkijuusto (toinen siivu)", "a.tun", "arkijuusto (toinen siivu)", "a.tun"]
    check([t for i, t in enumerate(seen) if i == 0 or seen[i - 1] != t] == want,
          "the titles signalled: %s" % seen)
    seeks.terminate()
    announced = seeks.communicate(timeout=5)[0]
    check(announced.count("member=Seeked") >= 3, "Seeked signals: %d" % announced.count("member=Seeked"))

    # Stop leaves the list as Escape does: the program ends in order.
    playerctl("stop")
    check(ended(player) == 0, "stop ends with status %s" % player.returncode)
    check(messages(player.stderr.read()) == [], "messages after stop")

    # The desktop's Quit ends the program as the window's close button does.
    player = start(["--play", "a.tun"], BUS)
    check(wait_for(lambda: playerctl("status") == "Playing"), "the second run never plays")
    subprocess.run(["dbus-send", "--print-reply", "--session", "--dest=org.mpris.MediaPlayer2.playtun",
                    "/org/mpris/MediaPlayer2",
                    "org.mpris.MediaPlayer2.Quit"], env=BUS, check=True, stdout=subprocess.DEVNULL)
    check(ended(player) == 0, "quit ends with status %s" % player.returncode)

    # ---- in a terminal: the screen shows what the bus did, and the keys
    # go on from there ----
    if shutil.which("tmux") is not None:
        socket, dump = os.path.join(WORK, "tmux.socket"), os.path.join(WORK, "dump")

        def tmux(*arguments):
            subprocess.run(["tmux", "-S", socket, "-f", "/dev/null", *arguments], check=True, env=BUS)

        def row_1():
            try:
                with open(dump, encoding="utf-8") as f:
                    return f.read().split("\n")[1]
            except (OSError, IndexError):
                return ""

        command = ("cd '%s'; env -u DISPLAY -u SDL_VIDEODRIVER TERM=xterm LANG=C.UTF-8 SDL_AUDIODRIVER=disk "
                   "SDL_DISKAUDIOFILE=terminal.raw SDL_DISKAUDIODELAY=40 PLAYTUN_TERMINAL_DUMP='%s' '%s' -t "
                   "--play a.tun short.tun; echo $? >status; sleep 60") % (WORK, dump, PLAYTUN)
        tmux("new-session", "-d", "-s", "bus", "-x", "100", "-y", "56", "sh", "-c", command)
        try:
            check(wait_for(lambda: row_1().startswith("Playing a.tun")), "terminal: row 1 is " + row_1())
            playerctl("play-pause")
            check(wait_for(lambda: row_1().startswith("Paused  a.tun")), "terminal: play-pause shows " + row_1())
            tmux("send-keys", "-t", "bus", "k")
            check(wait_for(lambda: playerctl("status") == "Playing"), "terminal: k after the bus's pause")
            check(wait_for(lambda: row_1().startswith("Playing a.tun")), "terminal: k shows " + row_1())
            tmux("send-keys", "-t", "bus", "k")
            check(wait_for(lambda: playerctl("status") == "Paused"), "terminal: the bus does not see k's pause")
            playerctl("next")
            check(wait_for(lambda: row_1().startswith("Playing short.tun")), "terminal: next shows " + row_1())
            status = wait_for(lambda: open(os.path.join(WORK, "status")).read().strip()
                              if os.path.exists(os.path.join(WORK, "status")) else "", 10)
            check(status == "0", "terminal: the list ends with status %r" % status)
        finally:
            tmux("kill-server")

    # ---- without a bus: as ever, and silent ----
    for name, address in (("no address", None), ("a bus that is not there", "unix:path=" + WORK + "/none")):
        env = {k: v for k, v in os.environ.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")}
        if address:
            env["DBUS_SESSION_BUS_ADDRESS"] = address
        env.pop("DISPLAY", None)
        player = start(["--play", "short.tun", "short.tun"], env)
        try:
            out, err = player.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            player.kill()
            out, err = player.communicate()
        check(player.returncode == 0, name + ": status %s" % player.returncode)
        check(messages(err) == [], name + ": messages " + repr(err))
finally:
    os.kill(DAEMON_PID, 15)

if failures:
    print("%d failure(s)" % len(failures))
    sys.exit(1)
print("all passed")
