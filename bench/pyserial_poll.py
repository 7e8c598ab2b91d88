#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The live poll's seven transactions done the same way as pavro does them (flush out,
write, flush in, read to the carriage return), with pyserial. Prints the median time of one
transaction in microseconds. Usage: pyserial_poll.py DEVICE [N]"""
import statistics
import sys
import time

import serial


def main():
    dev = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    port = serial.Serial(dev, 9600, bytesize=8, parity="N", stopbits=1, timeout=0.6)
    commands = [b"u1\r", b"u2\r", b"u3\r", b"u4\r", b"u5\r", b"u6\r", b"m2\r"]
    times = []
    for i in range(n):
        cmd = commands[i % len(commands)]
        t = time.perf_counter()
        port.reset_output_buffer()
        port.write(cmd)
        port.reset_input_buffer()
        reply = port.read_until(b"\r", 24)
        times.append(time.perf_counter() - t)
        if not reply.endswith(b"\r"):
            print("transaction %d failed: %r" % (i, reply), file=sys.stderr)
    print("%.1f" % (statistics.median(times) * 1e6))


main()
