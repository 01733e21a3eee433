#!/usr/bin/env python3
"""A SIP-aware symmetric RTP relay that puts delay, jitter, loss and reordering on the media of
one SIP client, for measuring its jitter buffer on loopback (the kernel here has no netem).

The client's SIP goes through --listen to --upstream and back; every audio stream in an SDP body
is pointed at a relay socket pair, so each side receives the other's RTP from the address it was
given in SDP, delayed and thinned as asked. RTCP passes on P+1 without impairment.

    impair_relay.py --listen 127.0.0.1:0 --upstream 127.0.0.1:5060 --ports-file ports.txt \\
        --stats-file stats.json --delay-ms 40 --jitter-ms 20 --loss 0.02 --seed 7

--trace-file adds one CSV line per RTP packet (arrival, planned delay, send time on the
system's monotonic clock), for matching against what the receiver saw.

Python 3.11, standard library only. One thread: a selector loop and a heap of due packets."""
import argparse
import heapq
import itertools
import json
import os
import random
import re
import selectors
import signal
import socket
import sys
import time

STATS_INTERVAL_S = 2.0
DEFAULT_INTERVAL_S = 0.020  # packet spacing assumed until a stream's own is measured

# Header lines are matched on bytes so that everything else in a message stays as it came.
CONTENT_TYPE_SDP = re.compile(
    rb"^(?:content-type|c)[ \t]*:[ \t]*application/sdp[ \t]*(?:;|\r?$)", re.I | re.M)
CONTENT_LENGTH = re.compile(rb"^((?:content-length|l)[ \t]*:[ \t]*)(\d+)", re.I | re.M)
CALL_ID = re.compile(rb"^(?:call-id|i)[ \t]*:[ \t]*(\S+)", re.I | re.M)
M_AUDIO = re.compile(rb"^(m=audio[ \t]+)(\d+)")
C_LINE = re.compile(rb"^(c=IN[ \t]+IP4[ \t]+)([^\s/]+)")
A_RTCP = re.compile(rb"^(a=rtcp:)(\d+)(?:([ \t]+IN[ \t]+IP4[ \t]+)([^\s/]+))?")


def log(*parts):
    print("impair_relay:", *parts, file=sys.stderr, flush=True)


def host_port(text):
    host, _, port = text.rpartition(":")
    return host, int(port)


