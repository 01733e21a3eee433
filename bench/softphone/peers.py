#!/usr/bin/env python3
"""Peer softphones (baresip 1.0, linphonec 5.1) and a Kamailio registrar for the softphone bench.

Standard library only. Everything listens on 127.0.0.1 and is meant to run inside a private
network namespace (`unshare -n`); `selftest` re-executes itself in one.

Peers
    Baresip(work_dir, user, registrar_port, codec, mic_wav, record)
    Linphonec(work_dir, user, registrar_port, codec, mic_wav, record)
        .pid                 the softphone process itself (no wrapper shell), for /proc/PID
        .wait_registered(t)  True once the registrar accepted the REGISTER
        .call(user)          dials user@127.0.0.1:registrar_port
        .wait_established(t) True once the call's media is up
        .hang_up(), .stop()
        .recording()         8 kHz mono 16-bit WAV of what it received, or None
    Callees answer by themselves. baresip: PCMU, PCMA, AMR (octet-align); linphonec: G729,
    PCMU, PCMA. No audio device is ever opened: baresip plays a file (a silent one without
    mic_wav) and plays out into aubridge, a player nobody drains (ALSA's null device would make
    its player thread spin a core for the whole call); linphonec runs in its file mode
    ("soundcard use files"). Idle, baresip uses no CPU and linphonec about 1 %. baresip prints
    a call status line about ten times a second while in a call (its menu module). Output goes
    to work_dir/<kind>-<user>/output.log.

Mouth-to-ear (measure_peer_mouth_to_ear -> MouthToEar; mouth_to_ear_ms -> list or None)
    One call between two peers of a kind. The caller's microphone file holds a marker (50 ms
    of 500-2500 Hz band-limited noise, the same on every run) every 2 s, silence otherwise; the
    callee records. The marker is found in the callee's recording (and, where the payload is
    G.711, in the caller's RTP) from its energy onset, placed by normalised cross-correlation
    with the reference (score >= 0.5, else the burst counts as lost; G.729 gives ~0.7).
    Neither recording carries a clock, so both ends are anchored in wall time:
      ear, baresip: the sndfile filter (dump-*-dec.wav) writes each frame as it is decoded, one
        write(2) per 20 ms frame, traced with `strace -f -ttt -y`; the write's time stamps the
        samples it carries.
      ear, linphonec: MSFileRec stands in for the sound card at the end of the receive chain,
        fed by the 10 ms media ticker, and writes 4 KiB blocks once full. A write is never
        early, only late when the process is held up, so the earliest of (write time - stream
        position of the block's end) within 1.5 s of a marker gives its sample clock there.
      mouth, baresip: baresip 1.0 loads the whole file when the call starts and paces it out
        from memory, so its reads say nothing; the sniffer's copy of its RTP does: the marker
        is found in the decoded G.711 stream and the packet's kernel receive time on lo is the
        anchor (microseconds after the sendto; the source hands each 20 ms frame straight to
        the encoder and socket in one thread). For AMR the RTP time stamps are taken as file
        positions (its source starts at the file's first sample with the call; for PCMU the two
        ways agree to 0.0 ms).
      mouth, linphonec: MSFilePlayer reads 4 KiB blocks one ahead: block k+1 is read at the
        tick that first takes from block k. The latest exact estimate (within one tick of the
        lowest) within 1.5 s of a marker gives the source's sample clock there. Checked against
        the wire (the caller's RTP, decoded for G.711, by time stamp for G.729): source to wire
        must be -5..80 ms (-25 for time stamps), else None.
    The delay runs from the moment the caller's source took the marker's first sample to the
    moment the callee's recorder had it; a real capture device's period and a real output
    device's buffer are not in it, and the clocks are read at chunk granularity (10 ms for
    linphonec, 20 ms frames for baresip).
    What the recorder sees:
      - linphonec records at the sound-card end, after its RTP jitter buffer
        (audio_jitt_comp): mouth-to-ear proper. Measured ~40 ms at 60 (its adaptive buffer
        starts higher and shrinks), ~200 ms at 200.
      - baresip records at decode time, after its RTP jitter buffer (jitter_buffer_delay,
        default 5-10 frames: ~100 ms; 1-2: ~20 ms) but before its playout buffer
        (audio_buffer, which does not move the figure): a lower bound that misses
        audio_buffer's share and the player's.
    Limits: strace stops each traced process at every traced call (tens of microseconds);
    -ttt and SO_TIMESTAMPNS both read the wall clock, and only differences between them are
    used. A loaded machine makes single markers late (the median is the robust figure). No
    strace, no raw socket (baresip) or unpaced I/O give None with the reason.

Kamailio
    start_kamailio(work_dir) -> (process, port); stop_kamailio(process); or `with kamailio(dir)`.
"""

from __future__ import annotations

import array
import contextlib
import math
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import wave
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
KAMAILIO_CFG = REPO / "tests" / "sip" / "interop" / "kamailio.cfg"


# ---------------------------------------------------------------------------------------------
# Processes and ports


def free_port(kind: int = socket.SOCK_DGRAM) -> int:
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def free_port_pair() -> int:
    """An even UDP port whose odd neighbour is free too (RTP, RTCP)."""
    for _ in range(50):
        port = free_port() & ~1
        if port > 64000:
            continue
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as b, socket.socket(
                socket.AF_INET, socket.SOCK_DGRAM
            ) as c:
                b.bind(("127.0.0.1", port))
                c.bind(("127.0.0.1", port + 1))
                return port
        except OSError:
            continue
    raise RuntimeError("no free pair of UDP ports")


