#!/usr/bin/env python3
"""Stands between korvane-sim and Korvane: opens the simulator's terminal, offers a new
pseudo-terminal to Korvane (a symbolic link names it), passes the bytes both ways, and
logs every piece the simulator sends with the time it arrived, so that what Korvane
received can be decoded on its own afterwards (check-recovered.py). With --move it
puts the motor into motor mode with a velocity command once feedback flows, so that
the samples change from frame to frame.

    scripts/feedback-relay.py --sim /tmp/korvane-sim --log relay.log --link /tmp/relay
    build/bin/korvane --port "$(readlink /tmp/relay)" --connect

The log is a run of records: time (little-endian double, seconds since the epoch),
length (little-endian 32-bit), then that many bytes."""
import argparse
import os
import select
import struct
import time
import tty


def command_frame(payload, motor):
    frame = bytes([0xAA, 0xAF, 0x0F, 0xA1]) + payload + bytes([motor, 0x01])
    return frame + bytes([sum(frame) & 0xFF])


def code(value, low, high, bits):
    return int((value - low) / (high - low) * ((1 << bits) - 1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--sim', required=True, help="the simulator's device or link")
    parser.add_argument('--log', required=True)
    parser.add_argument('--link', required=True, help='link to the terminal for Korvane')
    parser.add_argument('--move', action='store_true')
    parser.add_argument('--motor-id', type=int, default=0)
    args = parser.parse_args()

    sim = os.open(args.sim, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(sim)
    master, slave = os.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    # Korvane may be gone (killed): what it would have read is logged all the same.
    os.set_blocking(master, False)
    if os.path.lexists(args.link):
        os.remove(args.link)
    os.symlink(os.ttyname(slave), args.link)
    print('relay', os.ttyname(slave), flush=True)

    # Default Limits: velocity 2 rad/s held with Kd 1, no stiffness, no torque.
    word = (code(0, -95.5, 95.5, 16) << 48) | (code(2, -45, 45, 12) << 36) | \
        (code(1, 0, 5, 12) << 12) | code(0, -18, 18, 12)
    start = command_frame(bytes([0xFF] * 7 + [0xFC]), args.motor_id) + \
        command_frame(word.to_bytes(8, 'big'), args.motor_id)
    received = 0
    with open(args.log, 'wb') as log:
        while True:
            ready, _, _ = select.select([sim, master], [], [], 0.5)
            if sim in ready:
                try:
                    data = os.read(sim, 65536)
                except OSError:
                    break
                if not data:
                    break
                log.write(struct.pack('<dI', time.time(), len(data)) + data)
                log.flush()
                try:
                    os.write(master, data)
                except OSError:
                    pass
                received += len(data)
                if args.move and received > 2000:
                    os.write(sim, start)
                    args.move = False
            if master in ready:
                try:
                    data = os.read(master, 65536)
                except OSError:
                    data = b''
                if data:
                    os.write(sim, data)
                else:
                    time.sleep(0.05)  # no Korvane on the other end


if __name__ == '__main__':
    main()
