#!/usr/bin/env python3
"""Call set-up times seen on the loopback interface, from a raw AF_PACKET socket (root).

    sniffer = SipSniffer()          # binds to "lo" at once; start() runs its thread
    sniffer.start()
    ... calls ...
    sniffer.stop()
    sniffer.setup_times_ms()        # {Call-ID: ms from first INVITE to first 200 for INVITE}
    sniffer.calls[call_id]          # CallTimes: invite, ok, first_rtp {dst port: time}

How it works: every frame on lo is read with its kernel receive time stamp (SO_TIMESTAMPNS,
wall clock), which is turned into time.monotonic() terms by an offset taken when the sniffer is
made; both clocks are kept (`*_wall` fields: strace -ttt prints wall clock). A packet sent on lo
shows up twice, once as it leaves (PACKET_OUTGOING) and once as it arrives (PACKET_HOST); only
the arriving copy counts, so each send is seen once. A UDP payload starting with a SIP request
line or "SIP/2.0" is SIP; Call-ID and CSeq (compact forms too) are read from it. A proxy in the
path forwards the same INVITE and 200 on another hop: only the first INVITE and the first 200
whose CSeq method is INVITE of each Call-ID count, so the time runs from the caller's INVITE
leaving to the first 200 reaching the proxy (Kamailio relays it in well under a millisecond).
RTP: after a Call-ID's 200, the first UDP datagram to each port that looks like RTP (version 2,
payload type below 128 and not 72-79, i.e. no RTCP) is noted per destination port. RTP packets
can also be kept in full (keep_rtp=True) for offline analysis.

Limits: UDP over IPv4 only (what the peers and the client use here); a SIP message split over
IP fragments is not reassembled (a fragment is skipped); the socket's receive buffer (4 MiB
asked) can overflow under heavy load, which is counted in `dropped` (PACKET_STATISTICS).
"""

from __future__ import annotations

import re
import select
import socket
import struct
import threading
import time
from dataclasses import dataclass, field

ETH_P_ALL = 0x0003
PACKET_OUTGOING = 4
SOL_PACKET = 263
PACKET_STATISTICS = 6
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)

_METHODS = (b"INVITE ", b"ACK ", b"BYE ", b"CANCEL ", b"REGISTER ", b"OPTIONS ", b"PRACK ",
            b"UPDATE ", b"INFO ", b"SUBSCRIBE ", b"NOTIFY ", b"REFER ", b"MESSAGE ", b"PUBLISH ")
_CALL_ID = re.compile(rb"(?im)^(?:call-id|i)[ \t]*:[ \t]*(\S+)")
_CSEQ = re.compile(rb"(?im)^cseq[ \t]*:[ \t]*(\d+)[ \t]+([A-Za-z]+)")


@dataclass
class CallTimes:
    invite: float | None = None          # monotonic s, first INVITE
    invite_wall: float | None = None
    ok: float | None = None              # monotonic s, first 200 with CSeq method INVITE
    ok_wall: float | None = None
    first_rtp: dict[int, float] = field(default_factory=dict)  # dst port -> monotonic s

    def setup_ms(self) -> float | None:
        if self.invite is None or self.ok is None:
            return None
        return (self.ok - self.invite) * 1000.0


@dataclass
class RtpPacket:
    wall: float
    mono: float
    src_port: int
    dst_port: int
    seq: int
    timestamp: int
    ssrc: int
    payload_type: int
    payload: bytes


