#!/usr/bin/env python3
"""Valid-but-odd and invalid SIP messages, in the manner of RFC 4475, sent one at a time to a
client's SIP port. Each message comes from a socket of its own; what comes back within a second
is compared with what the message deserves: an answer with one of the listed codes, or nothing.

    sip_robustness.py HOST PORT USER [--in-call]

Prints one line per message and exits 1 when any message was treated otherwise, or when the
client no longer answers an ordinary OPTIONS afterwards."""
import os
import random
import socket
import sys
import time

HOST, PORT, USER = sys.argv[1], int(sys.argv[2]), sys.argv[3]
IN_CALL = "--in-call" in sys.argv[4:]
DROP = "drop"


def branch():
    return "z9hG4bK" + "".join(random.choice("0123456789abcdef") for _ in range(16))


def request(method, local_port, uri=None, headers=None, body=b"", extra=None, remove=(),
            content_length=None, version="SIP/2.0"):
    """A request from 127.0.0.1:local_port; headers replace or add to the usual ones."""
    uri = uri or f"sip:{USER}@{HOST}:{PORT}"
    fields = [
        ("Via", f"SIP/2.0/UDP 127.0.0.1:{local_port};branch={branch()};rport"),
        ("Max-Forwards", "70"),
        ("From", f"<sip:tester@127.0.0.1:{local_port}>;tag={random.randrange(1 << 30)}"),
        ("To", f"<sip:{USER}@{HOST}:{PORT}>"),
        ("Call-ID", f"{random.randrange(1 << 60):x}@127.0.0.1"),
        ("CSeq", f"1 {method}"),
        ("Contact", f"<sip:tester@127.0.0.1:{local_port}>"),
    ]
    for name, value in (headers or {}).items():
        fields = [(n, v) for n, v in fields if n != name] + [(name, value)]
    fields = [(n, v) for n, v in fields if n not in remove]
    fields += extra or []
    length = len(body) if content_length is None else content_length
    lines = [f"{method} {uri} {version}"] + [f"{n}: {v}" for n, v in fields]
    if content_length != "none":
        lines.append(f"Content-Length: {length}")
    return ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8", "surrogateescape") + body


SDP = (b"v=0\r\no=tester 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
       b"m=audio 40000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n")


