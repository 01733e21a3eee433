#!/usr/bin/env python3
"""What Corvel costs while it waits and while it talks, and how late the other side's voice
arrives, measured side by side with baresip and linphonec in the same run.

    bench/softphone/bench.py [--seconds N] [--out DIR] [--phases corvel,peers,network,m2e,link]

Runs in a private network namespace (it re-executes itself in one) with the whole local service
(tools/localservice: account server, NAT helper, Kamailio) and the real client under Xvfb,
driven with xdotool. Needs a build in build/ (scripts/test.sh or scripts/run.sh makes one).
Prints one table; DIR (default build/bench-softphone) keeps the logs, the recordings and
results.json. Never run by ctest: it needs the machine to itself for about nine minutes.

Phases:
  idle    Corvel with its window shown, Corvel hidden in the tray, baresip and linphonec, all
          registered to the same Kamailio, measured together for N seconds.
  calls   Corvel-Corvel in PCMU, G.729 and AMR; baresip-baresip in PCMU; linphonec-linphonec in
          G.729; each for N seconds, both sides measured. The caller's microphone plays noise
          with a chirp every 2 s; the chirps' arrival in the callee's recording gives the
          mouth-to-ear delay (Corvel's file backend notes when each stream's first sample
          counts; the peers are anchored by tracing their file and socket I/O, see peers.py).
  network Corvel-Corvel through impair_relay.py (20 ms +- 10 ms jitter, 1 % loss) at the
          default playout delay and at a low one: mouth-to-ear, and the share of 20 ms frames
          lost on the way or missing from the playout (silence where the microphone never was).
  set-up  the time from the INVITE to its 200 OK for every call, from a sniffer on loopback.
  link    the service link's datagram rate without loss (service_link_rate.cpp).
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import audio_marks  # noqa: E402
import corvel_driver as cd  # noqa: E402
import procstat  # noqa: E402

CHIRP_PERIOD = 2.0
CODECS = {  # [WAVE] settings that leave exactly one audio format to offer
    "PCMU": {"pcmu": "1,0", "pcma": "0", "g729": "0", "samr": "0"},
    "G729": {"pcmu": "0", "pcma": "0", "g729": "1,18", "samr": "0"},
    "AMR": {"pcmu": "0", "pcma": "0", "g729": "0", "samr": "1,98"},
}


def in_namespace():
    if os.environ.get("CORVEL_BENCH_NETNS"):
        return
    if subprocess.run(["unshare", "-n", "true"], capture_output=True).returncode != 0:
        sys.exit("bench: a private network namespace is needed (run as root)")
    os.execvp("unshare", ["unshare", "-n", "env", "CORVEL_BENCH_NETNS=1", "sh", "-c",
                          'ip link set lo up && exec "$0" "$@"', sys.executable,
                          os.path.abspath(__file__), *sys.argv[1:]])


class Bench:
    def __init__(self, args):
        self.args = args
        self.seconds = args.seconds
        self.out = os.path.abspath(args.out)
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        self.app = os.path.join(REPO, "build", "corvel")
        self.devservice = os.path.join(REPO, "build", "tools", "devservice", "corvel-devservice")
        self.results = {"machine": machine(), "seconds": self.seconds, "date": time.strftime(
            "%Y-%m-%d")}
        self.cleanups = []
        self.mic = os.path.join(self.out, "mic.wav")
        # Long enough for every call; the chirps' times in the file.
        self.chirps = audio_marks.make_microphone(self.mic, self.seconds + 40, CHIRP_PERIOD)

    # --- set-up -------------------------------------------------------------------------------
    def start(self):
        for tool in ("Xvfb", "trayer", "xdotool", "kamailio", "baresip", "linphonec"):
            if not shutil.which(tool):
                sys.exit(f"bench: {tool} is not installed (scripts/setup.sh installs it)")
        for path in (os.path.join(self.app, "corvel"), self.devservice):
            if not os.access(path, os.X_OK):
                sys.exit(f"bench: no {path}: build first (scripts/test.sh or scripts/run.sh)")
        self.display = cd.Display()
        self.cleanups.append(self.display.close)
        service_dir = os.path.join(self.out, "service")
        self.service = subprocess.Popen(
            [os.path.join(REPO, "tools", "localservice", "local-service"), "--devservice",
             self.devservice, "--dir", service_dir, "--account-port", "0", "--nat-port", "0",
             "--control-port", "0", "--sip-port", "0"],
            stderr=open(os.path.join(self.out, "local-service.log"), "w"))
        self.cleanups.append(lambda: stop(self.service))
        line = cd.wait_for(lambda: read(os.path.join(service_dir, "ports")), 40,
                           "the local service")
        self.ports = {k: int(v.rsplit(":", 1)[1]) for k, v in
                      (p.split("=", 1) for p in line.split() if "=" in p)}
        import sip_sniff  # noqa: E402  (needs the namespace's loopback)
        self.sniffer = sip_sniff.SipSniffer()
        self.sniffer.start()
        self.cleanups.append(self.sniffer.stop)

    def close(self):
        for cleanup in reversed(self.cleanups):
            try:
                cleanup()
            except Exception as error:  # noqa: BLE001  everything else must still stop
                print(f"bench: clean-up: {error}", file=sys.stderr)

    def corvel(self, name, wave=None):
        client = cd.Corvel(name, self.app, self.out, self.ports, self.mic, wave)
        self.cleanups.append(client.stop)
        return client

    # --- phases -------------------------------------------------------------------------------
    def idle(self):
        print(f"idle: {self.seconds} s, four registered softphones", flush=True)
        self.caller = self.corvel("corvel-a", CODECS["PCMU"])
        self.caller.log_in("demo", "demo123")
        self.caller.move(100, 100)
        self.callee = self.corvel("corvel-b", {"samr": "1,98"})  # AMR is off by default
        self.callee.log_in("demo2", "demo123")
        self.callee.move(700, 100)
        self.callee.hide()
        import peers  # noqa: E402
        self.peers = peers
        self.baresip = peers.Baresip(self.out, "3101", self.ports["sip"], "PCMU", self.mic)
        self.linphonec = peers.Linphonec(self.out, "3102", self.ports["sip"], "G729", self.mic)
        for peer in (self.baresip, self.linphonec):
            self.cleanups.append(peer.stop)
            if not peer.wait_registered(15):
                raise RuntimeError(f"{peer.kind} did not register")
        time.sleep(5)  # start-up work settles
        pids = {"Corvel (window shown)": self.caller.pid, "Corvel (in the tray)": self.callee.pid,
                "baresip": self.baresip.pid, "linphonec": self.linphonec.pid}
        threads_before = {n: procstat.per_thread_switches(p) for n, p in pids.items()}
        usage = procstat.measure(list(pids.values()), self.seconds)
        self.results["idle"] = {name: vars(usage[pid]) for name, pid in pids.items()}
        # What woke each Corvel, for whoever wants to make it sleep longer.
        self.results["idle_wakers"] = {
            name: top_wakers(threads_before[name], procstat.per_thread_switches(pid), self.seconds)
            for name, pid in pids.items() if name.startswith("Corvel")}
        self.callee.show()
        self.callee.move(700, 100)
        self.setup_call()

    def setup_call(self):
        """Corvel calls an auto-answering baresip: the set-up time of Corvel's side alone."""
        print("call: Corvel -> baresip (set-up time)", flush=True)
        self.answerer = self.peers.Baresip(self.out, "80009003", self.ports["sip"], "PCMU",
                                           self.mic)
        self.cleanups.append(self.answerer.stop)
        if not self.answerer.wait_registered(15):
            raise RuntimeError("the answering baresip did not register")
        known = set(self.sniffer.calls)
        self.caller.dial("80009003")
        self.caller.wait_panel(r"80009003\|通话中\|.*", 15)
        time.sleep(2)
        self.caller.hang_up()
        self.caller.wait_panel(r"80009003\|通话结束\|.*", 10)
        self.results.setdefault("calls", {})["Corvel PCMU -> baresip"] = {
            "setup_ms": self.setup_since(known)}

    def corvel_call(self, codec, label=None, caller_wave=None, through=None, seconds=None):
        """A call from corvel-a (restarted with `caller_wave`) to corvel-b; returns the figures."""
        seconds = seconds or self.seconds
        label = label or f"Corvel {codec}"
        print(f"call: {label}, {seconds} s", flush=True)
        self.caller.stop()
        wave = dict(CODECS[codec], **(caller_wave or {}))
        ports = dict(self.ports)
        if through:
            ports["sip"] = through
        self.caller = cd.Corvel(f"corvel-a-{codec}-{len(self.results.get('calls', {}))}",
                                self.app, self.out, ports, self.mic, wave)
        self.cleanups.append(self.caller.stop)
        try:
            self.caller.log_in("demo", "demo123")
        except RuntimeError as error:
            # Seen once through the relay: a 503 to the first REGISTER. A person would log in
            # again, and so does the bench, once.
            print(f"bench: {error}; logging in again", file=sys.stderr)
            self.caller.stop()
            self.caller = cd.Corvel(self.caller.name + "-again", self.app, self.out, ports,
                                    self.mic, wave)
            self.cleanups.append(self.caller.stop)
            self.caller.log_in("demo", "demo123")
        self.caller.move(100, 100)
        mark = self.callee.panel_mark()
        self.caller.dial("80001002")
        self.callee.wait_panel(r"80001001\|.*", 15, since=mark)
        time.sleep(0.5)
        self.callee.call_button()  # 接听
        self.caller.wait_panel(r"80001002\|通话中\|.*", 20)
        time.sleep(2)  # the players' pre-buffers fill
        threads_before = procstat.per_thread_cpu(self.caller.pid)
        usage = procstat.measure([self.caller.pid, self.callee.pid], seconds)
        threads = procstat.busiest(threads_before, procstat.per_thread_cpu(self.caller.pid),
                                   seconds)
        self.caller.hang_up()
        self.callee.wait_panel(r"80001001\|通话结束\|.*", 10, since=mark)
        time.sleep(1)
        # The callee is answered by a click: the set-up time would be the clicking's.
        figures = {"caller": vars(usage[self.caller.pid]), "callee": vars(usage[self.callee.pid]),
                   "caller_threads": threads}
        figures.update(self.corvel_mouth_to_ear(self.caller, self.callee))
        figures.update(self.corvel_mouth_to_ear(self.callee, self.caller, prefix="back_"))
        self.results.setdefault("calls", {})[label] = figures
        return figures

    def corvel_mouth_to_ear(self, speaker, listener, prefix=""):
        """The chirps from speaker's microphone in listener's newest recording."""
        captures = [t for what, t in speaker.timeline() if what == "capture"]
        recordings = listener.recordings()
        if not captures or not recordings:
            return {prefix + "mouth_to_ear": None}
        recording = recordings[-1]
        opened = [t for what, t in listener.timeline() if what == os.path.basename(recording)]
        if not opened:
            return {prefix + "mouth_to_ear": None}
        spoken = [captures[-1] + c for c in self.chirps]
        heard = [opened[-1] + o for o in audio_marks.onsets(recording)]
        delays = audio_marks.delays(spoken, heard, CHIRP_PERIOD)
        silent, windows = audio_marks.gaps(recording, 1.0 + (heard[0] - opened[-1]) if heard
                                           else None, None if not heard else
                                           heard[-1] - opened[-1])
        return {prefix + "mouth_to_ear": audio_marks.summary(delays),
                prefix + "gaps": {"silent": silent, "windows": windows},
                prefix + "recording": recording}

    def corvel_calls(self):
        for codec in self.args.codecs.split(","):
            self.corvel_call(codec)

    def peer_calls(self):
        peers = self.peers
        # linphonec is asked to register at once: one left waiting for a while never did here.
        callees = {"baresip": lambda: self.answerer,
                   "linphonec": lambda: peers.Linphonec(self.out, "3104", self.ports["sip"],
                                                        "G729", self.mic)}
        for kind, codec, caller in (("baresip", "PCMU", self.baresip),
                                    ("linphonec", "G729", self.linphonec)):
            label = f"{kind} {codec}"
            print(f"call: {label}, {self.seconds} s", flush=True)
            callee = callees[kind]()
            self.cleanups.append(callee.stop)
            callee_user = callee.user
            if not callee.wait_registered(15):
                raise RuntimeError(f"{kind} callee did not register")
            known = set(self.sniffer.calls)
            caller.call(callee_user)
            if not caller.wait_established(15):
                raise RuntimeError(f"{label}: the call did not connect")
            time.sleep(2)
            usage = procstat.measure([caller.pid, callee.pid], self.seconds)
            caller.hang_up()
            time.sleep(1)
            self.results.setdefault("calls", {})[label] = {
                "caller": vars(usage[caller.pid]) if usage[caller.pid] else None,
                "callee": vars(usage[callee.pid]) if usage[callee.pid] else None,
                "setup_ms": self.setup_since(known)}
            callee.stop()

    def peer_mouth_to_ear(self):
        for kind, codec in (("baresip", "PCMU"), ("linphonec", "G729")):
            print(f"mouth-to-ear: {kind} {codec} (traced call)", flush=True)
            reason = None
            try:
                # baresip cuts the names of its recordings at 128 characters: a short folder.
                short = tempfile.mkdtemp(prefix=f"corvel-m2e-{kind}-")
                self.cleanups.append(lambda short=short: shutil.rmtree(short, True))
                measured = self.peers.measure_peer_mouth_to_ear(kind, codec, short,
                                                                self.ports["sip"])
                delays, reason = measured.delays_ms, measured.reason
            except Exception as error:  # noqa: BLE001  a peer's failure is a row, not the end
                delays, reason = None, str(error)
            if reason and not delays:
                print(f"bench: {kind} mouth-to-ear: {reason}", file=sys.stderr)
            calls = self.results.setdefault("calls", {})
            row = calls.setdefault(f"{kind} {codec}", {})
            values = delays if isinstance(delays, list) else None
            row["mouth_to_ear"] = audio_marks.summary(values) if values else None
            if kind == "baresip":
                row["mouth_to_ear_note"] = "before its playout buffer: a lower bound"

    def network(self):
        relay_dir = os.path.join(self.out, "relay")
        os.makedirs(relay_dir, exist_ok=True)
        for delay in (600, 120):
            ports_file = os.path.join(relay_dir, f"ports-{delay}")
            stats_file = os.path.join(relay_dir, f"stats-{delay}.json")
            relay = subprocess.Popen(
                [sys.executable, os.path.join(HERE, "impair_relay.py"), "--listen",
                 "127.0.0.1:0", "--upstream", f"127.0.0.1:{self.ports['sip']}", "--delay-ms",
                 "20", "--jitter-ms", "10", "--loss", "0.01", "--seed", str(delay),
                 "--ports-file", ports_file, "--stats-file", stats_file],
                stdout=subprocess.DEVNULL, stderr=open(os.path.join(relay_dir, "relay.log"), "a"))
            self.cleanups.append(lambda relay=relay: stop(relay))
            line = cd.wait_for(lambda: read(ports_file), 10, "the relay")
            port = int(line.split("=", 1)[1].rsplit(":", 1)[1])
            figures = self.corvel_call("PCMU", f"Corvel PCMU, impaired, playout {delay} ms",
                                       {"playoutDelay": str(delay)}, through=port, seconds=30)
            stop(relay)
            stats = json.loads(read(stats_file) or "{}")
            figures["relay"] = stats
            lost = relay_share(stats, "to-client")
            silent = figures.get("back_gaps") or {}
            figures["lost_share"] = lost
            figures["missing_share"] = (silent.get("silent", 0) / silent["windows"]
                                        if silent.get("windows") else None)

    def service_link(self):
        print("service link: datagram rate", flush=True)
        binary = os.path.join(REPO, "build", "bench", "corvel_service_link_rate")
        if not os.access(binary, os.X_OK):
            self.results["service_link"] = "not built (cmake --build build --target "
            "corvel_service_link_rate)"
            return
        done = subprocess.run([binary, "2"], capture_output=True, text=True, timeout=120)
        lines = done.stdout.strip().splitlines()
        self.results["service_link"] = lines[-1] if lines else done.stderr.strip()
        self.results["service_link_steps"] = lines[:-1]

    def setup_since(self, known):
        """The set-up time of the one call the sniffer saw begin since `known`."""
        fresh = [c for c in list(self.sniffer.calls) if c not in known]
        times = [self.sniffer.calls[c].setup_ms() for c in fresh]
        times = [t for t in times if t is not None]
        return min(times) if times else None

    def setup_times(self):
        self.results["setup_ms"] = self.sniffer.setup_times_ms()

    def run(self):
        phases = self.args.phases.split(",")
        self.start()
        self.idle()  # also brings up the clients every later phase uses
        if "corvel" in phases:
            self.corvel_calls()
        if "peers" in phases:
            self.peer_calls()
        if "network" in phases:
            self.network()
        if "m2e" in phases:
            self.peer_mouth_to_ear()
        if "link" in phases:
            self.service_link()
        self.setup_times()