class Process:
    """A program in a process group of its own, output in a log file, stopped with its group."""

    def __init__(self, args, log_path, stdin=subprocess.DEVNULL, env=None, cwd=None):
        self.log_path = Path(log_path)
        self._log = open(self.log_path, "wb")
        self.popen = subprocess.Popen(
            args, stdin=stdin, stdout=self._log, stderr=subprocess.STDOUT, env=env, cwd=cwd,
            start_new_session=True,
        )
        self.pid = self.popen.pid

    def alive(self) -> bool:
        return self.popen.poll() is None

    def output(self) -> str:
        try:
            return self.log_path.read_text(errors="replace")
        except OSError:
            return ""

    def wait(self, timeout: float) -> bool:
        try:
            self.popen.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self, grace: float = 3.0) -> None:
        if self.popen.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.pid, signal.SIGTERM)
            if not self.wait(grace):
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(self.pid, signal.SIGKILL)
                self.popen.wait()
        # Children that outlived their leader.
        with contextlib.suppress(ProcessLookupError):
            os.killpg(self.pid, signal.SIGKILL)
        if self.popen.stdin:
            with contextlib.suppress(OSError):
                self.popen.stdin.close()
        self._log.close()


def wait_until(predicate, timeout: float, step: float = 0.05) -> bool:
    deadline = time.monotonic() + timeout
    while True:
        if predicate():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)


# ---------------------------------------------------------------------------------------------
# Kamailio


def _options_answered(port: int, timeout: float) -> bool:
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        s.settimeout(0.2)
        me = s.getsockname()[1]
        deadline = time.monotonic() + timeout
        attempt = 0
        while time.monotonic() < deadline:
            attempt += 1
            branch = f"z9hG4bKprobe{attempt}"
            msg = (
                f"OPTIONS sip:127.0.0.1:{port} SIP/2.0\r\n"
                f"Via: SIP/2.0/UDP 127.0.0.1:{me};branch={branch}\r\n"
                f"From: <sip:probe@127.0.0.1>;tag=p\r\nTo: <sip:127.0.0.1:{port}>\r\n"
                f"Call-ID: {branch}@probe\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\n"
                "Content-Length: 0\r\n\r\n"
            )
            s.sendto(msg.encode(), ("127.0.0.1", port))
            try:
                data, _ = s.recvfrom(4096)
                if data.startswith(b"SIP/2.0 200"):
                    return True
            except socket.timeout:
                pass
    return False


def start_kamailio(work_dir, config: Path = KAMAILIO_CFG) -> tuple[Process, int]:
    """Kamailio as nobody in the foreground on a free port; raises when it does not answer."""
    work = Path(work_dir) / "kamailio"
    work.mkdir(parents=True, exist_ok=True)
    # nobody must be able to reach and read its configuration.
    for p in [work, *work.parents]:
        if p == Path("/"):
            break
        with contextlib.suppress(OSError):
            os.chmod(p, os.stat(p).st_mode | 0o055)
    port = free_port()
    text = config.read_text()
    # -l on the command line adds a listener; the file's own one must change instead.
    text, n = re.subn(r"(?m)^listen=udp:127\.0\.0\.1:\d+", f"listen=udp:127.0.0.1:{port}", text)
    if n != 1:
        raise RuntimeError(f"no listen= line in {config}")
    cfg = work / "kamailio.cfg"
    cfg.write_text(text)
    os.chmod(cfg, 0o644)
    proc = Process(
        ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
         "kamailio", "-f", str(cfg), "-DD", "-E", "-n", "1", "-m", "32", "-M", "8"],
        work / "kamailio.log",
    )
    if not _options_answered(port, 5.0):
        proc.stop()
        raise RuntimeError("Kamailio did not answer OPTIONS:\n" + proc.output()[-2000:])
    return proc, port


def stop_kamailio(proc: Process) -> None:
    proc.stop()


@contextlib.contextmanager
def kamailio(work_dir):
    proc, port = start_kamailio(work_dir)
    try:
        yield proc, port
    finally:
        proc.stop()


# ---------------------------------------------------------------------------------------------
# WAV helpers


def read_wav(path) -> tuple[int, array.array]:
    """(rate, mono int16 samples); the first channel of a multichannel file."""
    with wave.open(str(path), "rb") as w:
        if w.getsampwidth() != 2:
            raise ValueError(f"{path}: {8 * w.getsampwidth()}-bit samples")
        rate, channels = w.getframerate(), w.getnchannels()
        data = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        data.byteswap()
    if channels > 1:
        data = data[::channels]
    return rate, data


def write_wav(path, samples, rate: int = 8000) -> None:
    data = array.array("h", samples)
    if sys.byteorder == "big":
        data.byteswap()
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(data.tobytes())


def to_8k_mono(src, dst) -> Path | None:
    """dst as 8 kHz mono 16-bit; sox resamples when the source is anything else."""
    src, dst = Path(src), Path(dst)
    try:
        with wave.open(str(src), "rb") as w:
            plain = w.getframerate() == 8000 and w.getnchannels() == 1 and w.getsampwidth() == 2
    except (OSError, EOFError, wave.Error):
        plain = False
    if plain:
        return src
    r = subprocess.run(
        ["sox", "-V1", str(src), "-r", "8000", "-c", "1", "-b", "16", "-e", "signed-integer",
         str(dst)], capture_output=True, timeout=60,
    )
    return dst if r.returncode == 0 and dst.exists() else None


# ---------------------------------------------------------------------------------------------
# Softphones


def _silence_wav(path: Path, seconds: int) -> Path:
    if not path.exists():
        write_wav(path, array.array("h", bytes(2 * 8000 * seconds)))
    return path


