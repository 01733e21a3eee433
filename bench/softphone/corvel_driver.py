"""Corvel clients for the benchmark: each with its own application folder, a microphone played
from a file and its recordings, on a private X display, logged in and called through xdotool as
a person would (the same places as the end-to-end checks in tests/e2e)."""

import os
import re
import shutil
import socket
import subprocess
import time

ENV = dict(os.environ, LC_ALL="C.UTF-8")  # xdotool matches Chinese titles only so


def free_port(even=False):
    while True:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
        if not even or port % 2 == 0:
            return port


def xdotool(*args, check=False):
    try:
        done = subprocess.run(
            ["xdotool", *map(str, args)], capture_output=True, text=True, timeout=10, env=ENV
        )
    except subprocess.TimeoutExpired:
        return ""
    if check and done.returncode != 0:
        raise RuntimeError(f"xdotool {' '.join(map(str, args))}: {done.stderr.strip()}")
    return done.stdout


def wait_for(predicate, limit, what):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise RuntimeError(f"timed out after {limit} s: {what}")


def visible_windows():
    return xdotool("search", "--onlyvisible", "--name", "").split()


def windows_named(pattern):
    found = []
    for window in visible_windows():
        if re.fullmatch(pattern, xdotool("getwindowname", window).strip()):
            found.append(window)
    return found


def geometry(window):
    values = dict(
        line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split()
    )
    return {k: int(v) for k, v in values.items() if v.lstrip("-").isdigit()}


def click_in(window, x, y):
    g = geometry(window)
    xdotool("mousemove", g["X"] + x, g["Y"] + y, "sleep", "0.1", "click", "1")
    time.sleep(0.2)


def click_control(window, left, top, right, bottom):
    click_in(window, (left + right) // 2, (top + bottom) // 2)


class Display:
    """Xvfb with a tray host, so that a window can be hidden in the tray as a person does."""

    def __init__(self):
        # Xvfb picks a free display itself and writes its number to the pipe.
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten",
             "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number:
            raise RuntimeError("no X display could be started")
        os.environ["DISPLAY"] = ENV["DISPLAY"] = ":" + number
        wait_for(lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0, 10,
                 "the X display answers")
        self.tray = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "left", "--widthtype", "pixel", "--width",
             "120", "--heighttype", "pixel", "--height", "24"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV)
        wait_for(lambda: windows_named("panel"), 10, "the tray host")

    def close(self):
        for process in (self.tray, self.xvfb):
            process.terminate()
        for process in (self.tray, self.xvfb):
            try:
                process.wait(3)
            except subprocess.TimeoutExpired:
                process.kill()