def relay_share(stats, direction):
    """The share of RTP packets the relay dropped on their way to the client."""
    try:
        d = stats["directions"][direction]
        return d["dropped"] / d["received"] if d["received"] else None
    except (KeyError, TypeError):
        return None


def top_wakers(before, after, seconds, count=4):
    rates = sorted(((after[k] - before.get(k, 0)) / seconds, k) for k in after)
    return {k: round(r, 2) for r, k in reversed(rates[-count:]) if r > 0}


def read(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return ""


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def machine():
    model = ""
    for line in read("/proc/cpuinfo").splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    return f"{os.cpu_count()} x {model}, {os.uname().release}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--out", default=os.path.join(REPO, "build", "bench-softphone"))
    parser.add_argument("--phases", default="corvel,peers,network,m2e,link",
                        help="after idle, which of corvel,peers,network,m2e,link to run")
    parser.add_argument("--codecs", default="PCMU,G729,AMR", help="of the Corvel calls")
    args = parser.parse_args()
    in_namespace()
    bench = Bench(args)
    started = time.monotonic()
    try:
        bench.run()
    finally:
        bench.close()
        with open(os.path.join(bench.out, "results.json"), "w") as f:
            json.dump(bench.results, f, indent=1, default=str)
    import report  # noqa: E402
    print()
    print(report.table(bench.results))
    print(f"\n({time.monotonic() - started:.0f} s; {os.path.join(bench.out, 'results.json')})")


if __name__ == "__main__":
    main()