class _Peer:
    kind = "peer"
    codecs: tuple[str, ...] = ()

    def __init__(self, work_dir, user: str, registrar_port: int, codec: str,
                 mic_wav=None, record: bool = True):
        if codec not in self.codecs:
            raise ValueError(f"{self.kind} has no {codec} here (only {', '.join(self.codecs)})")
        self.user, self.registrar_port, self.codec = str(user), int(registrar_port), codec
        self.record = record
        self.dir = Path(work_dir).resolve() / f"{self.kind}-{self.user}"
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        self.mic_wav = Path(mic_wav).resolve() if mic_wav else None
        self.sip_port = free_port()
        self.rtp_port = free_port_pair()
        self.process: Process | None = None

    @property
    def pid(self) -> int:
        return self.process.pid

    def output(self) -> str:
        return self.process.output() if self.process else ""

    def uri(self, user: str) -> str:
        return f"sip:{user}@127.0.0.1:{self.registrar_port}"

    def _wait_for_another(self, established_count, timeout: float) -> bool:
        """True once more calls were established than any earlier wait saw."""
        def another():
            n = established_count()
            if n > self._established_seen:
                self._established_seen = n
                return True
            return False
        return wait_until(another, timeout)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Baresip(_Peer):
    """baresip 1.0, driven through its ctrl_tcp module (netstring JSON commands and events)."""

    kind = "baresip"
    codecs = ("PCMU", "PCMA", "AMR")
    # Overridable for experiments (selftest varies them).
    audio_buffer = "20-160"
    # ALSA's null device takes samples as fast as they come, so its player thread spins (one
    # core while in a call). aubridge's player is never drained without a source of the same
    # name: no device, no thread; what it would play only overflows the playout buffer.
    audio_player = "aubridge,nowhere"
    jitter_buffer_delay: str | None = None  # None: baresip's own default (5-10 frames)

    def __init__(self, work_dir, user, registrar_port, codec="PCMU", mic_wav=None, record=True):
        super().__init__(work_dir, user, registrar_port, codec, mic_wav, record)
        self.ctrl_port = free_port(socket.SOCK_STREAM)
        # Without a file its source would need a device; a silent file keeps it off the hardware.
        mic = self.mic_wav or _silence_wav(self.dir / "silence.wav", 60)
        module = "amr.so" if codec == "AMR" else "g711.so"
        lines = [
            "poll_method epoll",
            f"sip_listen 127.0.0.1:{self.sip_port}",
            "net_interface 127.0.0.1",
            f"audio_player {self.audio_player}",
            f"audio_alert {self.audio_player}",
            f"audio_source aufile,{mic}",
            f"audio_buffer {self.audio_buffer}",
        ]
        if self.jitter_buffer_delay:
            lines.append(f"jitter_buffer_delay {self.jitter_buffer_delay}")
        lines += [
            f"rtp_ports {self.rtp_port}-{self.rtp_port + 1}",
            "call_local_timeout 120",
            f"snd_path {self.dir}",
            f"ctrl_tcp_listen 127.0.0.1:{self.ctrl_port}",
            "module_path /usr/lib/baresip/modules",
            f"module {module}",
            "module aufile.so",
            f"module {self.audio_player.split(',')[0]}.so",
        ]
        if record:
            lines.append("module sndfile.so")
        lines += ["module_tmp account.so", "module_app menu.so", "module_app ctrl_tcp.so"]
        (self.dir / "config").write_text("\n".join(lines) + "\n")
        (self.dir / "accounts").write_text(
            f"<sip:{self.user}@127.0.0.1:{registrar_port}>;answermode=auto;regint=600;"
            f"audio_codecs={codec}\n")
        (self.dir / "contacts").write_text("")
        self.process = Process(["baresip", "-f", str(self.dir), "-v"], self.dir / "output.log")
        self._sock: socket.socket | None = None
        self._buf = b""
        self.events: list[dict] = []
        self._established_seen = 0
        if not wait_until(self._connect, 5.0, 0.05):
            self.stop()
            raise RuntimeError(f"baresip {user}: no ctrl_tcp:\n{self.output()[-2000:]}")

    def _connect(self) -> bool:
        if not self.process.alive():
            raise RuntimeError(f"baresip {self.user} ended:\n{self.output()[-2000:]}")
        try:
            self._sock = socket.create_connection(("127.0.0.1", self.ctrl_port), timeout=0.5)
            self._sock.settimeout(0.05)
            return True
        except OSError:
            return False

    def _pump(self) -> None:
        import json
        if not self._sock:
            return
        while True:
            try:
                chunk = self._sock.recv(65536)
            except (socket.timeout, BlockingIOError):
                break
            except OSError:
                chunk = b""
            if not chunk:
                self._sock.close()
                self._sock = None
                break
            self._buf += chunk
        while True:
            colon = self._buf.find(b":")
            if colon < 0:
                break
            n = int(self._buf[:colon])
            if len(self._buf) < colon + 1 + n + 1:
                break
            payload = self._buf[colon + 1:colon + 1 + n]
            self._buf = self._buf[colon + 2 + n:]
            with contextlib.suppress(ValueError):
                self.events.append(json.loads(payload))

    def command(self, command: str, params: str = "") -> None:
        import json
        body = json.dumps({"command": command, "params": params, "token": command}).encode()
        if self._sock:
            self._sock.sendall(str(len(body)).encode() + b":" + body + b",")

    def _has_event(self, kind: str) -> bool:
        self._pump()
        return any(e.get("type") == kind for e in self.events)

    def wait_registered(self, timeout: float = 10.0) -> bool:
        # The first REGISTER may be answered before ctrl_tcp is connected: its log line is kept.
        mark = re.compile(rf"(?m)^{re.escape(self.user)}@127\.0\.0\.1: .*200 OK.*binding")
        return wait_until(lambda: self._has_event("REGISTER_OK") or bool(mark.search(self.output())),
                          timeout)

    def call(self, user: str) -> None:
        self.command("dial", self.uri(user))

    def wait_established(self, timeout: float = 10.0) -> bool:
        def established():
            self._pump()
            return sum(1 for e in self.events if e.get("type") == "CALL_ESTABLISHED")
        return self._wait_for_another(established, timeout)

    def hang_up(self) -> None:
        self.command("hangup")
        wait_until(lambda: self._has_event("CALL_CLOSED"), 3.0)

    def stop(self) -> None:
        if self.process:
            if self.process.alive() and self._sock:
                with contextlib.suppress(OSError):
                    self.command("quit")
                self.process.wait(3.0)
            self.process.stop()
        if self._sock:
            self._sock.close()
            self._sock = None

    def recording_raw(self) -> Path | None:
        found = sorted(self.dir.glob("dump-*-dec.wav"), key=lambda p: p.stat().st_mtime)
        return found[-1] if found else None

    def recording(self) -> Path | None:
        raw = self.recording_raw()
        return to_8k_mono(raw, self.dir / "received-8k.wav") if raw else None