def make_udp(host, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    # Delayed packets pile up in the heap, not in the kernel, but bursts still need room.
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    s.bind((host, port))
    s.setblocking(False)
    return s


def bind_pair(host):
    """An even RTP port and the odd one above it for RTCP, both free."""
    for _ in range(500):
        rtp = make_udp(host, 0)
        port = rtp.getsockname()[1]
        if port % 2 == 0 and port < 65535:
            try:
                return rtp, make_udp(host, port + 1)
            except OSError:
                pass
        rtp.close()
    raise RuntimeError("no free even/odd port pair")


def seq_older(seq, than):
    """True when RTP sequence number seq comes before `than` (16-bit wrap aware)."""
    return ((seq - than) & 0xFFFF) >= 0x8000


class StreamStats:
    def __init__(self):
        self.received = 0
        self.forwarded = 0
        self.dropped = 0
        self.held = 0
        self.reordered = 0
        self.unrouted = 0
        self.rtcp = 0
        self.other = 0
        self.delay_sum = 0.0
        self.delay_max = 0.0
        self.planned_sum = 0.0
        self.highest = {}  # SSRC -> highest sequence number sent so far

    def as_dict(self):
        mean = self.delay_sum / self.forwarded if self.forwarded else 0.0
        return {
            "received": self.received, "forwarded": self.forwarded, "dropped": self.dropped,
            "held": self.held, "reordered": self.reordered, "unrouted": self.unrouted,
            "rtcp_relayed": self.rtcp, "non_rtp_relayed": self.other,
            "delay_ms_mean": round(mean * 1000.0, 3),
            "delay_ms_max": round(self.delay_max * 1000.0, 3),
            "delay_ms_sum": round(self.delay_sum * 1000.0, 3),
            # What the random draws asked for; the difference to the above is scheduling.
            "planned_delay_ms_mean": round(
                self.planned_sum / self.forwarded * 1000.0 if self.forwarded else 0.0, 3),
        }


class RelayPort:
    """A relay socket pair standing in for one side's original media address. What arrives
    here comes from the other side and goes to `orig`, sent from the partner's sockets."""

    def __init__(self, host, side, orig, direction):
        self.rtp, self.rtcp = bind_pair(host)
        self.port = self.rtp.getsockname()[1]
        self.side = side
        self.orig = orig
        self.orig_rtcp = (orig[0], orig[1] + 1)
        self.direction = direction
        self.partner = None
        self.stats = StreamStats()
        self.last_arrival = None
        self.interval = DEFAULT_INTERVAL_S


class Relay:
    def __init__(self, args):
        self.args = args
        self.host, listen_port = host_port(args.listen)
        self.upstream = host_port(args.upstream)
        self.upstream = (socket.gethostbyname(self.upstream[0]), self.upstream[1])
        self.client_sip = make_udp(self.host, listen_port)
        self.upstream_sip = make_udp(self.host, 0)
        self.client_addr = None
        # select() takes its timeout in microseconds; epoll rounds up to whole milliseconds,
        # which would show as added delay. A relay has a handful of sockets, far below 1024.
        self.sel = selectors.SelectSelector()
        self.sel.register(self.client_sip, selectors.EVENT_READ, self.on_client_sip)
        self.sel.register(self.upstream_sip, selectors.EVENT_READ, self.on_upstream_sip)
        self.ports = {}  # (side, addr, port) -> RelayPort
        self.calls = {}  # Call-ID -> {"client": {m-index: RelayPort}, "far": {...}}
        self.heap = []
        self.counter = itertools.count()
        self.impair = {
            "from-client": args.direction in ("both", "from-client"),
            "to-client": args.direction in ("both", "to-client"),
        }
        self.trace_out = None
        if args.trace_file:
            self.trace_out = open(args.trace_file, "w", encoding="utf-8", buffering=1 << 16)
            self.trace_out.write("direction,relay_port,ssrc,seq,arrival_s,planned_delay_ms,"
                                 "held,fate,sent_s\n")
        self.sip_counts = {"from_client": 0, "from_upstream": 0, "rewritten": 0,
                           "pointed_upstream": 0, "dropped_no_client": 0}
        self.stop = False
        self.wake_r, self.wake_w = socket.socketpair()
        self.wake_r.setblocking(False)
        self.wake_w.setblocking(False)
        self.sel.register(self.wake_r, selectors.EVENT_READ, self.on_wake)

    # --- SIP -------------------------------------------------------------------------------

    @staticmethod
    def datagrams(sock):
        """What the socket holds now, as (data, source)."""
        while True:
            try:
                yield sock.recvfrom(65535)
            except (BlockingIOError, InterruptedError):
                return
            except OSError:
                continue

    def on_client_sip(self, sock, now):
        for data, src in self.datagrams(sock):
            self.client_addr = src
            self.sip_counts["from_client"] += 1
            data = self.point_at_upstream(data)
            self.send(self.upstream_sip, self.rewrite_sip(data, "client"), self.upstream)

    def on_upstream_sip(self, sock, now):
        for data, _ in self.datagrams(sock):
            self.sip_counts["from_upstream"] += 1
            if self.client_addr is None:
                self.sip_counts["dropped_no_client"] += 1
                continue
            self.send(self.client_sip, self.rewrite_sip(data, "far"), self.client_addr)

    def point_at_upstream(self, data):
        """A client that takes the relay for its proxy names it in Request-URIs and in the Route
        of its in-dialog requests; the proxy would not know itself there and would route them
        back here. Its name there becomes the proxy's (From, To and the rest stay as sent)."""
        ends = [i for i in (data.find(b"\r\n\r\n"), data.find(b"\n\n")) if i >= 0]
        split = min(ends) if ends else len(data)
        mine = f"{self.host}:{self.client_sip.getsockname()[1]}".encode()
        theirs = f"{self.upstream[0]}:{self.upstream[1]}".encode()
        lines = data[:split].split(b"\n")
        changed = False
        for i, line in enumerate(lines):
            if mine in line and (i == 0 or line.lower().startswith(b"route:")):
                lines[i] = line.replace(mine, theirs)
                changed = True
        if not changed:
            return data
        self.sip_counts["pointed_upstream"] += 1
        return b"\n".join(lines) + data[split:]

    def rewrite_sip(self, data, side):
        """The message with its audio streams pointed at the relay; unchanged without SDP."""
        ends = [i for i in (data.find(b"\r\n\r\n"), data.find(b"\n\n")) if i >= 0]
        if not ends:
            return data
        split = min(ends)
        sep = b"\r\n\r\n" if data.startswith(b"\r\n\r\n", split) else b"\n\n"
        head, body = data[:split], data[split + len(sep):]
        if not body or not CONTENT_TYPE_SDP.search(head):
            return data
        m = CALL_ID.search(head)
        call_id = m.group(1) if m else b""
        new_body = self.rewrite_sdp(body, side, call_id)
        if new_body == body:
            return data
        self.sip_counts["rewritten"] += 1
        head = CONTENT_LENGTH.sub(lambda mm: mm.group(1) + str(len(new_body)).encode(), head,
                                  count=1)
        return head + sep + new_body

    def rewrite_sdp(self, body, side, call_id):
        lines = body.splitlines(keepends=True)
        starts = [i for i, line in enumerate(lines) if line.startswith(b"m=")]
        first_m = starts[0] if starts else len(lines)
        session_c = next((i for i in range(first_m) if lines[i].startswith(b"c=")), None)
        session_addr = None
        if session_c is not None:
            mc = C_LINE.match(lines[session_c])
            session_addr = mc.group(2) if mc else None
        bounds = list(zip(starts, starts[1:] + [len(lines)]))

        plans = []  # (m-index, m line, media c line or None, rtcp line or None, addr, port)
        session_users = 0  # media sections relying on the session c= that stay untouched
        for index, (start, end) in enumerate(bounds):
            media_c = next((i for i in range(start + 1, end) if lines[i].startswith(b"c=")),
                           None)
            mm = M_AUDIO.match(lines[start])
            addr = None
            if media_c is not None:
                mc = C_LINE.match(lines[media_c])
                addr = mc.group(2) if mc else None
            elif session_c is not None:
                addr = session_addr
            port = int(mm.group(2)) if mm else 0
            # Rejected streams, held streams (0.0.0.0) and IPv6 stay as they are.
            if not mm or port == 0 or addr is None or addr == b"0.0.0.0":
                if media_c is None:
                    session_users += 1
                continue
            rtcp = next((i for i in range(start + 1, end) if lines[i].startswith(b"a=rtcp:")),
                        None)
            plans.append((index, start, media_c, rtcp, addr, port))
        if not plans:
            return body

        relay_ip = self.host.encode()
        inserts = []
        call = self.calls.setdefault(call_id, {"client": {}, "far": {}})
        for index, start, media_c, rtcp, addr, port in plans:
            rp = self.relay_port(side, addr.decode(), port)
            call[side][index] = rp
            lines[start] = M_AUDIO.sub(lambda mm: mm.group(1) + str(rp.port).encode(),
                                       lines[start], count=1)
            if media_c is not None:
                lines[media_c] = C_LINE.sub(lambda mc: mc.group(1) + relay_ip, lines[media_c],
                                            count=1)
            elif session_users:
                # The session address still serves other media: give this one its own.
                ending = lines[session_c][len(lines[session_c].rstrip(b"\r\n")):] or b"\r\n"
                inserts.append((start, b"c=IN IP4 " + relay_ip + ending))
            if rtcp is not None:
                ma = A_RTCP.match(lines[rtcp])
                if ma:
                    rtcp_addr = ma.group(4).decode() if ma.group(4) else addr.decode()
                    rp.orig_rtcp = (self.resolve(rtcp_addr), int(ma.group(2)))

                    def fix(ma):
                        out = ma.group(1) + str(rp.port + 1).encode()
                        if ma.group(3):
                            out += ma.group(3) + relay_ip
                        return out
                    lines[rtcp] = A_RTCP.sub(fix, lines[rtcp], count=1)
        if session_c is not None and not session_users:
            lines[session_c] = C_LINE.sub(lambda mc: mc.group(1) + relay_ip, lines[session_c],
                                          count=1)
        for start, line in sorted(inserts, reverse=True):
            # After the m= line and its i= line, where a media-level c= belongs.
            at = start + 1
            if at < len(lines) and lines[at].startswith(b"i="):
                at += 1
            lines.insert(at, line)
        for index in call["client"].keys() & call["far"].keys():
            a, b = call["client"][index], call["far"][index]
            if a.partner is not b:
                log(f"paired client media {a.orig[0]}:{a.orig[1]} (relay {a.port}) with far "
                    f"media {b.orig[0]}:{b.orig[1]} (relay {b.port})")
            a.partner, b.partner = b, a
        return b"".join(lines)

    def resolve(self, addr):
        try:
            return socket.gethostbyname(addr)
        except OSError:
            return addr

    def relay_port(self, side, addr, port):
        key = (side, addr, port)
        rp = self.ports.get(key)
        if rp is None:
            # The client's own media is reached through a port the far side sends to.
            direction = "to-client" if side == "client" else "from-client"
            rp = RelayPort(self.host, side, (self.resolve(addr), port), direction)
            # A generator per stream: each stream's pattern repeats whatever the others do.
            nth = sum(1 for other in self.ports.values() if other.direction == direction)
            rp.rng = random.Random(f"{self.args.seed}/{direction}/{nth}")
            self.ports[key] = rp
            self.sel.register(rp.rtp, selectors.EVENT_READ, lambda s, now, rp=rp:
                              self.on_rtp(rp, s, now))
            self.sel.register(rp.rtcp, selectors.EVENT_READ, lambda s, now, rp=rp:
                              self.on_rtcp(rp, s, now))
            log(f"{side} media {addr}:{port} -> relay {self.host}:{rp.port} ({direction})")
        return rp

    # --- media -----------------------------------------------------------------------------

    def on_rtcp(self, rp, sock, now):
        for data, _ in self.datagrams(sock):
            if rp.partner is None:
                rp.stats.unrouted += 1
                continue
            rp.stats.rtcp += 1
            self.send(rp.partner.rtcp, data, rp.orig_rtcp)

    def on_rtp(self, rp, sock, now):
        for data, _ in self.datagrams(sock):
            now = time.monotonic()
            st = rp.stats
            if rp.partner is None:
                st.unrouted += 1
                continue
            out = rp.partner.rtp
            if len(data) < 12 or data[0] >> 6 != 2:
                st.other += 1
                self.send(out, data, rp.orig)
                continue
            if 192 <= data[1] <= 223:  # RTCP multiplexed on the RTP port
                st.rtcp += 1
                self.send(out, data, rp.orig)
                continue
            st.received += 1
            if rp.last_arrival is not None:
                gap = now - rp.last_arrival
                if 0.005 <= gap <= 0.2:
                    rp.interval += (gap - rp.interval) / 8.0
            rp.last_arrival = now
            delay, held = 0.0, False
            if self.impair[rp.direction]:
                a = self.args
                rng = rp.rng
                # Every draw is taken for every packet, so one setting does not shift the
                # random pattern of another.
                lost = rng.random() < a.loss
                delay = max(0.0, (a.delay_ms + rng.uniform(-a.jitter_ms, a.jitter_ms)) / 1000.0)
                held = rng.random() < a.reorder
                if lost:
                    st.dropped += 1
                    self.trace(rp, data, now, delay, held, None)
                    continue
                if held:
                    # Half an interval more than the spacing, so it lands after the next one
                    # rather than next to it.
                    st.held += 1
                    delay += 1.5 * rp.interval
            seq = (data[2] << 8) | data[3]
            ssrc = data[8:12]
            heapq.heappush(self.heap, (now + delay, next(self.counter), out, data, rp, now,
                                       seq, ssrc, delay, held))

    def release_due(self):
        now = time.monotonic()
        while self.heap and self.heap[0][0] <= now:
            _, _, out, data, rp, arrival, seq, ssrc, delay, held = heapq.heappop(self.heap)
            # Taken before sending: the time counted here is never more than the receiver sees.
            sent = time.monotonic()
            self.send(out, data, rp.orig)
            self.trace(rp, data, arrival, delay, held, sent)
            st = rp.stats
            st.forwarded += 1
            added = sent - arrival
            st.delay_sum += added
            st.delay_max = max(st.delay_max, added)
            st.planned_sum += delay
            highest = st.highest.get(ssrc)
            if highest is not None and seq_older(seq, highest):
                st.reordered += 1
            else:
                st.highest[ssrc] = seq
            now = max(now, time.monotonic())

    def trace(self, rp, data, arrival, planned, held, sent):
        if self.trace_out is None:
            return
        ssrc = int.from_bytes(data[8:12], "big")
        seq = (data[2] << 8) | data[3]
        fate = "dropped" if sent is None else "forwarded"
        self.trace_out.write(f"{rp.direction},{rp.port},{ssrc},{seq},{arrival:.6f},"
                             f"{planned * 1000.0:.3f},{int(held)},{fate},"
                             f"{'' if sent is None else f'{sent:.6f}'}\n")

    def send(self, sock, data, addr):
        try:
            sock.sendto(data, addr)
        except OSError as e:
            log(f"send to {addr}: {e}")

    # --- loop ------------------------------------------------------------------------------

    def on_wake(self, sock, now):
        try:
            while sock.recv(64):
                pass
        except (BlockingIOError, InterruptedError):
            pass

    def request_stop(self, signum, frame):
        self.stop = True

    def stats(self):
        directions = {}
        for d in ("from-client", "to-client"):
            total = StreamStats()
            streams = []
            for rp in self.ports.values():
                if rp.direction != d:
                    continue
                s = rp.stats
                for f in ("received", "forwarded", "dropped", "held", "reordered", "unrouted",
                          "rtcp", "other", "delay_sum", "planned_sum"):
                    setattr(total, f, getattr(total, f) + getattr(s, f))
                total.delay_max = max(total.delay_max, s.delay_max)
                entry = {"relay": f"{self.host}:{rp.port}",
                         "target": f"{rp.orig[0]}:{rp.orig[1]}",
                         "sent_from": (f"{self.host}:{rp.partner.port}" if rp.partner
                                       else None)}
                entry.update(s.as_dict())
                streams.append(entry)
            entry = total.as_dict()
            entry["impaired"] = self.impair[d]
            entry["streams"] = streams
            directions[d] = entry
        a = self.args
        return {"config": {"delay_ms": a.delay_ms, "jitter_ms": a.jitter_ms, "loss": a.loss,
                           "reorder": a.reorder, "seed": a.seed, "direction": a.direction},
                "sip": dict(self.sip_counts), "pending": len(self.heap),
                "directions": directions}

    def write_stats(self):
        if not self.args.stats_file:
            return
        write_atomically(self.args.stats_file, json.dumps(self.stats(), indent=1) + "\n")

    def run(self):
        signal.set_wakeup_fd(self.wake_w.fileno(), warn_on_full_buffer=False)
        signal.signal(signal.SIGTERM, self.request_stop)
        signal.signal(signal.SIGINT, self.request_stop)
        if self.args.ports_file:
            write_atomically(self.args.ports_file,
                             f"sip={self.host}:{self.client_sip.getsockname()[1]}\n")
        log(f"sip {self.host}:{self.client_sip.getsockname()[1]} -> "
            f"{self.upstream[0]}:{self.upstream[1]} from "
            f"{self.host}:{self.upstream_sip.getsockname()[1]}")
        self.write_stats()
        next_stats = time.monotonic() + STATS_INTERVAL_S
        while not self.stop:
            now = time.monotonic()
            timeout = next_stats - now
            if self.heap:
                timeout = min(timeout, self.heap[0][0] - now)
            for key, _ in self.sel.select(max(0.0, timeout)):
                key.data(key.fileobj, now)
            self.release_due()
            if time.monotonic() >= next_stats:
                self.write_stats()
                if self.trace_out:
                    self.trace_out.flush()
                next_stats = time.monotonic() + STATS_INTERVAL_S
        self.write_stats()
        if self.trace_out:
            self.trace_out.close()


def write_atomically(path, text):
    tmp = f"{path}.tmp{os.getpid()}"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--listen", default="127.0.0.1:0", help="client-facing SIP address")
    p.add_argument("--upstream", required=True, help="registrar/proxy address HOST:PORT")
    p.add_argument("--ports-file", help="written once bound: sip=HOST:PORT")
    p.add_argument("--stats-file", help="JSON counts, every few seconds and at exit")
    p.add_argument("--trace-file",
                   help="CSV, one line per RTP packet: times on the system's monotonic clock")
    p.add_argument("--delay-ms", type=float, default=0.0, help="base one-way delay")
    p.add_argument("--jitter-ms", type=float, default=0.0,
                   help="extra delay per packet, uniform in [-J, +J]")
    p.add_argument("--loss", type=float, default=0.0, help="drop probability 0..1")
    p.add_argument("--reorder", type=float, default=0.0,
                   help="probability of holding a packet back past the next one")
    p.add_argument("--seed", default="1", help="random seed (runs repeat with the same one)")
    p.add_argument("--direction", choices=("both", "to-client", "from-client"), default="both",
                   help="which media direction is impaired")
    args = p.parse_args()
    for name in ("loss", "reorder"):
        if not 0.0 <= getattr(args, name) <= 1.0:
            p.error(f"--{name} must lie in 0..1")
    if args.delay_ms < 0 or args.jitter_ms < 0:
        p.error("--delay-ms and --jitter-ms must not be negative")
    Relay(args).run()


if __name__ == "__main__":
    main()