class Corvel:
    def __init__(self, name, app_folder, work, ports, microphone, wave=None):
        self.name = name
        self.home = os.path.join(work, name)
        self.out = os.path.join(self.home, "out")
        os.makedirs(self.out, exist_ok=True)
        shutil.copytree(os.path.join(app_folder, "Wave"), os.path.join(self.home, "Wave"),
                        dirs_exist_ok=True)
        wave_lines = "".join(f"{k}={v}\n" for k, v in (wave or {}).items())
        with open(os.path.join(self.home, "CorvelConfig.ini"), "w") as ini:
            ini.write(
                f"[UDP]\nLocal=127.0.0.1,{free_port()}\nRemote=127.0.0.1,{ports['account']}\n"
                f"[RTP]\nrtpPort={free_port(even=True)}\nnatSvrHost=127.0.0.1\n"
                f"natSvrPort={ports['nat']}\n"
                f"[WAVE]\naudioDevice=file:{microphone},{self.out}\nsilenceValue=0\n{wave_lines}"
                f"[SIP]\nsipPort={free_port()}\nsipSvrHost=127.0.0.1\n"
                f"sipSvrPort={ports['sip']}\nsipRegTime=40\n")
        self.panel_log = os.path.join(work, f"{name}-panel.log")
        env = dict(ENV, CORVEL_HOME=self.home, CORVEL_PANEL_LOG=self.panel_log,
                   CORVEL_URL_LOG=os.path.join(work, "urls.log"))
        env.pop("CORVEL_AUDIO", None)
        self.log = open(os.path.join(work, f"{name}.log"), "w")
        self.process = subprocess.Popen([os.path.join(app_folder, "corvel")], env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.pid = self.process.pid
        self.window = None

    def my_windows(self):
        return xdotool("search", "--all", "--onlyvisible", "--pid", self.pid, "--name",
                       "").split()

    def main_window(self):
        for window in self.my_windows():
            if geometry(window).get("WIDTH", 0) == 283:
                return window
        return None

    def tray_icon(self):
        for window in self.my_windows():
            if geometry(window).get("WIDTH", 999) < 64:
                return window
        return None

    def title(self):
        return xdotool("getwindowname", self.window).strip() if self.window else ""

    def log_in(self, account, password):
        def login_window():
            for window in self.my_windows():
                if xdotool("getwindowname", window).strip() == "欢迎使用Corvel":
                    return window
            return None
        login = wait_for(login_window, 20, f"{self.name}'s login window")
        time.sleep(0.5)
        for (x, y), text in (((150, 81), account), ((150, 112), password)):
            click_in(login, x, y)
            xdotool("key", "ctrl+a", "BackSpace")
            xdotool("type", "--delay", "40", text)
            time.sleep(0.2)
        xdotool("key", "Return")
        self.window = wait_for(self.main_window, 15, f"{self.name}'s main window")
        wait_for(lambda: self.title() == "Corvel[就绪]", 20, f"{self.name} registered")

    def move(self, x, y):
        xdotool("windowmove", self.window, x, y)
        time.sleep(0.3)

    def hide(self):
        click_control(self.window, 235, 13, 250, 28)
        wait_for(lambda: self.main_window() is None, 5, f"{self.name}'s window hidden")

    def show(self):
        icon = wait_for(self.tray_icon, 5, f"{self.name}'s tray icon")
        click_in(icon, 8, 8)
        self.window = wait_for(self.main_window, 5, f"{self.name}'s window shown")

    def press_key(self, key):
        if key == "*":
            column, row = 0, 3
        elif key == "0":
            column, row = 1, 3
        elif key == "#":
            column, row = 2, 3
        else:
            column, row = (int(key) - 1) % 3, (int(key) - 1) // 3
        left, top = 14 + column * 86, 392 + row * 30
        click_control(self.window, left, top, left + 82, top + 26)

    def dial(self, number):
        for key in number:
            self.press_key(key)
        self.call_button()

    def call_button(self):
        """呼叫, which is also 接听 while a call rings."""
        click_control(self.window, 14, 514, 139, 544)

    def hang_up(self):
        click_control(self.window, 143, 514, 268, 544)

    def panel_lines(self):
        try:
            with open(self.panel_log, encoding="utf-8") as f:
                return [line.rstrip("\n") for line in f]
        except OSError:
            return []

    def panel_mark(self):
        """Where the panel's log stands now: wait_panel(since=...) looks only after it."""
        return len(self.panel_lines())

    def panel_shows(self, pattern, since=0):
        return any(re.fullmatch(pattern, line) for line in self.panel_lines()[since:])

    def wait_panel(self, pattern, limit=20, since=0):
        wait_for(lambda: self.panel_shows(pattern, since), limit,
                 f"{self.name}'s panel shows {pattern}")

    def recordings(self):
        return sorted(
            (os.path.join(self.out, n) for n in os.listdir(self.out)
             if n.startswith("player-") and n.endswith(".wav")), key=os.path.getmtime)

    def timeline(self):
        """[(what, monotonic seconds)] from the file backend's timeline."""
        entries = []
        try:
            with open(os.path.join(self.out, "timeline.txt")) as f:
                for line in f:
                    what, ns = line.split()
                    entries.append((what, int(ns) / 1e9))
        except OSError:
            pass
        return entries

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