class Linphonec(_Peer):
    """linphonec 5.1 driven through its standard input, in its file mode (no sound card)."""

    kind = "linphonec"
    codecs = ("G729", "PCMU", "PCMA")
    jitter_comp_ms = 60  # audio_jitt_comp; overridable for experiments
    _CONNECTED = "connected."
    _established_seen = 0

    # Every format it knows is listed: one left out would be added back with its own default.
    _FORMATS = [
        ("opus", 48000, 2), ("speex", 16000, 1), ("speex", 8000, 1), ("PCMU", 8000, 1),
        ("PCMA", 8000, 1), ("GSM", 8000, 1), ("G722", 8000, 1), ("G729", 8000, 1),
        ("speex", 32000, 1), ("G726-16", 8000, 1), ("G726-24", 8000, 1), ("G726-32", 8000, 1),
        ("G726-40", 8000, 1), ("AAL2-G726-16", 8000, 1), ("AAL2-G726-24", 8000, 1),
        ("AAL2-G726-32", 8000, 1), ("AAL2-G726-40", 8000, 1), ("L16", 44100, 2),
        ("L16", 44100, 1),
    ]

    def __init__(self, work_dir, user, registrar_port, codec="G729", mic_wav=None, record=True):
        super().__init__(work_dir, user, registrar_port, codec, mic_wav, record)
        home = self.dir / "home"
        # Without ~/.local/share/linphone it opens no SIP port at all.
        (home / ".local" / "share" / "linphone").mkdir(parents=True)
        (home / ".config").mkdir()
        self.record_path = self.dir / "received.wav"
        # No GRUU: its Contact would be the bare address of record, which routes back into the
        # proxy, so that no in-dialog request would ever reach linphonec.
        text = (
            f"[sip]\nbind_address=127.0.0.1\nsip_port={self.sip_port}\n"
            "sip_tcp_port=0\nsip_tls_port=0\nsupported=replaces\nauto_send_ringing=1\n"
            "register_only_when_network_is_up=0\nregister_only_when_upnp_is_ok=0\n"
            "inc_timeout=30\ndefault_proxy=0\n"
            f"[rtp]\naudio_rtp_port={self.rtp_port}\naudio_jitt_comp={self.jitter_comp_ms}\n"
            "[video]\ncapture=0\ndisplay=0\nautomatically_initiate=0\nautomatically_accept=0\n"
            f"[proxy_0]\nreg_proxy=<sip:127.0.0.1:{registrar_port}>\n"
            f"reg_identity=sip:{self.user}@127.0.0.1\nreg_expires=600\nreg_sendregister=1\n"
            "publish=0\n"
        )
        for i, (mime, rate, channels) in enumerate(self._FORMATS):
            text += (f"[audio_codec_{i}]\nmime={mime}\nrate={rate}\nchannels={channels}\n"
                     f"enabled={1 if mime == codec else 0}\n")
        (self.dir / "linphonerc").write_text(text)
        env = dict(os.environ, HOME=str(home), XDG_DATA_HOME=str(home / ".local" / "share"),
                   XDG_CONFIG_HOME=str(home / ".config"))
        self.process = Process(["linphonec", "-c", str(self.dir / "linphonerc"), "-a"],
                               self.dir / "output.log", stdin=subprocess.PIPE, env=env)
        self.command("soundcard use files")
        if self.mic_wav:
            self.command(f"play {self.mic_wav}")
        if record:
            self.command(f"record {self.record_path}")

    def command(self, line: str) -> bool:
        try:
            self.process.popen.stdin.write((line + "\n").encode())
            self.process.popen.stdin.flush()
            return True
        except (OSError, ValueError):
            return False

    def _has(self, text: str) -> bool:
        return text in self.output()

    def wait_registered(self, timeout: float = 10.0) -> bool:
        def registered():
            if self._has("registered, identity="):
                return True
            self.command("status register")
            time.sleep(0.2)
            return self._has("registered, identity=")
        return wait_until(registered, timeout)

    def call(self, user: str) -> None:
        self.command(f"call {self.uri(user)}")

    def wait_established(self, timeout: float = 10.0) -> bool:
        return self._wait_for_another(lambda: self.output().count(self._CONNECTED), timeout)

    def hang_up(self) -> None:
        self.command("terminate")

    def stop(self) -> None:
        if self.process:
            # Its own quit closes the recording properly.
            if self.process.alive() and self.command("quit"):
                self.process.wait(5.0)
            self.process.stop()

    def recording_raw(self) -> Path | None:
        return self.record_path if self.record_path.exists() else None

    def recording(self) -> Path | None:
        raw = self.recording_raw()
        return to_8k_mono(raw, self.dir / "received-8k.wav") if raw else None


# ---------------------------------------------------------------------------------------------
# Mouth-to-ear: marker file, marker search, strace I/O time lines

MARKER_MS = 50
MARKER_PERIOD_S = 2.0
MARKER_LEAD_S = 1.0


def marker_burst(rate: int = 8000) -> list[float]:
    """50 ms of 500-2500 Hz noise (random-phase sines, Hann window), the same on every run."""
    rng = random.Random(20240611)
    n = rate * MARKER_MS // 1000
    freqs = [500 + 2000 * i / 39 for i in range(40)]
    phases = [rng.uniform(0, 2 * math.pi) for _ in freqs]
    out = []
    for i in range(n):
        t = i / rate
        v = sum(math.sin(2 * math.pi * f * t + p) for f, p in zip(freqs, phases))
        out.append(v * (0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1))))
    peak = max(abs(v) for v in out)
    return [v / peak for v in out]


