#!/usr/bin/env python3
"""A stand-in for the service's external command port (127.0.0.1:60055),
for the tray states the simulator cannot reach: it answers the tray's text
queries from a table of UPS information items and its event-summary query
from a state file, read at every query:

    tray_fake_service.py <state-file> <log-file> <seconds>

The state file holds "none" (no summary yet: every value -1) or
"LEVEL CATEGORY" (a summary of that level and category, stamped with the
moment the state file was last written). Ends by itself after <seconds>.
"""
import os
import socket
import struct
import sys
import time

ITEMS = {0: b"ZEP-FAKE 1500", 1: b"FK0001", 4: b"1500", 5: b"1050",
         6: b"100", 7: b"95", 10: b"0.4", 11: b"27.5"}


def frame(payload):
    body = bytes([len(payload), 6]) + payload
    check = 0
    for b in body:
        check ^= b
    return body + bytes([check])


def answer(request, state_file):
    if len(request) < 4 or request[1] != 2 or request[0] + 3 != len(request):
        return None
    payload = request[2:-1]
    if payload[0] == 0 and len(payload) == 10:
        kind = payload[1]
        ident = struct.unpack("<i", payload[2:6])[0]
        text = ITEMS.get(ident) if kind == 5 else None
        return frame(bytes([0, kind]) + (text or b""))
    if payload[0] == 0x42 and len(payload) >= 5:
        try:
            with open(state_file) as f:
                words = f.read().split()
            stamp = int(os.path.getmtime(state_file))
        except OSError:
            words, stamp = ["none"], 0
        values = {}
        if len(words) == 2:
            values = {3: int(words[0]), 4: int(words[1]), 5: stamp}
        out = bytearray(payload)
        for at in range(2, len(out) - 4, 5):
            out[at + 1:at + 5] = struct.pack(">i", values.get(out[at], -1))
        return frame(bytes(out))
    return None


def main():
    state_file, log_file, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 60055))
    sock.settimeout(0.5)
    end = time.monotonic() + seconds
    with open(log_file, "a", buffering=1) as log:
        log.write("ready\n")
        while time.monotonic() < end:
            try:
                request, sender = sock.recvfrom(1024)
            except socket.timeout:
                continue
            reply = answer(request, state_file)
            log.write(f"{request.hex()} -> {reply.hex() if reply else '-'}\n")
            if reply:
                sock.sendto(reply, sender)


if __name__ == "__main__":
    main()