def cases():
    """(name, message maker taking the local port, expected codes or DROP)."""
    ok = {200}
    bad = {400, DROP}
    c = []
    add = lambda name, make, expect: c.append((name, make, expect))
    # Valid, if unusual: answered as an ordinary OPTIONS.
    add("plain OPTIONS", lambda p: request("OPTIONS", p), ok)
    add("escaped user in the Request-URI",
        lambda p: request("OPTIONS", p, uri=f"sip:%38%30{USER[2:]}@{HOST}:{PORT}"), ok)
    add("URI parameters and escaped headers",
        lambda p: request("OPTIONS", p,
                          uri=f"sip:{USER}@{HOST}:{PORT};transport=udp;lr;x=%22y%22?Subject=a%20b"),
        ok)
    add("compact header names",
        lambda p: request("OPTIONS", p, remove=("Via", "From", "To", "Call-ID", "Contact"),
                          extra=[("v", f"SIP/2.0/UDP 127.0.0.1:{p};branch={branch()}"),
                                 ("f", f"<sip:tester@127.0.0.1:{p}>;tag=77"),
                                 ("t", f"<sip:{USER}@{HOST}>"),
                                 ("i", f"compact-{random.randrange(1 << 40)}"),
                                 ("m", f"<sip:tester@127.0.0.1:{p}>")]), ok)
    add("folded header over three lines",
        lambda p: request("OPTIONS", p, extra=[("Subject", "a folded\r\n  header\r\n\tvalue")]), ok)
    add("header names in odd case and spacing",
        lambda p: request("OPTIONS", p, extra=[("sUbJeCt   ", "   spaced   ")]), ok)
    add("4000-character header",
        lambda p: request("OPTIONS", p, extra=[("X-Long", "x" * 4000)]), ok)
    add("60 Via headers",
        lambda p: request("OPTIONS", p, extra=[
            ("Via", f"SIP/2.0/UDP 10.0.0.{i}:5060;branch={branch()}") for i in range(1, 60)]), ok)
    add("unknown headers and an unknown option",
        lambda p: request("OPTIONS", p, extra=[("Require", "nothing-we-know"),
                                               ("X-Q", "\u00e4\u00f6\u00fc")]), {420, 200})
    add("a body with an unknown type",
        lambda p: request("OPTIONS", p, headers={"Content-Type": "application/x-unknown"},
                          body=b"some words of no known kind"), {200, 415})
    add("NUL bytes in the body",
        lambda p: request("OPTIONS", p, headers={"Content-Type": "application/octet-stream"},
                          body=b"\x00\x01binary\xff"), bad | ok)
    add("multipart body",
        lambda p: request("OPTIONS", p, headers={"Content-Type": "multipart/mixed;boundary=xx"},
                          body=b"--xx\r\nContent-Type: text/plain\r\n\r\none\r\n--xx\r\n"
                               b"Content-Type: text/plain\r\n\r\ntwo\r\n--xx--\r\n"), {200, 415})
    add("unknown method", lambda p: request("NEWMETHOD", p), {405, 501})
    add("lower-case method is another method", lambda p: request("options", p), {405, 501})
    add("BYE for no call", lambda p: request("BYE", p, headers={"To": f"<sip:{USER}@{HOST}>;tag=1"}),
        {481})
    add("CANCEL for no transaction", lambda p: request("CANCEL", p), {481})
    add("stray ACK", lambda p: request("ACK", p), {DROP})
    add("stray response", lambda p: (
        f"SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP {HOST}:{PORT};branch={branch()}\r\n"
        f"From: <sip:{USER}@{HOST}>;tag=1\r\nTo: <sip:x@127.0.0.1>;tag=2\r\n"
        f"Call-ID: stray-{random.randrange(1 << 40)}\r\nCSeq: 1 OPTIONS\r\n"
        "Content-Length: 0\r\n\r\n").encode(), {DROP})
    add("keep-alive CRLF", lambda p: b"\r\n\r\n", {DROP})
    add("empty datagram", lambda p: b"", {DROP})
    # Invalid: refused, or not answered at all.
    add("no Call-ID", lambda p: request("OPTIONS", p, remove=("Call-ID",)), bad)
    add("no CSeq", lambda p: request("OPTIONS", p, remove=("CSeq",)), bad)
    add("no From", lambda p: request("OPTIONS", p, remove=("From",)), bad)
    add("no Via", lambda p: request("OPTIONS", p, remove=("Via",)), {DROP})
    add("two From headers",
        lambda p: request("OPTIONS", p, extra=[("From", "<sip:other@10.0.0.9>;tag=9")]), bad | ok)
    add("CSeq method differs from the request's",
        lambda p: request("OPTIONS", p, headers={"CSeq": "1 INVITE"}), bad | {DROP})
    add("CSeq beyond 2**31", lambda p: request("OPTIONS", p, headers={"CSeq": "4294967296 OPTIONS"}),
        bad)
    add("Content-Length larger than the body",
        lambda p: request("OPTIONS", p, body=b"abc", content_length=300), bad)
    add("negative Content-Length", lambda p: request("OPTIONS", p, content_length=-5), bad)
    add("Content-Length shorter than the body (extra bytes are dropped)",
        lambda p: request("OPTIONS", p, body=b"abcdef", content_length=2), ok | bad)
    add("SIP version 7", lambda p: request("OPTIONS", p, version="SIP/7.0"), {505, DROP, 400})
    add("unknown URI scheme", lambda p: request("OPTIONS", p, uri="nosuch:thing@somewhere"),
        {416, 400, DROP, 404})
    add("no Request-URI", lambda p: f"OPTIONS  SIP/2.0\r\n\r\n".encode(), {DROP})
    add("header without a colon",
        lambda p: request("OPTIONS", p, extra=[("Broken-Header-Without-Colon", None)]).replace(
            b"Broken-Header-Without-Colon: None", b"Broken-Header-Without-Colon"), bad | ok)
    add("NUL bytes in headers",
        lambda p: request("OPTIONS", p, extra=[("Subject", "a\x00b\x00c")]), bad | ok)
    add("60000 bytes of headers",
        lambda p: request("OPTIONS", p, extra=[(f"X-H{i}", "y" * 100) for i in range(500)]),
        ok | bad)
    add("random bytes", lambda p: os.urandom(1200), {DROP})
    add("random bytes behind a request line", lambda p: b"OPTIONS sip:x SIP/2.0\r\n" + os.urandom(600),
        bad)
    # An INVITE the client cannot take must not ring.
    add("INVITE with an SDP the client cannot read",
        lambda p: request("INVITE", p, headers={"Content-Type": "application/sdp"},
                          body=b"v=0\r\nthis is not sdp\r\n"), {400, 415, 488, 606} | ({486} if IN_CALL else set()))
    add("INVITE with a body of unknown type",
        lambda p: request("INVITE", p, headers={"Content-Type": "application/x-unknown"},
                          body=b"nothing"), {415, 488, 400} | ({486} if IN_CALL else set()))
    if IN_CALL:
        add("a second INVITE during the call",
            lambda p: request("INVITE", p, headers={"Content-Type": "application/sdp"}, body=SDP),
            {486, 400, 600, 603})
    return c


def exchange(message, wait=1.0):
    """Sends message from a new socket; the status codes of what came back within wait."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    data = message(port) if callable(message) else message
    s.sendto(data, (HOST, PORT))
    codes = []
    deadline = time.time() + wait
    while True:
        left = deadline - time.time()
        if left <= 0:
            break
        s.settimeout(left)
        try:
            reply, _ = s.recvfrom(65535)
        except socket.timeout:
            break
        line = reply.split(b"\r\n", 1)[0].decode("utf-8", "replace")
        parts = line.split(" ")
        if len(parts) >= 2 and parts[0] == "SIP/2.0" and parts[1].isdigit():
            codes.append(int(parts[1]))
        else:
            codes.append(line)
    s.close()
    return codes


def main():
    random.seed(4475)
    failures = 0
    for name, make, expect in cases():
        codes = exchange(make)
        finals = [c for c in codes if isinstance(c, int) and c >= 200]
        got = finals[-1] if finals else DROP
        good = got in expect and all(isinstance(c, int) for c in codes)
        failures += not good
        shown = "no answer" if got == DROP else str(got)
        wanted = "/".join(sorted("none" if e == DROP else str(e) for e in expect))
        print(f"{'ok  ' if good else 'FAIL'} {name}: {shown}   (expected {wanted})")
    alive = exchange(lambda p: request("OPTIONS", p), wait=3.0)
    if 200 not in alive:
        print("FAIL the client no longer answers OPTIONS")
        failures += 1
    print(f"{len(cases()) - failures if failures <= len(cases()) else 0} of {len(cases())} "
          f"treated as expected{' during a call' if IN_CALL else ''}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