def make_marker_wav(path, seconds: float = 20.0, level: float = 0.5) -> list[int]:
    """Silence with a burst every MARKER_PERIOD_S from MARKER_LEAD_S on; the bursts' start
    samples (8 kHz)."""
    total = int(seconds * 8000)
    samples = array.array("h", bytes(2 * total))
    burst = marker_burst()
    onsets = []
    t = MARKER_LEAD_S
    while (t + MARKER_MS / 1000) * 8000 < total:
        start = int(round(t * 8000))
        for i, v in enumerate(burst):
            samples[start + i] = int(round(v * level * 32767))
        onsets.append(start)
        t += MARKER_PERIOD_S
    write_wav(path, samples)
    return onsets


def _ncc(x, tpl, at: int) -> float:
    seg = x[at:at + len(tpl)]
    if len(seg) < len(tpl):
        return 0.0
    num = sum(a * b for a, b in zip(seg, tpl))
    e = math.sqrt(sum(a * a for a in seg) * sum(b * b for b in tpl))
    return num / e if e > 0 else 0.0


def find_markers(samples, rate: int = 8000, min_score: float = 0.5) -> list[tuple[int, float]]:
    """Start samples (and correlation scores) of the marker bursts in a recording at 8 kHz.

    Bursts are located by their energy (the file is silent between them), then placed by
    normalised cross-correlation with the reference within +-20 ms of the energy onset."""
    if rate != 8000:
        raise ValueError("markers are looked for at 8 kHz")
    tpl = marker_burst()
    hop = 40  # 5 ms
    energy = []
    for i in range(0, len(samples) - hop, hop):
        seg = samples[i:i + hop]
        energy.append(sum(v * v for v in seg) / hop)
    if not energy:
        return []
    peak = max(energy)
    if peak <= 0:
        return []
    thr = peak * 0.02
    found = []
    i = 0
    while i < len(energy):
        if energy[i] > thr and all(e <= thr for e in energy[max(0, i - 40):i]):
            rough = i * hop
            best = max(((_ncc(samples, tpl, a), a)
                        for a in range(max(0, rough - 200), rough + 160)), default=(0.0, 0))
            if best[0] >= min_score:
                found.append((best[1], best[0]))
            i += int(MARKER_PERIOD_S * 8000 / hop / 2)  # one burst per half period at most
        else:
            i += 1
    return found


def wav_data_offset(path) -> tuple[int, int, int, int]:
    """(byte offset of the data chunk, rate, channels, bytes per sample) of a PCM WAV."""
    with open(path, "rb") as f:
        head = f.read(12)
        if head[:4] != b"RIFF" or head[8:12] != b"WAVE":
            raise ValueError(f"{path}: not a WAV file")
        rate = channels = width = 0
        while True:
            h = f.read(8)
            if len(h) < 8:
                raise ValueError(f"{path}: no data chunk")
            tag, size = h[:4], int.from_bytes(h[4:], "little")
            if tag == b"fmt ":
                fmt = f.read(size)
                channels = int.from_bytes(fmt[2:4], "little")
                rate = int.from_bytes(fmt[4:8], "little")
                width = int.from_bytes(fmt[14:16], "little") // 8
                continue
            if tag == b"data":
                return f.tell(), rate, channels, width
            f.seek(size + (size & 1), 1)


_ST_LINE = re.compile(r"^(?:\[pid\s+)?(\d+)\]?\s+(\d+\.\d+)\s+(.*)$")
_ST_CALL = re.compile(
    r"^(openat|read|write|pread64|pwrite64|lseek|sendto)\((\d+)<([^>]*)>?,?(.*)\)\s+=\s+(-?\d+)")


def strace_io(path, file_path) -> list[tuple[float, str, int, int]]:
    """(wall time of entry, 'r'/'w', first byte, bytes) of each read or write of file_path in
    an `strace -f -ttt -y` log, with file offsets followed through lseek and p{read,write}64."""
    file_path = str(file_path)
    pending: dict[str, tuple[float, str]] = {}
    offsets: dict[int, int] = {}
    out = []
    for raw in Path(path).read_text(errors="replace").splitlines():
        m = _ST_LINE.match(raw)
        if not m:
            continue
        tid, t, rest = m.group(1), float(m.group(2)), m.group(3)
        if rest.endswith("<unfinished ...>"):
            pending[tid] = (t, rest[: -len("<unfinished ...>")])
            continue
        if rest.startswith("<... "):
            if tid not in pending:
                continue
            t, head = pending.pop(tid)
            rest = head + rest[rest.index("resumed>") + len("resumed>"):]
        if rest.startswith("openat("):
            mm = re.search(r'"([^"]*)".*=\s+(\d+)<', rest)
            if mm and mm.group(1) == file_path:
                offsets[int(mm.group(2))] = 0
            continue
        mm = _ST_CALL.match(rest)
        if not mm or mm.group(3) != file_path:
            continue
        call, fd, args, result = mm.group(1), int(mm.group(2)), mm.group(4), int(mm.group(5))
        if result < 0:
            continue
        if call == "lseek":
            offsets[fd] = result
        elif call in ("read", "write"):
            at = offsets.get(fd, 0)
            if result > 0:
                out.append((t, "r" if call == "read" else "w", at, result))
            offsets[fd] = at + result
        elif call in ("pread64", "pwrite64"):
            off = int(args.rsplit(",", 1)[1])
            if result > 0:
                out.append((t, "r" if call == "pread64" else "w", off, result))
    return out


def _strace(pids: list[int], log_path: Path) -> Process:
    args = ["strace", "-f", "-ttt", "-y", "-s", "0", "-o", str(log_path),
            "-e", "trace=openat,read,write,pread64,pwrite64,lseek"]
    for p in pids:
        args += ["-p", str(p)]
    proc = Process(args, log_path.with_suffix(".err"))
    if not wait_until(lambda: proc.output().count("attached") >= len(pids), 3.0):
        proc.stop()
        raise RuntimeError("strace did not attach: " + proc.output()[-500:])
    return proc


