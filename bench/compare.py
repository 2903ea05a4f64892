"""Benchmark driver for bench/compare.sh: builds the inputs, runs every encoder
and decoder several times on one thread and prints a Markdown table."""
import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time


def read_wav(path):
    """(fmt chunk bytes, PCM data) of a WAVE file, extensible formats included."""
    with open(path, 'rb') as f:
        data = f.read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        raise SystemExit(f'{path}: not a WAVE file')
    pos, fmt, pcm = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b'fmt ':
            fmt = body
        elif cid == b'data':
            pcm = body
        pos += 8 + size + (size & 1)
    return fmt, pcm


def write_wav(path, fmt, pcm):
    """A WAVE file with the given fmt chunk (kept as is) and data."""
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(pcm)) + pcm
    if len(pcm) & 1:
        body += b'\0'
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)


def fmt_facts(fmt):
    channels, rate, _, block, bits = struct.unpack('<HIIHH', fmt[2:16])
    return channels, rate, block, bits


def looped_wav(sources, target, seconds):
    """Concatenates the sources (same format) and repeats them to at least `seconds`."""
    parts = [read_wav(s) for s in sources]
    fmt = parts[0][0]
    pcm = b''.join(p[1] for p in parts)
    channels, rate, block, bits = fmt_facts(fmt)
    need = int(seconds * rate) * block
    reps = -(-need // len(pcm))
    write_wav(target, fmt, pcm * reps)
    return len(pcm) * reps / block / rate


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def timed(cmd, runs):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        run(cmd)
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def peak_memory_kib(cmd):
    if os.path.exists('/usr/bin/time'):
        r = subprocess.run(['/usr/bin/time', '-v'] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           text=True, check=True)
        m = re.search(r'Maximum resident set size \(kbytes\): (\d+)', r.stderr)
        if m:
            return int(m.group(1))
    import resource
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss


def codecs(qla, work):
    o = lambda name: os.path.join(work, name)
    return [
        ('qla', '.qla',
         lambda i, c: [qla, 'encode', '-j', '1', '-q', '-f', '-o', c, i],
         lambda c, w: [qla, 'decode', '-j', '1', '-q', '-f', '-o', w, c]),
        ('flac -5', '.flac5',
         lambda i, c: ['flac', '-5', '-s', '-f', '-o', c, i],
         lambda c, w: ['flac', '-d', '-s', '-f', '-o', w, c]),
        ('flac -8', '.flac8',
         lambda i, c: ['flac', '-8', '-s', '-f', '-o', c, i],
         lambda c, w: ['flac', '-d', '-s', '-f', '-o', w, c]),
        ('wavpack', '.wv',
         lambda i, c: ['wavpack', '-q', '-y', i, '-o', c],
         lambda c, w: ['wvunpack', '-q', '-y', c, '-o', w]),
    ]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--qla', required=True)
    ap.add_argument('--corpus', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--runs', type=int, default=5)
    args = ap.parse_args()
    for tool in ('flac', 'wavpack', 'wvunpack'):
        if not shutil.which(tool):
            raise SystemExit(f'{tool} is missing (run scripts/bootstrap.sh)')
    os.makedirs(args.work, exist_ok=True)
    w = lambda name: os.path.join(args.work, name)
    for name in ('stereo16-a', 'stereo16-b', 'stereo24-96k'):
        run(['flac', '-d', '-s', '-f', '-o', w(name + '.wav'), os.path.join(args.corpus, name + '.flac')])
    inputs = [
        ('16-bit 44.1 kHz stereo', w('in16.wav'), looped_wav([w('stereo16-a.wav'), w('stereo16-b.wav')], w('in16.wav'), 60)),
        ('24-bit 96 kHz stereo', w('in24.wav'), looped_wav([w('stereo24-96k.wav')], w('in24.wav'), 60)),
    ]

    print(f'Median of {args.runs} runs, one thread, whole-process wall time (start-up included).')
    for label, wav, seconds in inputs:
        wav_size = os.path.getsize(wav)
        pcm_mb = len(read_wav(wav)[1]) / 1e6
        rows = []
        for name, ext, enc, dec in codecs(args.qla, args.work):
            packed = wav + ext
            out = wav + ext + '.wav'
            te = timed(enc(wav, packed), args.runs)
            td = timed(dec(packed, out), args.runs)
            if read_wav(out)[1] != read_wav(wav)[1]:
                raise SystemExit(f'{name}: decoded PCM differs from the source')
            rows.append((name, os.path.getsize(packed), te, td))
        qla_row = rows[0]
        print()
        print(f'### {label}, {seconds:.1f} s, {pcm_mb:.1f} MB of PCM')
        print()
        print('| codec | size (% of WAV) | encode MB/s | encode x realtime | decode MB/s | decode x realtime '
              '| qla encode speed vs this | qla decode speed vs this |')
        print('|---|---:|---:|---:|---:|---:|---:|---:|')
        for name, size, te, td in rows:
            print(f'| {name} | {100.0 * size / wav_size:.2f} | {pcm_mb / te:.1f} | {seconds / te:.0f} '
                  f'| {pcm_mb / td:.1f} | {seconds / td:.0f} | {te / qla_row[2]:.2f}x | {td / qla_row[3]:.2f}x |')
        enc_mem = peak_memory_kib(codecs(args.qla, args.work)[0][2](wav, wav + '.qla'))
        dec_mem = peak_memory_kib(codecs(args.qla, args.work)[0][3](wav + '.qla', wav + '.qla.wav'))
        print()
        print(f'qla peak memory: encode {enc_mem / 1024:.1f} MiB, decode {dec_mem / 1024:.1f} MiB (maximum resident set)')


if __name__ == '__main__':
    sys.exit(main())
