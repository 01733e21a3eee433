#!/usr/bin/env python3
"""The impairment relay of bench/softphone against plain UDP sockets on 127.0.0.1 playing the
client ("A"), the registrar/proxy ("K") and the far side ("B"): SDP rewriting, symmetric media,
and the delay, jitter, loss and reordering it puts on RTP, checked packet by packet and against
its own stats file.

    python3 tests/e2e/impair_relay_test.py"""
import csv
import json
import os
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RELAY = os.path.join(HERE, "..", "..", "bench", "softphone", "impair_relay.py")
LO = "127.0.0.1"
SPACING_S = 0.020


def udp():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    s.bind((LO, 0))
    return s


def udp_pair():
    """Media sockets on an even port and the one above it, as a real endpoint has them."""
    for _ in range(500):
        rtp = udp()
        port = rtp.getsockname()[1]
        if port % 2 == 0:
            rtcp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                rtcp.bind((LO, port + 1))
                return rtp, rtcp
            except OSError:
                rtcp.close()
        rtp.close()
    raise RuntimeError("no free port pair")


def recv(sock, timeout=3.0):
    sock.settimeout(timeout)
    try:
        return sock.recvfrom(65535)
    finally:
        sock.settimeout(None)


def nothing_arrives(sock, timeout=0.3):
    ready, _, _ = select.select([sock], [], [], timeout)
    return not ready


def rtp(seq, ssrc, payload=b""):
    return struct.pack(">BBHII", 0x80, 0, seq & 0xFFFF, seq * 160, ssrc) + payload


def seq_older(seq, than):
    return ((seq - than) & 0xFFFF) >= 0x8000


def sdp(addr, port, media_level, ending=b"\r\n"):
    lines = [b"v=0", b"o=- 1 1 IN IP4 " + addr.encode(), b"s=-"]
    if not media_level:
        lines.append(b"c=IN IP4 " + addr.encode())
    lines += [b"t=0 0", b"m=audio %d RTP/AVP 0 8 101" % port]
    if media_level:
        lines.append(b"c=IN IP4 " + addr.encode())
    lines += [b"a=rtpmap:0 PCMU/8000", b"a=rtpmap:101 telephone-event/8000", b"a=sendrecv"]
    return ending.join(lines) + ending


def invite(a_port, body, call_id="c1@test", compact=False):
    ct = b"c: application/sdp" if compact else b"Content-Type: application/sdp"
    cl = (b"l: %d" if compact else b"Content-Length: %d") % len(body)
    head = [b"INVITE sip:3002@127.0.0.1 SIP/2.0",
            b"Via: SIP/2.0/UDP 127.0.0.1:%d;branch=z9hG4bK776asdhds;rport" % a_port,
            b"Max-Forwards: 70", b"From: <sip:3001@127.0.0.1>;tag=1928301774",
            b"To: <sip:3002@127.0.0.1>", b"Call-ID: " + call_id.encode(), b"CSeq: 1 INVITE",
            b"Contact: <sip:3001@127.0.0.1:%d>" % a_port, ct, cl]
    return b"\r\n".join(head) + b"\r\n\r\n" + body


def ok_200(a_port, body, call_id="c1@test"):
    head = [b"SIP/2.0 200 OK",
            b"Via: SIP/2.0/UDP 127.0.0.1:%d;branch=z9hG4bK776asdhds;rport=1;received=127.0.0.1"
            % a_port,
            b"From: <sip:3001@127.0.0.1>;tag=1928301774", b"To: <sip:3002@127.0.0.1>;tag=99",
            b"i: " + call_id.encode(), b"CSeq: 1 INVITE", b"Contact: <sip:3002@127.0.0.1:7000>",
            b"c: application/sdp", b"l:  %d" % len(body)]
    return b"\r\n".join(head) + b"\r\n\r\n" + body


def split(msg):
    head, _, body = msg.partition(b"\r\n\r\n")
    return head, body