def _ulaw(b: int) -> int:
    b = ~b & 0xFF
    t = ((b & 0x0F) << 3) + 0x84
    t <<= (b & 0x70) >> 4
    return (0x84 - t) if b & 0x80 else (t - 0x84)


def _alaw(b: int) -> int:
    b ^= 0x55
    t = (b & 0x0F) << 4
    seg = (b & 0x70) >> 4
    t = t + 8 if seg == 0 else ((t + 0x108) << (seg - 1))
    return t if b & 0x80 else -t


_G711 = {0: [_ulaw(i) for i in range(256)], 8: [_alaw(i) for i in range(256)]}


class MouthToEar:
    """delays_ms: one per marker found at both ends, or None; reason says why or what."""

    def __init__(self, delays_ms, reason: str, details: dict | None = None):
        self.delays_ms, self.reason, self.details = delays_ms, reason, details or {}

    def summary(self) -> str:
        if not self.delays_ms:
            return f"none ({self.reason})"
        d = sorted(self.delays_ms)
        return (f"median {d[len(d) // 2]:.0f} ms, {d[0]:.0f}-{d[-1]:.0f} ms over {len(d)} "
                f"markers")

    def __repr__(self):
        return f"MouthToEar({self.summary()})"


def _sent_stream_markers(packets, src_port: int):
    """Marker onsets in what one RTP sender put on the wire, decoded where the payload is
    G.711: [(wire time, stream sample)], plus [(rtp timestamp offset, wire time)] per packet."""
    pk = [p for p in packets if p.src_port == src_port]
    if not pk:
        return None, []
    ts0 = pk[0].timestamp
    by_ts = [((p.timestamp - ts0) & 0xFFFFFFFF, p.wall) for p in pk]
    table = _G711.get(pk[0].payload_type)
    if table is None:
        return None, by_ts
    samples = array.array("h")
    owner = []
    for p in pk:
        samples.extend(table[b] for b in p.payload)
        owner.extend([p.wall] * len(p.payload))
    return [(owner[s], s) for s, _ in find_markers(samples)], by_ts


def _anchor_estimates(events, data_off: int, bytes_per_s: int, model: str):
    """(file position in s, estimate of the wall time of the stream's sample 0) per buffered
    read or write of a stream taken or given at a steady pace.
    'read-ahead': block k+1 is read when the source first takes from block k, i.e. at most one
    tick before block k's first sample is due (and late when the process is held up);
    'write-full': a block is written once its last byte is in, never before (late when held
    up)."""
    out = []
    if model == "read-ahead":
        for prev, cur in zip(events, events[1:]):
            if prev[2] >= data_off and cur[2] == prev[2] + prev[3]:
                pos = (prev[2] - data_off) / bytes_per_s
                out.append((pos, cur[0] - pos))
    else:
        for t, _, off, n in events:
            if off + n > data_off + 2048:
                pos = (off + n - data_off) / bytes_per_s
                out.append((pos, t - pos))
    return out


def _local_anchor(estimates, pos: float, model: str, window: float = 1.5, tick: float = 0.01):
    """Wall time of sample 0 that holds around file position pos (s), from the estimates
    within +-window: the clock may slip between the ends of a call (jitter buffer changes), a
    held-up process gives late estimates only. None without estimates there."""
    near = [v for p, v in estimates if abs(p - pos) <= window]
    if not near:
        return None
    low = min(near)
    if model == "read-ahead":
        # Exact ones lie up to one tick above the lowest; later ones were held up.
        return max(v for v in near if v <= low + tick * 0.95)
    return low


