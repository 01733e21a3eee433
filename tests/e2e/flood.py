#!/usr/bin/env python3
"""Floods one UDP port of a client with hostile datagrams for a while, from many local ports
that are none of the client's peers.

    flood.py KIND HOST PORT SECONDS [RATE]

KIND: service (random bytes, and well-formed account-server packets of every command),
sip (INVITE, OPTIONS and REGISTER storms with new Call-IDs, and random bytes), rtp (RTP with
random SSRCs, payload types, sequence numbers and sizes), rtcp (RTCP-shaped and random bytes).
RATE is datagrams per second (2000 by default). Prints how many were sent."""
import os
import random
import socket
import struct
import sys
import time

KIND, HOST, PORT, SECONDS = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
RATE = int(sys.argv[5]) if len(sys.argv) > 5 else 2000
COMMANDS = [1, 2, 3, 4, 5, 6, 9, 10, 4001, 4002, 4004, 4006, 4009, 8006, 8007, 8008, 7, 0, 65535]


def service_packet():
    if random.random() < 0.3:
        return os.urandom(random.randrange(1, 400))
    body = os.urandom(random.randrange(0, 300))
    header = struct.pack(">HHIIIII", 0xFFEE, 36 + len(body), random.choice(COMMANDS),
                         random.randrange(1 << 32), random.randrange(1 << 32),
                         random.randrange(1 << 32), random.randrange(8))
    return header[:24] + body + bytes(12)


def sip_packet(local_port):
    if random.random() < 0.2:
        return os.urandom(random.randrange(1, 1400))
    method = random.choice(["INVITE", "OPTIONS", "REGISTER"])
    call_id = f"{random.randrange(1 << 62):x}@127.0.0.1"
    body = b""
    extra = ""
    if method == "INVITE":
        body = (b"v=0\r\no=f 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                b"m=audio 4000 RTP/AVP 0\r\n")
        extra = "Content-Type: application/sdp\r\n"
    text = (f"{method} sip:x@{HOST}:{PORT} SIP/2.0\r\n"
            f"Via: SIP/2.0/UDP 127.0.0.1:{local_port};branch=z9hG4bK{random.randrange(1 << 60):x}\r\n"
            f"From: <sip:flood@127.0.0.1>;tag={random.randrange(1 << 30)}\r\n"
            f"To: <sip:x@{HOST}>\r\nCall-ID: {call_id}\r\nCSeq: 1 {method}\r\n"
            f"Contact: <sip:flood@127.0.0.1:{local_port}>\r\nMax-Forwards: 70\r\n{extra}"
            f"Content-Length: {len(body)}\r\n\r\n")
    return text.encode() + body


def rtp_packet():
    header = struct.pack(">BBHII", 0x80 | random.choice([0, 0, 0x10]),
                         random.randrange(256), random.randrange(1 << 16),
                         random.randrange(1 << 32), random.randrange(1 << 32))
    return header + os.urandom(random.choice([0, 1, 20, 32, 160, 161, 400, 1200]))


def rtcp_packet():
    if random.random() < 0.5:
        return os.urandom(random.randrange(1, 600))
    return struct.pack(">BBHI", 0x80 | random.randrange(32), random.randrange(200, 205),
                       random.randrange(1 << 16), random.randrange(1 << 32)) + os.urandom(
                           random.randrange(0, 200))


def main():
    sockets = []
    for _ in range(32):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind(("127.0.0.1", 0))
        s.setblocking(False)
        sockets.append(s)
    sent = 0
    start = time.monotonic()
    while True:
        elapsed = time.monotonic() - start
        if elapsed >= SECONDS:
            break
        due = int(elapsed * RATE)
        while sent < due:
            s = sockets[sent % len(sockets)]
            if KIND == "service":
                data = service_packet()
            elif KIND == "sip":
                data = sip_packet(s.getsockname()[1])
            elif KIND == "rtp":
                data = rtp_packet()
            else:
                data = rtcp_packet()
            try:
                s.sendto(data, (HOST, PORT))
            except OSError:
                pass  # a full buffer or an ICMP error from an earlier datagram
            sent += 1
            # Answers and errors are read away so that the sockets stay usable.
            try:
                s.recv(65535)
            except OSError:
                pass
        time.sleep(0.002)
    print(f"{KIND}: {sent} datagrams in {SECONDS:.0f} s to port {PORT}")


if __name__ == "__main__":
    random.seed(int.from_bytes(os.urandom(4), "big"))
    main()