def content_length(head):
    m = re.search(rb"^(?:Content-Length|l)[ \t]*:[ \t]*(\d+)", head, re.I | re.M)
    return int(m.group(1)) if m else None


def media_of(body):
    """The address and port an SDP body gives for its audio stream."""
    text = body.decode()
    port = int(re.search(r"^m=audio (\d+) ", text, re.M).group(1))
    addrs = re.findall(r"^c=IN IP4 (\S+)", text, re.M)
    return addrs[-1], port


class Relay:
    def __init__(self, upstream_port, *extra):
        self.dir = tempfile.TemporaryDirectory(prefix="impair-relay-")
        self.ports_file = os.path.join(self.dir.name, "ports")
        self.stats_file = os.path.join(self.dir.name, "stats.json")
        self.trace_file = os.path.join(self.dir.name, "trace.csv")
        self.log = open(os.path.join(self.dir.name, "log"), "w+")
        self.proc = subprocess.Popen(
            [sys.executable, RELAY, "--listen", f"{LO}:0", "--upstream", f"{LO}:{upstream_port}",
             "--ports-file", self.ports_file, "--stats-file", self.stats_file,
             "--trace-file", self.trace_file, *extra],
            stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.ports_file):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("relay did not start: " + self.output())
            time.sleep(0.02)
        with open(self.ports_file) as f:
            fields = dict(line.strip().split("=", 1) for line in f if "=" in line)
        host, port = fields["sip"].rsplit(":", 1)
        self.sip = (host, int(port))

    def output(self):
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        """Ends the relay as a benchmark would, and returns its final stats."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                raise AssertionError("relay ignored SIGTERM")
        stats = None
        if os.path.exists(self.stats_file):
            with open(self.stats_file) as f:
                stats = json.load(f)
        return stats

    def trace(self):
        """The relay's line per RTP packet, by direction and sequence number."""
        rows = {"from-client": {}, "to-client": {}}
        with open(self.trace_file, newline="") as f:
            for row in csv.DictReader(f):
                rows[row["direction"]][int(row["seq"])] = row
        return rows

    def close(self):
        try:
            self.stop()
        finally:
            self.log.close()
            self.dir.cleanup()