def _ts_time(by_ts, s: int) -> float:
    """Wire time of the packet carrying stream sample s, from (time stamp offset, time) pairs;
    across a silence gap (DTX), the first packet after it."""
    steps = sorted(b[0] - a[0] for a, b in zip(by_ts, by_ts[1:]) if b[0] > a[0])
    frame = steps[len(steps) // 2] if steps else 160
    return next((w for d, w in by_ts if d + frame > s), math.nan)


def measure_peer_mouth_to_ear(kind: str, codec: str, work_dir, registrar_port: int,
                              seconds: float = 16.0, settings: dict | None = None) -> MouthToEar:
    """One call from a `kind` peer to another through the registrar, a marker every 2 s in the
    caller's microphone file, both ends anchored in time by strace (and, for baresip's sending
    side, by the RTP it sends): the delay of each marker in ms. settings: class attributes to
    override (audio_buffer, jitter_buffer_delay for baresip; jitter_comp_ms for linphonec)."""
    cls = {"baresip": Baresip, "linphonec": Linphonec}[kind]
    if not shutil.which("strace"):
        return MouthToEar(None, "strace is not installed (apt-get install strace)")
    work = Path(work_dir).resolve() / f"m2e-{kind}-{codec}-{os.getpid()}-{time.monotonic_ns()}"
    work.mkdir(parents=True)
    mic = work / "marker.wav"
    onsets = make_marker_wav(mic, seconds)
    sub = type(cls.__name__, (cls,), dict(settings or {}))
    tag = f"{time.monotonic_ns() % 100000:05d}"
    caller = callee = tracer = sniffer = None
    details: dict = {"settings": dict(settings or {})}
    try:
        try:
            from sip_sniff import SipSniffer
        except ImportError:
            sys.path.insert(0, str(HERE))
            from sip_sniff import SipSniffer
        try:
            sniffer = SipSniffer(keep_rtp=True)
        except OSError as e:
            if kind == "baresip":
                return MouthToEar(None, f"no raw socket for baresip's sending side: {e}")
            sniffer = None
        caller = sub(work, "m2ea" + tag, registrar_port, codec, mic, record=False)
        callee = sub(work, "m2eb" + tag, registrar_port, codec, None, record=True)
        if not (caller.wait_registered(10) and callee.wait_registered(10)):
            return MouthToEar(None, "the peers did not register")
        pids = [callee.pid] + ([caller.pid] if kind == "linphonec" else [])
        trace_log = work / "strace.log"
        tracer = _strace(pids, trace_log)
        if sniffer:
            sniffer.start()
        caller.call(callee.user)
        if not (caller.wait_established(10) and callee.wait_established(10)):
            return MouthToEar(None, "the call was not established")
        time.sleep(seconds + 0.5)
        caller.hang_up()
        time.sleep(0.5)
        tracer.stop()
        tracer = None
        if sniffer:
            sniffer.stop()
        caller.stop()
        callee.stop()

        raw = callee.recording_raw()
        rec = callee.recording()
        if not raw or not rec:
            return MouthToEar(None, "the callee recorded nothing")
        data_off, rate, channels, width = wav_data_offset(raw)
        bps = rate * channels * width
        r8, s8 = read_wav(rec)
        heard = find_markers(s8)
        details["markers_sent"] = len(onsets)
        details["markers_heard"] = len(heard)
        if not heard:
            return MouthToEar(None, "no marker found in the callee's recording", details)
        writes = strace_io(trace_log, raw)
        writes = [w for w in writes if w[1] == "w"]
        if not writes:
            return MouthToEar(None, "strace saw no writes of the recording", details)

        # Ear: when the recorder took each marker's first sample.
        ear = []
        if kind == "baresip":
            # One write per decoded frame: each write's time stamps the samples it carries.
            sizes = sorted(n for _, _, off, n in writes if off >= data_off)
            details["recorder_write_bytes"] = sizes[len(sizes) // 2] if sizes else None
            details["ear_anchor"] = "sndfile write per decoded frame (before audio_buffer)"
            for s, score in heard:
                byte = data_off + int(s * rate / 8000) * channels * width
                t = next((t for t, _, off, n in writes if off <= byte < off + n), None)
                if t is not None:
                    ear.append((t, score))
        else:
            est = _anchor_estimates(writes, data_off, bps, "write-full")
            details["ear_anchor"] = ("MSFileRec's buffered writes, the earliest within 1.5 s "
                                     "of each marker")
            late = sorted(v for _, v in est)
            if late:
                details["recorder_late_writes_ms"] = round((late[-1] - late[0]) * 1000)
            for s, score in heard:
                t0 = _local_anchor(est, s / 8000, "write-full")
                if t0 is not None:
                    ear.append((t0 + s / 8000, score))

        # Mouth: when the caller's source handed over each marker's first sample.
        mouth = []
        if kind == "baresip":
            wire, by_ts = _sent_stream_markers(sniffer.rtp, caller.rtp_port)
            if not by_ts:
                return MouthToEar(None, "the sniffer saw no RTP from the caller", details)
            # baresip's source starts with the call at the file's first sample: RTP time
            # stamps count file samples.
            by_rtp = [_ts_time(by_ts, s) for s in onsets]
            by_rtp = [None if math.isnan(t) else t for t in by_rtp]
            if wire is not None:
                details["mouth_anchor"] = "markers found in the caller's RTP (G.711 decoded)"
                mouth = [w for w, _ in wire]
                # The same instants from the time stamps: checks the file-order assumption
                # that AMR has to rely on.
                diffs = [abs(a - b) * 1000 for a, b in zip(mouth, by_rtp) if b is not None]
                details["rtp_timestamp_vs_decoded_ms"] = round(max(diffs), 1) if diffs else None
            else:
                details["mouth_anchor"] = "caller's RTP time stamps as file positions"
                mouth = [t for t in by_rtp if t is not None]
        else:
            reads = [r for r in strace_io(trace_log, mic) if r[1] == "r"]
            m_off, m_rate, m_ch, m_w = wav_data_offset(mic)
            # Only the reads in the call: linphonec reads the file again as the call ends.
            first = next((i for i, r in enumerate(reads) if r[2] >= m_off), None)
            reads = reads[first:] if first is not None else []
            ends = [i for i in range(1, len(reads)) if reads[i][2] < reads[i - 1][2]]
            reads = reads[:ends[0]] if ends else reads
            est = _anchor_estimates(reads, m_off, m_rate * m_ch * m_w, "read-ahead")
            if not est:
                return MouthToEar(None, "strace saw no paced reads of the microphone file",
                                  details)
            details["mouth_anchor"] = ("MSFilePlayer's read-ahead blocks, the latest exact one "
                                       "within 1.5 s of each marker")
            mouth = []
            for s in onsets:
                t0 = _local_anchor(est, s / 8000, "read-ahead")
                mouth.append(t0 + s / 8000 if t0 is not None else math.nan)
            # Check against the wire: the packet carrying each marker leaves after the source
            # handed it over, by packetisation and a tick or two, not before and not much later.
            wire, by_ts = _sent_stream_markers(sniffer.rtp, caller.rtp_port) if sniffer else (None, [])
            if wire:
                sent = [w for w, _ in wire]
                details["source_to_wire_from"] = "G.711-decoded RTP"
            elif by_ts:
                sent = [_ts_time(by_ts, s) for s in onsets]
                details["source_to_wire_from"] = "RTP time stamps as file positions"
            else:
                sent = []
            if sent:
                d = [(w - m) * 1000 for w, m in zip(sent, mouth)
                     if not (math.isnan(w) or math.isnan(m))]
                details["source_to_wire_ms"] = [round(x, 1) for x in d]
                # Time stamps as file positions hold to a frame or so only.
                low = -5 if wire else -25
                if not all(low <= x <= 80 for x in d):
                    return MouthToEar(None, "the microphone anchor disagrees with the RTP sent "
                                      f"(source to wire {details['source_to_wire_ms']} ms)",
                                      details)
        delays = []
        for t_ear, score in ear:
            before = [m for m in mouth if m < t_ear and t_ear - m < MARKER_PERIOD_S]
            if before:
                delays.append(round((t_ear - max(before)) * 1000, 1))
        details["scores"] = [round(sc, 2) for _, sc in heard]
        if not delays:
            return MouthToEar(None, "no marker could be paired between the ends", details)
        return MouthToEar(delays, "ok", details)
    finally:
        if tracer:
            tracer.stop()
        for peer in (caller, callee):
            if peer:
                peer.stop()
        if sniffer and sniffer._thread and sniffer._thread.is_alive():
            sniffer.stop()


def mouth_to_ear_ms(kind: str, codec: str, work_dir, registrar_port: int, **kw):
    """The delays in ms, or None; see measure_peer_mouth_to_ear for the reason."""
    return measure_peer_mouth_to_ear(kind, codec, work_dir, registrar_port, **kw).delays_ms


# ---------------------------------------------------------------------------------------------
# Self-test


def _in_private_netns() -> bool:
    # Interfaces of this process's network namespace (sysfs would show the mount's).
    return [name for _, name in socket.if_nameindex()] == ["lo"]


def selftest(work_dir=None) -> int:
    import tempfile
    sys.path.insert(0, str(HERE))
    from sip_sniff import SipSniffer

    work = Path(work_dir or tempfile.mkdtemp(prefix="corvel-peers-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    os.chmod(work, 0o755)
    started = time.monotonic()
    rows = []
    ok = True
    mic = work / "tone.wav"
    write_wav(mic, [int(8000 * math.sin(2 * math.pi * 1000 * i / 8000)) for i in range(8000 * 8)])
    print(f"work folder {work}")
    with kamailio(work) as (_, port):
        print(f"Kamailio on 127.0.0.1:{port}")
        for cls, codec, users in ((Baresip, "PCMU", ("3001", "3002")),
                                  (Linphonec, "G729", ("3003", "3004"))):
            sniffer = SipSniffer().start()
            a = cls(work, users[0], port, codec, mic, record=True)
            b = cls(work, users[1], port, codec, mic, record=True)
            try:
                reg = (a.wait_registered(10), b.wait_registered(10))
                print(f"{cls.kind} {users[0]} registered: {reg[0]}, {users[1]}: {reg[1]}")
                ok &= all(reg)
                for caller, callee in ((a, b), (b, a)):
                    before = set(sniffer.calls)
                    caller.call(callee.user)
                    est = caller.wait_established(10) and callee.wait_established(10)
                    sniffer.wait_for_setup(2.0, len(before) + 1)
                    time.sleep(2.0)
                    caller.hang_up()
                    time.sleep(1.0)
                    new = [c for c in sniffer.calls if c not in before]
                    times = [sniffer.calls[c] for c in new]
                    setup = times[0].setup_ms() if times else None
                    rtp = (min(times[0].first_rtp.values()) - times[0].ok) * 1000 \
                        if times and times[0].first_rtp and times[0].ok else None
                    rows.append((f"{cls.kind} {codec} {caller.user}->{callee.user}",
                                 "established" if est else "FAILED",
                                 f"{setup:.1f} ms" if setup is not None else "-",
                                 f"{rtp:.1f} ms" if rtp is not None else "-"))
                    ok &= est and setup is not None
            finally:
                a.stop()
                b.stop()
                sniffer.stop()
            rec = b.recording()
            heard = "none"
            if rec:
                _, s8 = read_wav(rec)
                zero = sum(1 for x, y in zip(s8, s8[1:]) if (x < 0) != (y < 0))
                heard = f"{len(s8) / 8000:.1f} s, ~{zero * 8000 / 2 / max(1, len(s8)):.0f} Hz"
            print(f"{cls.kind} {users[1]} recording (1 kHz tone sent): {heard}")

        print()
        print(f"{'call':34} {'state':12} {'INVITE->200':>12} {'200->RTP':>10}")
        for r in rows:
            print(f"{r[0]:34} {r[1]:12} {r[2]:>12} {r[3]:>10}")
        print()
        cases = [
            ("baresip", "PCMU", {}),
            ("baresip", "PCMU", {"jitter_buffer_delay": "1-2"}),
            ("baresip", "PCMU", {"audio_buffer": "80-320"}),
            ("linphonec", "G729", {}),
            ("linphonec", "G729", {"jitter_comp_ms": 200}),
            ("linphonec", "PCMU", {}),
        ]
        print(f"{'mouth-to-ear':48} result")
        for kind, codec, settings in cases:
            r = measure_peer_mouth_to_ear(kind, codec, work, port, seconds=10.0,
                                          settings=settings)
            label = f"{kind} {codec} " + (" ".join(f"{k}={v}" for k, v in settings.items())
                                           or "(defaults)")
            print(f"{label:48} {r.summary()}")
            extra = {k: v for k, v in r.details.items()
                     if k in ("source_to_wire_ms", "rtp_timestamp_vs_decoded_ms",
                              "recorder_late_writes_ms")}
            if r.delays_ms:
                print(f"{'':48} {r.delays_ms} {extra}")
            if not settings:
                ok &= r.delays_ms is not None
    print(f"\nselftest {'passed' if ok else 'FAILED'} in {time.monotonic() - started:.0f} s")
    return 0 if ok else 1


def main(argv) -> int:
    if len(argv) >= 2 and argv[1] == "selftest":
        if not _in_private_netns():
            if os.environ.get("CORVEL_PEERS_NETNS"):
                print("not in a private network namespace", file=sys.stderr)
                return 1
            env = dict(os.environ, CORVEL_PEERS_NETNS="1")
            try:
                return subprocess.run(
                    ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sh",
                     sys.executable, *argv], env=env).returncode
            except KeyboardInterrupt:
                return 130
        return selftest(argv[2] if len(argv) > 2 else None)
    print(__doc__)
    print("usage: peers.py selftest [WORK_DIR]")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
