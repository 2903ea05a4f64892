#!/usr/bin/env python3
"""Writes the small seed inputs under fuzz/corpus/: WAVE files with every kind of
metadata chunk, ".qla" files encoded from them with the qla tool, a sidecar file,
and each with the leading steering bytes its target expects.
Usage: fuzz/make_seeds.py path/to/qla"""
import math, os, struct, subprocess, sys, tempfile

here = os.path.dirname(os.path.abspath(__file__))
qla = sys.argv[1]

def chunk(cid, data):
    return cid + struct.pack('<I', len(data)) + data + (b'\0' if len(data) & 1 else b'')

def riff(form, *chunks):
    body = form + b''.join(chunks)
    return b'RIFF' + struct.pack('<I', len(body)) + body

def fmt(tag, channels, rate, bits, extra=b''):
    align = channels * bits // 8
    data = struct.pack('<HHIIHH', tag, channels, rate, rate * align, align, bits)
    return chunk(b'fmt ', data + (struct.pack('<H', len(extra)) + extra if tag != 1 else b''))

def pcm(channels, bits, frames):
    out = bytearray()
    for i in range(frames):
        for c in range(channels):
            v = int(math.sin(i * (0.05 + 0.03 * c)) * (1 << (bits - 3))) + (i * 7919 % 37)
            out += (v & ((1 << bits) - 1)).to_bytes(bits // 8, 'little')
    return bytes(out)

def metadata():
    cue = struct.pack('<I', 2) + struct.pack('<II4sIII', 1, 0, b'data', 0, 0, 40) + \
          struct.pack('<II4sIII', 2, 0, b'data', 0, 0, 90)
    adtl = b'adtl' + chunk(b'labl', struct.pack('<I', 1) + b'Start\0') + \
           chunk(b'ltxt', struct.pack('<II4sHHHH', 2, 30, b'rgn ', 0, 0, 0, 0)) + \
           chunk(b'labl', struct.pack('<I', 2) + b'Loop\0') + chunk(b'note', struct.pack('<I', 2) + b'n\0')
    info = b'INFO' + chunk(b'INAM', b'Seed\0') + chunk(b'IART', b'Fuzz\0') + chunk(b'ICMT', b'x' * 9 + b'\0')
    acid = struct.pack('<IHHfIHHf', 1, 60, 0x8000, 0, 4, 4, 4, 120.0)
    strc = struct.pack('<7I', 1, 1, 0, 0, 0, 0, 0) + struct.pack('<8I', 0, 10, 0, 100, 0, 0, 0, 0)
    return [chunk(b'cue ', cue), chunk(b'LIST', adtl), chunk(b'LIST', info), chunk(b'acid', acid),
            chunk(b'strc', strc)]

ext_pcm = bytes.fromhex('0100000000001000800000aa00389b71')
wavs = {
    'mono16': riff(b'WAVE', fmt(1, 1, 44100, 16), chunk(b'data', pcm(1, 16, 1300)), *metadata()),
    'stereo24': riff(b'WAVE', fmt(1, 2, 96000, 24), chunk(b'data', pcm(2, 24, 600))),
    'ext16': riff(b'WAVE', fmt(0xFFFE, 2, 48000, 16, struct.pack('<HI', 16, 3) + ext_pcm),
                  chunk(b'data', pcm(2, 16, 300))),
    'float32': riff(b'WAVE', fmt(3, 1, 8000, 32), chunk(b'data', struct.pack('<50f', *[i / 50 for i in range(50)]))),
    'u8': riff(b'WAVE', fmt(1, 1, 8000, 8), chunk(b'JUNK', b'\0' * 5), chunk(b'data', bytes(range(0, 256, 3)))),
}
sidecar = riff(b'CVPL', chunk(b'CVPI', b'input.wav\0'), *metadata()[:3])

def save(target, name, data):
    os.makedirs(os.path.join(here, 'corpus', target), exist_ok=True)
    with open(os.path.join(here, 'corpus', target, name), 'wb') as f:
        f.write(data)

steer = bytes([0x13, 0x05, 0xFF, 0x21, 0x80, 0x07, 0x42, 0x9A, 0x01, 0x33, 0x64, 0x0C, 0xA5, 0x02, 0x10, 0x77,
               0x00, 0x03])
with tempfile.TemporaryDirectory() as tmp:
    for name, data in wavs.items():
        save('wav_reader', name, steer[:12] + data)
        save('metadata', name, steer[:16] + data)
        save('riff', name, steer[:8] + data)
        if name in ('mono16', 'stereo24'):
            src, out = os.path.join(tmp, name + '.wav'), os.path.join(tmp, name + '.qla')
            open(src, 'wb').write(data)
            subprocess.run([qla, 'encode', '-q', '-f', src, '-o', out], check=True)
            q = open(out, 'rb').read()
            save('reader', name, steer + q)
            save('riff', name + '.qla', bytes([2, 0, 0, 0, 3, 0, 0, 0]) + q)
            start = q.index(b'data') + 8
            size = struct.unpack('<I', q[start - 4:start])[0]
            shape = 0 if name == 'mono16' else 3
            save('block_decoder', name, bytes([shape]) + q[start:start + size])
            save('block_decoder', name + '-handle', bytes([shape | 0x80]) + q[start:start + size])
    save('metadata', 'sidecar', steer[:16] + sidecar)
    save('riff', 'sidecar', bytes([1, 5]) + steer[2:8] + sidecar)
    save('round_trip', 'mono16', bytes([0]) + pcm(1, 16, 700))
    save('round_trip', 'stereo24', bytes([3]) + pcm(2, 24, 530))
    save('converters', 'ramp', bytes([1, 4, 2]) + bytes(range(256)))
    save('converters', 'ext', bytes([6, 8, 0]) + wavs['ext16'][20:60])
    save('text', 'directives', bytes([0, 40, 0]) + bytes(80) + b'Rate \xc1\x22 Hz\xe0 \xc3\x11bits $ \xe4name)')
    save('text', 'strings', bytes([3, 0, 1]) + bytes(80) + b'File \xc0\x00 missing\xe1\x00tail')