class RelayTest(unittest.TestCase):
    def setUp(self):
        self.a_sip, self.k = udp(), udp()
        self.a_rtp, self.a_rtcp = udp_pair()
        self.b_rtp, self.b_rtcp = udp_pair()
        self.sockets = [self.a_sip, self.k, self.a_rtp, self.a_rtcp, self.b_rtp, self.b_rtcp]
        self.relay = None

    def tearDown(self):
        if self.relay:
            if not getattr(self._outcome, "success", True):
                print(self.relay.output(), file=sys.stderr)
            self.relay.close()
        for s in self.sockets:
            s.close()

    def start(self, *extra):
        self.relay = Relay(self.k.getsockname()[1], *extra)

    def call(self):
        """A's INVITE and the far side's 200 through the relay; returns R_A and R_B."""
        a_port = self.a_sip.getsockname()[1]
        self.a_sip.sendto(invite(a_port, sdp(LO, self.a_rtp.getsockname()[1], False)),
                          self.relay.sip)
        msg, upstream_src = recv(self.k)
        r_b = media_of(split(msg)[1])
        self.k.sendto(ok_200(a_port, sdp(LO, self.b_rtp.getsockname()[1], True)), upstream_src)
        msg, _ = recv(self.a_sip)
        r_a = media_of(split(msg)[1])
        return r_a, r_b, upstream_src

    def test_sip_rewriting_and_passthrough(self):
        self.start()
        a_port = self.a_sip.getsockname()[1]
        a_media = self.a_rtp.getsockname()[1]
        b_media = self.b_rtp.getsockname()[1]

        # A message without SDP passes byte for byte, in both directions, keep-alives too.
        register = (b"REGISTER sip:127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:%d;"
                    b"branch=z9hG4bKreg1;rport\r\nFrom: <sip:3001@127.0.0.1>;tag=r1\r\n"
                    b"To: <sip:3001@127.0.0.1>\r\nCall-ID: reg@test\r\nCSeq: 1 REGISTER\r\n"
                    b"Contact: <sip:3001@127.0.0.1:%d>\r\nContent-Length: 0\r\n\r\n"
                    % (a_port, a_port))
        self.a_sip.sendto(register, self.relay.sip)
        got, upstream_src = recv(self.k)
        self.assertEqual(got, register)
        self.assertEqual(upstream_src[0], LO)
        self.assertNotEqual(upstream_src, self.relay.sip)
        ok = (b"SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 127.0.0.1:%d;branch=z9hG4bKreg1;rport=%d\r\n"
              b"Content-Length: 0\r\n\r\n" % (a_port, upstream_src[1]))
        self.k.sendto(ok, upstream_src)
        got, src = recv(self.a_sip)
        self.assertEqual((got, src), (ok, self.relay.sip))
        # A body that is not SDP is not touched, even when it looks like one.
        text = b"c=IN IP4 127.0.0.1\r\nm=audio 4000 RTP/AVP 0\r\n"
        info = (b"INFO sip:3002@127.0.0.1 SIP/2.0\r\nCall-ID: x\r\nContent-Type: text/plain\r\n"
                b"Content-Length: %d\r\n\r\n" % len(text)) + text
        self.a_sip.sendto(info, self.relay.sip)
        self.assertEqual(recv(self.k)[0], info)
        self.a_sip.sendto(b"\r\n\r\n", self.relay.sip)
        self.assertEqual(recv(self.k)[0], b"\r\n\r\n")

        # The offer: session-level c=, full header names.
        offer_body = sdp(LO, a_media, media_level=False)
        offer = invite(a_port, offer_body)
        self.a_sip.sendto(offer, self.relay.sip)
        got, src = recv(self.k)
        self.assertEqual(src, upstream_src)
        head, body = split(got)
        self.assertEqual(content_length(head), len(body))
        r_b = media_of(body)
        self.assertEqual(r_b[0], LO)
        self.assertNotIn(r_b[1], (a_media, 0))
        self.assertEqual(r_b[1] % 2, 0)
        self.assertEqual(body.count(b"\r\n"), offer_body.count(b"\r\n"))
        self.assertNotIn(b"\n", body.replace(b"\r\n", b""))
        # Only the c= and m= lines and the length differ.
        expected = offer_body.replace(b"m=audio %d " % a_media, b"m=audio %d " % r_b[1])
        self.assertEqual(body, expected)  # same c= address: the relay is on 127.0.0.1 too
        self.assertEqual(re.sub(rb"Content-Length: \d+", b"", head),
                         re.sub(rb"Content-Length: \d+", b"", split(offer)[0]))
        # A retransmission gets the same relay port: one per original address.
        self.a_sip.sendto(offer, self.relay.sip)
        self.assertEqual(recv(self.k)[0], got)

        # The answer: media-level c= at an address given by name, compact header names.
        answer_body = sdp("localhost", b_media, media_level=True)
        self.k.sendto(ok_200(a_port, answer_body), upstream_src)
        got, src = recv(self.a_sip)
        self.assertEqual(src, self.relay.sip)
        head, body = split(got)
        self.assertEqual(content_length(head), len(body))
        self.assertIn(b"\r\nl:  %d\r\n" % len(body), head + b"\r\n")
        r_a = media_of(body)
        self.assertEqual(r_a[0], LO)
        self.assertNotIn(r_a[1], (b_media, r_b[1], 0))
        expected = (answer_body.replace(b"m=audio %d " % b_media, b"m=audio %d " % r_a[1])
                    .replace(b"c=IN IP4 localhost", b"c=IN IP4 127.0.0.1"))
        self.assertEqual(body, expected)
        self.assertIn(b"o=- 1 1 IN IP4 localhost", body)  # origin is not a media address
        self.assertEqual(re.sub(rb"l:  \d+", b"", head),
                         re.sub(rb"l:  \d+", b"", split(ok_200(a_port, answer_body))[0]))

        # SDP with bare LF line endings keeps them. A four-digit port becomes a five-digit
        # ephemeral one, so the length has to change.
        lf_body = sdp(LO, 4000, media_level=True, ending=b"\n")
        lf = invite(a_port, lf_body, call_id="c2@test").replace(b"\r\n", b"\n")
        self.a_sip.sendto(lf, self.relay.sip)
        got = recv(self.k)[0]
        head, _, body = got.partition(b"\n\n")
        self.assertNotIn(b"\r", got)
        self.assertEqual(content_length(head), len(body))
        self.assertEqual(body.count(b"\n"), lf_body.count(b"\n"))
        self.assertEqual(len(body), len(lf_body) + 1)
        self.assertEqual(body, lf_body.replace(b"m=audio 4000 ",
                                               b"m=audio %d " % media_of(body)[1]))

        stats = self.relay.stop()
        self.assertEqual(stats["sip"]["from_client"], 6)
        self.assertEqual(stats["sip"]["from_upstream"], 2)

    def test_media_goes_both_ways_from_the_addresses_in_sdp(self):
        self.start()
        r_a, r_b, _ = self.call()
        ssrc = 0x1234
        for i in range(50):
            self.a_rtp.sendto(rtp(i, ssrc, b"from A %d" % i), r_a)
            data, src = recv(self.b_rtp)
            self.assertEqual((data, src), (rtp(i, ssrc, b"from A %d" % i), r_b))
            self.b_rtp.sendto(rtp(i, ssrc + 1, b"from B %d" % i), r_b)
            data, src = recv(self.a_rtp)
            self.assertEqual((data, src), (rtp(i, ssrc + 1, b"from B %d" % i), r_a))
        # RTCP on the port above, to the port above each side's RTP.
        rtcp = struct.pack(">BBHI", 0x80, 200, 6, ssrc) + bytes(20)
        self.a_rtcp.sendto(rtcp, (r_a[0], r_a[1] + 1))
        self.assertEqual(recv(self.b_rtcp), (rtcp, (r_b[0], r_b[1] + 1)))
        self.b_rtcp.sendto(rtcp, (r_b[0], r_b[1] + 1))
        self.assertEqual(recv(self.a_rtcp), (rtcp, (r_a[0], r_a[1] + 1)))
        # Multiplexed RTCP on the RTP port passes too.
        self.a_rtp.sendto(rtcp, r_a)
        self.assertEqual(recv(self.b_rtp), (rtcp, r_b))
        self.assertTrue(nothing_arrives(self.a_rtp) and nothing_arrives(self.b_rtcp, 0))

        stats = self.relay.stop()
        trace = self.relay.trace()
        for d in ("from-client", "to-client"):
            entry = stats["directions"][d]
            self.assertEqual((entry["received"], entry["forwarded"], entry["dropped"],
                              entry["reordered"]), (50, 50, 0, 0), d)
            self.assertEqual(len(entry["streams"]), 1)
            # Without impairment the relay adds no delay of its own worth the name.
            own = sorted(float(r["sent_s"]) - float(r["arrival_s"]) for r in trace[d].values())
            self.assertEqual(len(own), 50)
            self.assertLess(own[len(own) // 2], 0.001, d)
        self.assertEqual(stats["directions"]["from-client"]["rtcp_relayed"], 2)
        self.assertEqual(stats["directions"]["to-client"]["rtcp_relayed"], 1)
        out = stats["directions"]["from-client"]["streams"][0]
        self.assertEqual(out["target"], f"{LO}:{self.b_rtp.getsockname()[1]}")
        self.assertEqual(out["sent_from"], f"{r_b[0]}:{r_b[1]}")

    def stream(self, r_a, r_b, count):
        """`count` packets each way at 20 ms spacing; returns, per direction, the send time
        of each sequence number and the (sequence number, arrival) list as received."""
        sent = {"from-client": {}, "to-client": {}}
        got = {"from-client": [], "to-client": []}
        rx = {self.b_rtp: ("from-client", r_b), self.a_rtp: ("to-client", r_a)}
        start = time.monotonic()
        next_send, i = start, 0
        idle_until = None
        while True:
            now = time.monotonic()
            if i < count and now >= next_send:
                sent["from-client"][i] = time.monotonic()
                self.a_rtp.sendto(rtp(i, 0xA, bytes(160)), r_a)
                sent["to-client"][i] = time.monotonic()
                self.b_rtp.sendto(rtp(i, 0xB, bytes(160)), r_b)
                i += 1
                next_send = start + i * SPACING_S
                if i == count:
                    idle_until = time.monotonic() + 0.5
            if idle_until is not None and now >= idle_until:
                break
            wait = (next_send if i < count else idle_until) - time.monotonic()
            ready, _, _ = select.select(list(rx), [], [], max(0.0, wait))
            for sock in ready:
                data, src = sock.recvfrom(65535)
                arrived = time.monotonic()
                direction, expected_src = rx[sock]
                self.assertEqual(src, expected_src)
                got[direction].append((struct.unpack(">H", data[2:4])[0], arrived))
        return sent, got

    def check_against_relay(self, direction, sent, got):
        """The relay's stats and trace agree with what the receiver saw, packet by packet.
        Only orderings of times are compared exactly: how late a loaded machine runs a process
        is no property of the relay. Returns per packet the delay seen and the planned one."""
        stats, trace = self.stats, self.trace[direction]
        entry = stats["directions"][direction]
        seqs = [s for s, _ in got]
        self.assertEqual(len(seqs), len(set(seqs)), "duplicates")
        reordered, highest = 0, None
        for s in seqs:
            if highest is not None and seq_older(s, highest):
                reordered += 1
            else:
                highest = s
        self.assertEqual(entry["received"], len(sent), direction)
        self.assertEqual(entry["forwarded"], len(got), direction)
        self.assertEqual(entry["dropped"], len(sent) - len(got), direction)
        self.assertEqual(entry["reordered"], reordered, direction)
        self.assertEqual(stats["pending"], 0)
        self.assertEqual(set(trace), set(sent), direction)
        self.assertEqual({s for s, row in trace.items() if row["fate"] == "forwarded"},
                         set(seqs), direction)
        eps = 2e-6  # the trace's times are rounded to microseconds
        seen, planned, relay_own = [], [], []
        for s, arrived in got:
            row = trace[s]
            at_relay, left_relay = float(row["arrival_s"]), float(row["sent_s"])
            plan = float(row["planned_delay_ms"])
            # One clock for both processes: sent, then taken in, then sent on, then received.
            self.assertLessEqual(sent[s], at_relay + eps, (direction, s))
            self.assertLessEqual(at_relay, left_relay, (direction, s))
            self.assertLessEqual(left_relay, arrived + eps, (direction, s))
            # Never early.
            self.assertGreaterEqual((left_relay - at_relay) * 1000.0, plan - 0.002)
            seen.append((arrived - sent[s]) * 1000.0)
            planned.append(plan)
            relay_own.append((left_relay - at_relay) * 1000.0)
        mean = sum(relay_own) / len(relay_own)
        self.assertAlmostEqual(entry["delay_ms_mean"], mean, delta=0.01)
        self.assertAlmostEqual(entry["delay_ms_max"], max(relay_own), delta=0.01)
        self.assertAlmostEqual(entry["planned_delay_ms_mean"], sum(planned) / len(planned),
                               delta=0.01)
        self.assertLessEqual(entry["delay_ms_mean"], sum(seen) / len(seen) + 0.01)
        return seen, planned, reordered

    def finish(self):
        self.stats = self.relay.stop()
        self.trace = self.relay.trace()

    def test_delay_jitter_and_loss(self):
        self.start("--delay-ms", "20", "--jitter-ms", "10", "--loss", "0.05", "--seed", "1")
        r_a, r_b, _ = self.call()
        count = 400
        sent, got = self.stream(r_a, r_b, count)
        self.finish()
        for direction in ("from-client", "to-client"):
            seen, planned, _ = self.check_against_relay(direction, sent[direction],
                                                        got[direction])
            self.assertTrue(self.stats["directions"][direction]["impaired"])
            lost = (count - len(got[direction])) / count
            self.assertTrue(0.01 <= lost <= 0.10, f"{direction}: loss {lost:.3f}")
            every_plan = [float(r["planned_delay_ms"]) for r in self.trace[direction].values()]
            self.assertGreaterEqual(min(every_plan), 10.0, direction)
            self.assertLessEqual(max(every_plan), 30.0, direction)
            mean_plan = sum(planned) / len(planned)
            self.assertTrue(18.5 <= mean_plan <= 21.5, f"{direction}: planned {mean_plan:.2f}")
            # Uniform jitter spreads the delays: a fixed delay would be a wrong relay.
            spread = sorted(planned)
            self.assertGreater(spread[len(spread) * 9 // 10] - spread[len(spread) // 10], 8.0)
            # What arrived: never before its time, and on any machine that is not starved,
            # within scheduling distance of it.
            self.assertGreaterEqual(min(seen), 10.0, direction)
            late = sorted(d - p for d, p in zip(seen, planned))
            self.assertLessEqual(late[len(late) * 9 // 10], 15.0, f"{direction}: {late[-10:]}")
            mean = sum(seen) / len(seen)
            self.assertTrue(mean_plan <= mean <= mean_plan + 8.0,
                            f"{direction}: mean delay {mean:.2f} ms, planned {mean_plan:.2f}")
            print(f"\n  {direction}: lost {lost:.1%}, delay seen {min(seen):.1f}..{max(seen):.1f}"
                  f" ms, mean {mean:.2f} ms (planned {mean_plan:.2f}), 90% late by at most "
                  f"{late[len(late) * 9 // 10]:.2f} ms", file=sys.stderr)

    def test_reordering_in_one_direction_only(self):
        self.start("--delay-ms", "40", "--jitter-ms", "30", "--reorder", "0.1", "--loss", "0.2",
                   "--direction", "to-client", "--seed", "7")
        r_a, r_b, _ = self.call()
        count = 150
        sent, got = self.stream(r_a, r_b, count)
        self.finish()
        _, _, reordered = self.check_against_relay("to-client", sent["to-client"],
                                                   got["to-client"])
        self.assertGreater(reordered, 0)
        held = [r for r in self.trace["to-client"].values() if r["held"] == "1"]
        self.assertEqual(self.stats["directions"]["to-client"]["held"],
                         sum(1 for r in held if r["fate"] == "forwarded"))
        self.assertTrue(held)
        self.assertLess(len(got["to-client"]), count)
        # The other direction is left alone: everything, in order, at once.
        seen, planned, reordered = self.check_against_relay("from-client", sent["from-client"],
                                                            got["from-client"])
        self.assertEqual(len(got["from-client"]), count)
        self.assertEqual(reordered, 0)
        self.assertEqual(set(planned), {0.0})
        self.assertFalse(self.stats["directions"]["from-client"]["impaired"])
        self.assertLess(sorted(seen)[len(seen) // 2], 5.0)

    def test_same_seed_same_pattern(self):
        """Runs repeat: the same seed drops the same packets."""
        lost = []
        for _ in range(2):
            self.start("--loss", "0.3", "--seed", "42")
            r_a, _, _ = self.call()
            for i in range(60):
                self.a_rtp.sendto(rtp(i, 0xA), r_a)
            got = set()
            while not nothing_arrives(self.b_rtp, 0.3):
                got.add(struct.unpack(">H", self.b_rtp.recv(2048)[2:4])[0])
            lost.append(set(range(60)) - got)
            self.relay.close()
            self.relay = None
        self.assertTrue(0 < len(lost[0]) < 60)
        self.assertEqual(lost[0], lost[1])


if __name__ == "__main__":
    unittest.main(verbosity=2)
