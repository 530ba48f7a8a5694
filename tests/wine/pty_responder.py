#!/usr/bin/env python3
"""The far end of a serial line for the serlink32 tests under Wine.

Makes a pseudo-terminal pair, links the slave's path to LINK (Wine's COM1 is
then mapped to LINK), and answers every line that ends in CR, as the native
tests' responder does (tests/unit/serial/line_peer.h). With L the line
without its CR:
  "SILENT"  no answer;
  "PIECES"  "PIECE0" ... "PIECE7" (the last followed by CR), 50 ms apart;
  "LONG"    100 bytes: "0123456789" over and over, the 100th byte CR;
  others    "<" L ">" CR.

Usage: pty_responder.py LINK [LOG]. Runs until SIGTERM or SIGINT; removes
LINK on the way out. Every line received is logged to LOG when given.
"""
import os
import select
import signal
import sys
import time
import tty


def main():
    if len(sys.argv) < 2:
        sys.stderr.write("usage: pty_responder.py LINK [LOG]\n")
        return 2
    link = sys.argv[1]
    log = open(sys.argv[2], "a", buffering=1) if len(sys.argv) > 2 else None
    master, slave = os.openpty()
    # Raw from the start; the program on the other side sets its own
    # settings when it opens the port. The slave stays open here so that the
    # master never sees the line hang up between the test's opens.
    tty.setraw(slave)
    try:
        os.unlink(link)
    except FileNotFoundError:
        pass
    os.symlink(os.ttyname(slave), link)

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))

    def write(data):
        os.write(master, data)

    def answer(line):
        if log:
            log.write("got %r\n" % line)
        if line == b"SILENT":
            return
        if line == b"PIECES":
            for i in range(8):
                if i:
                    time.sleep(0.05)
                write(b"PIECE%d" % i + (b"\r" if i == 7 else b""))
            return
        if line == b"LONG":
            write(bytes(ord("0") + i % 10 for i in range(99)) + b"\r")
            return
        write(b"<" + line + b">\r")

    line = b""
    try:
        while not stop:
            try:
                ready, _, _ = select.select([master], [], [], 0.1)
            except InterruptedError:
                continue
            if not ready:
                continue
            try:
                data = os.read(master, 256)
            except OSError:
                time.sleep(0.01)
                continue
            for byte in data:
                if byte == 13:
                    answer(line)
                    line = b""
                else:
                    line += bytes((byte,))
    finally:
        try:
            os.unlink(link)
        except FileNotFoundError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
