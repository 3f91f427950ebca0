#!/usr/bin/env python3
"""Checks a recording saved after a crash against what the simulator sent.

    scripts/check-recovered.py relay.log KILL_TIME recovered.txt

relay.log is the log of feedback-relay.py, KILL_TIME the moment Korvane was killed
(seconds since the epoch, e.g. from `date +%s.%N`). The feedback frames in the log are
cut out and decoded here, on their own: the frame rules of the adapter and 32-bit
float arithmetic over the default Limits. The recording passes when it holds every
frame that reached the relay a second or more before the kill, and its samples are
those frames in order, written as Korvane writes them ("%.3f"). Exits 0 on a pass."""
import struct
import sys


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def fixed_to_float(value, low, high, bits):
    low, high = f32(low), f32(high)
    span = f32(high - low)
    top = f32(float((1 << bits) - 1))
    return f32(f32(f32(span * f32(float(value))) / top) + low)


def frames_in(log):
    raw = open(log, 'rb').read()
    stream, arrived, at = bytearray(), [], 0
    while at + 12 <= len(raw):
        when, n = struct.unpack_from('<dI', raw, at)
        stream += raw[at + 12:at + 12 + n]
        arrived += [when] * n
        at += 12 + n
    frames, i = [], 0
    while len(stream) - i >= 3:
        if stream[i] != 0xAA or stream[i + 1] != 0xAA:
            j = stream.find(b'\xaa\xaa', i)
            i = len(stream) if j < 0 else j
            continue
        length = struct.unpack('b', bytes([stream[i + 2]]))[0]
        if length < 1:
            i += 1
            continue
        if len(stream) - i < length:
            break
        f = stream[i:i + length]
        if length == 11 and sum(f[:10]) & 0xFF == f[10] and f[3] == 0x01:
            position = f[4] * 256 + f[5]
            velocity = f[6] * 16 + (f[7] >> 4)
            current = (f[7] & 0x0F) * 256 + f[8]
            frames.append((arrived[i + length - 1],
                           fixed_to_float(position, -95.5, 95.5, 16),
                           fixed_to_float(velocity, -45, 45, 12),
                           fixed_to_float(current, -40, 40, 12)))
        i += length
    return frames


def sections_of(txt):
    lines = open(txt, 'rb').read().split(b'\n')
    count = int(lines[0])
    sections, at = {}, 1
    while at < len(lines) and lines[at].startswith(b'['):
        sections[lines[at].decode()] = lines[at + 1:at + 1 + count]
        at += 1 + count
    return count, sections


def main():
    log, kill, txt = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    frames = frames_in(log)
    due = sum(1 for f in frames if f[0] <= kill - 1.0)
    sent = sum(1 for f in frames if f[0] <= kill)
    count, sections = sections_of(txt)
    ok = count >= due
    for k, name in enumerate(['[Position]', '[Velocity]', '[Current]'], start=1):
        want = [('%.3f' % f[k]).encode() for f in frames[:count]]
        got = sections.get(name, [])
        if got != want:
            first = next((x for x in range(min(len(got), len(want))) if got[x] != want[x]),
                         min(len(got), len(want)))
            print('%s differs from sample %d' % (name, first))
            ok = False
    print('frames that reached the relay before the kill: %d, a second before: %d; '
          'recording: %d samples; %s' % (sent, due, count, 'pass' if ok else 'FAIL'))
    sys.exit(0 if ok else 1)


if __name__ == '__main__':
    main()