class SipSniffer:
    def __init__(self, interface: str = "lo", keep_rtp: bool = False):
        self.keep_rtp = keep_rtp
        self.calls: dict[str, CallTimes] = {}
        self.rtp: list[RtpPacket] = []
        self.dropped = 0
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread: threading.Thread | None = None
        self._sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        self._sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        self._sock.bind((interface, 0))
        self._sock.setblocking(False)
        # Wall minus monotonic, taken as the tightest of a few tries.
        best = None
        for _ in range(5):
            a = time.monotonic()
            w = time.time()
            b = time.monotonic()
            if best is None or b - a < best[0]:
                best = (b - a, w - (a + b) / 2)
        self._wall_minus_mono = best[1]
        self._any_answered = False

    # -- life ---------------------------------------------------------------------------------
    def start(self) -> "SipSniffer":
        self._thread = threading.Thread(target=self._run, name="sip-sniff", daemon=True)
        self._thread.start()
        return self

    def stop(self) -> None:
        self._stop.set()
        if self._thread:
            self._thread.join(timeout=2.0)
        try:
            raw = self._sock.getsockopt(SOL_PACKET, PACKET_STATISTICS, 8)
            self.dropped += struct.unpack("II", raw)[1]
        except OSError:
            pass
        self._sock.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # -- results ------------------------------------------------------------------------------
    def to_monotonic(self, wall: float) -> float:
        return wall - self._wall_minus_mono

    def setup_times_ms(self) -> dict[str, float | None]:
        with self._lock:
            return {cid: c.setup_ms() for cid, c in self.calls.items() if c.invite is not None}

    def wait_for_setup(self, timeout: float, count: int = 1) -> bool:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                if sum(1 for c in self.calls.values() if c.ok is not None) >= count:
                    return True
            time.sleep(0.02)
        return False

    # -- capture ------------------------------------------------------------------------------
    def _run(self) -> None:
        anc = socket.CMSG_SPACE(16)
        while not self._stop.is_set():
            r, _, _ = select.select([self._sock], [], [], 0.1)
            if not r:
                continue
            while True:
                try:
                    data, ancdata, _flags, addr = self._sock.recvmsg(65600, anc)
                except (BlockingIOError, InterruptedError):
                    break
                except OSError:
                    return
                if addr[2] == PACKET_OUTGOING:
                    continue
                wall = None
                for level, kind, blob in ancdata:
                    if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(blob) >= 16:
                        sec, nsec = struct.unpack("qq", blob[:16])
                        wall = sec + nsec * 1e-9
                if wall is None:
                    wall = time.time()
                self._packet(data, wall)

    def _packet(self, frame: bytes, wall: float) -> None:
        # lo carries an Ethernet header with zero addresses.
        if len(frame) < 14 + 20 + 8 or frame[12:14] != b"\x08\x00":
            return
        ip = frame[14:]
        ihl = (ip[0] & 0x0F) * 4
        if ip[0] >> 4 != 4 or ip[9] != 17:
            return
        flags_frag = struct.unpack("!H", ip[6:8])[0]
        if flags_frag & 0x3FFF:  # a fragment
            return
        src_port, dst_port, length = struct.unpack("!HHH", ip[ihl:ihl + 6])
        payload = ip[ihl + 8:ihl + length]
        mono = self.to_monotonic(wall)
        if payload.startswith(b"SIP/2.0 ") or payload.startswith(_METHODS):
            self._sip(payload, wall, mono)
        elif len(payload) >= 12 and payload[0] >> 6 == 2:
            pt = payload[1] & 0x7F
            if 72 <= pt <= 79:  # RTCP's 200-207 with the marker bit read off
                return
            with self._lock:
                if self._any_answered:
                    for c in self.calls.values():
                        if c.ok is not None and dst_port not in c.first_rtp and mono >= c.ok:
                            c.first_rtp[dst_port] = mono
                if self.keep_rtp:
                    seq, ts, ssrc = struct.unpack("!HII", payload[2:12])
                    cc = payload[0] & 0x0F
                    self.rtp.append(RtpPacket(wall, mono, src_port, dst_port, seq, ts, ssrc, pt,
                                              payload[12 + 4 * cc:]))

    def _sip(self, msg: bytes, wall: float, mono: float) -> None:
        head = msg.split(b"\r\n\r\n", 1)[0]
        m = _CALL_ID.search(head)
        cseq = _CSEQ.search(head)
        if not m or not cseq:
            return
        cid = m.group(1).decode(errors="replace")
        method = cseq.group(2).upper()
        with self._lock:
            if msg.startswith(b"INVITE "):
                c = self.calls.setdefault(cid, CallTimes())
                if c.invite is None:
                    c.invite, c.invite_wall = mono, wall
            elif msg.startswith(b"SIP/2.0 200") and method == b"INVITE":
                c = self.calls.get(cid)
                if c is not None and c.ok is None:
                    c.ok, c.ok_wall = mono, wall
                    self._any_answered = True


if __name__ == "__main__":
    # Prints set-up times as calls complete, until Ctrl+C.
    with SipSniffer() as s:
        shown: set[str] = set()
        try:
            while True:
                time.sleep(0.2)
                for cid, ms in s.setup_times_ms().items():
                    if ms is not None and cid not in shown:
                        shown.add(cid)
                        print(f"{cid}\t{ms:.1f} ms", flush=True)
        except KeyboardInterrupt:
            pass
