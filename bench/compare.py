"""Benchmark driver for bench/compare.sh: builds the inputs, runs qla (one thread
and -j N), flac and wavpack on them in interleaved rounds and prints one table
per input with sizes, wall and CPU times, peak memory and the speed ratios, then
what the processors allow (one-thread runs side by side, the digest's serial
chain), the host read path and the targets."""
import argparse
import hashlib
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


def looped_wav(sources, target, seconds):
    """Concatenates the sources (same format), repeated and cut to `seconds`."""
    parts = [read_wav(s) for s in sources]
    fmt = parts[0][0]
    pcm = b''.join(p[1] for p in parts)
    _, rate, _, block, _ = struct.unpack('<HIIHH', fmt[2:16])
    need = int(seconds * rate) * block
    write_wav(target, fmt, (pcm * (need // len(pcm) + 1))[:need])
    return need / block / rate


def start_clean(outputs):
    """Removes the outputs of earlier runs and lets the disk take what they wrote.
    Replacing an earlier run's output would make the run free that file's
    blocks: on an ext4 file system without a journal and with online discard,
    as on the development machine, that waits for the disk to discard them
    (6-9 ms for these files, whichever tool replaces them). Removed here, the
    cost stays out of every contender's time alike. And on a small machine the
    kernel's write-back of one contender's output would otherwise land in the
    next one's wall time, whichever it is."""
    for output in outputs:
        if os.path.exists(output):
            os.remove(output)
    os.sync()


def measure(cmd, output):
    """(wall seconds, CPU seconds, peak resident KiB) of one run of cmd, which
    writes output. GNU time reports the CPU time and peak memory of cmd alone (a
    child forked from this script would inherit its own large resident set).
    Each run starts with nothing waiting to be written to the disk and with no
    output of an earlier run in the way."""
    stats = cmd_stats_path()
    start_clean([output])
    start = time.perf_counter()
    r = subprocess.run(['/usr/bin/time', '-o', stats, '-f', '%U %S %M'] + cmd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    if r.returncode != 0:
        raise SystemExit(f'{" ".join(cmd)} failed ({r.returncode}): {r.stderr.decode(errors="replace")}')
    user, system, peak = open(stats).read().split()[-3:]
    return wall, float(user) + float(system), int(peak)


def side_by_side(cmds, outputs):
    """Wall seconds until every one of cmds, started together, has ended."""
    start_clean(outputs)
    start = time.perf_counter()
    # Through /usr/bin/time as the single runs are, so that both pay for its start.
    procs = [subprocess.Popen(['/usr/bin/time', '-o', os.devnull] + cmd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL) for cmd in cmds]
    codes = [p.wait() for p in procs]
    wall = time.perf_counter() - start
    if any(codes):
        raise SystemExit(f'{" ".join(cmds[0])} side by side failed ({codes})')
    return wall


def digest_seconds(pcm, runs):
    """The fastest MD5 of the PCM on one core (Python's hashlib, OpenSSL's on Debian): the
    check of a .qla file is one chain of MD5 steps through its audio in order,
    which no number of threads shortens."""
    best = float('inf')
    for _ in range(max(runs, 3)):
        start = time.perf_counter()
        hashlib.md5(pcm).digest()
        best = min(best, time.perf_counter() - start)
    return best


def cmd_stats_path():
    return os.path.join(os.environ.get('TMPDIR', '/tmp'), f'qla-bench-{os.getpid()}.time')


class Contender:
    """One codec setting: how to encode and decode, and its measurements."""

    def __init__(self, name, ext, encode, decode):
        self.name, self.ext, self.encode, self.decode = name, ext, encode, decode
        self.enc, self.dec = [], []

    def median(self, runs, i):
        return statistics.median(r[i] for r in runs)

    def peak(self, runs):
        return max(r[2] for r in runs)


def contenders(qla, threads, peer_root, inside):
    """inside(path) is the path as a chrooted peer sees it."""
    chroot = lambda tool: ['chroot', peer_root, tool]
    out = [
        Contender('qla', '.qla', lambda i, c: [qla, 'encode', '-j', '1', '-q', '-f', '-o', c, i],
                  lambda c, w: [qla, 'decode', '-j', '1', '-q', '-f', '-o', w, c]),
        Contender(f'qla -j {threads}', '.qlaj', lambda i, c: [qla, 'encode', '-j', str(threads), '-q', '-f', '-o', c, i],
                  lambda c, w: [qla, 'decode', '-j', str(threads), '-q', '-f', '-o', w, c]),
    ]
    if peer_root:
        flac, wavpack, wvunpack = chroot('flac'), chroot('wavpack'), chroot('wvunpack')
        out += [
            Contender('flac 1.5 -5', '.f5', lambda i, c: flac + ['-5', '-s', '-f', '-o', inside(c), inside(i)],
                      lambda c, w: flac + ['-d', '-s', '-f', '-o', inside(w), inside(c)]),
            Contender(f'flac 1.5 -5 -j {threads}', '.f5j',
                      lambda i, c: flac + ['-5', '-j', str(threads), '-s', '-f', '-o', inside(c), inside(i)],
                      lambda c, w: flac + ['-d', '-s', '-f', '-o', inside(w), inside(c)]),
            Contender('flac 1.5 -8', '.f8', lambda i, c: flac + ['-8', '-s', '-f', '-o', inside(c), inside(i)],
                      lambda c, w: flac + ['-d', '-s', '-f', '-o', inside(w), inside(c)]),
            Contender('wavpack 5.8', '.wv', lambda i, c: wavpack + ['-q', '-y', inside(i), '-o', inside(c)],
                      lambda c, w: wvunpack + ['-q', '-y', inside(c), '-o', inside(w)]),
        ]
    if shutil.which('flac'):
        out.append(Contender('flac (system) -5', '.fs5', lambda i, c: ['flac', '-5', '-s', '-f', '-o', c, i],
                             lambda c, w: ['flac', '-d', '-s', '-f', '-o', w, c]))
    return out


def version(cmd):
    try:
        return subprocess.run(cmd, capture_output=True, text=True).stdout.splitlines()[0]
    except (OSError, IndexError):
        return '?'


def host_read(tool, packed, runs):
    if not os.path.exists(tool):
        return None
    r = subprocess.run([tool, packed, str(runs)], capture_output=True, text=True, check=True)
    return {k: float(v) for k, v in re.findall(r'^(\S+) (\S+)$', r.stdout, re.M)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--qla', required=True)
    ap.add_argument('--host-read', default='')
    ap.add_argument('--corpus', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--peer-root', default='')
    ap.add_argument('--runs', type=int, default=5)
    ap.add_argument('--threads', type=int, default=os.cpu_count() or 2)
    args = ap.parse_args()
    if not os.path.exists('/usr/bin/time'):
        raise SystemExit('/usr/bin/time is missing (Debian package time)')
    peer_root = args.peer_root if args.peer_root and os.path.isfile(os.path.join(args.peer_root, 'usr/bin/flac')) else ''
    # The peers in the Debian 13 folder see the work folder inside it.
    work = os.path.join(peer_root, 'tmp/qla-bench') if peer_root else args.work
    inside = lambda p: '/' + os.path.relpath(p, peer_root)
    os.makedirs(work, exist_ok=True)
    w = lambda name: os.path.join(work, name)
    for name in ('stereo16-a', 'stereo16-b', 'stereo24-96k'):
        subprocess.run(['flac', '-d', '-s', '-f', '-o', w(name + '.wav'), os.path.join(args.corpus, name + '.flac')],
                       check=True)
    inputs = [
        ('CD audio, 16-bit 44.1 kHz stereo', w('cd.wav'), looped_wav([w('stereo16-a.wav'), w('stereo16-b.wav')], w('cd.wav'), 231)),
        ('24-bit 96 kHz stereo', w('hr.wav'), looped_wav([w('stereo24-96k.wav')], w('hr.wav'), 25)),
    ]

    print(f'{time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())}, {os.cpu_count()} processors, '
          f'load average {os.getloadavg()[0]:.2f}; median of {args.runs} interleaved rounds; '
          'whole-process wall time (start-up and file writing included) and CPU time (user + system).')
    if peer_root:
        print(f'Peers from {peer_root} (chroot): {version(["chroot", peer_root, "flac", "--version"])}, '
              f'{version(["chroot", peer_root, "wavpack", "--version"])}')
    else:
        print('Newest peers missing: run bench/setup-peers.sh (as root) for flac 1.5 and wavpack 5.8.')
    if shutil.which('flac'):
        print(f'System peer: {version(["flac", "--version"])}')
    targets = []
    for label, wav, seconds in inputs:
        source_pcm = read_wav(wav)[1]
        pcm_bytes = len(source_pcm)
        cs = contenders(args.qla, args.threads, peer_root, inside)
        qla1 = cs[0]
        # What the processors give this machine: N one-thread runs side by side,
        # in the same rounds, for the long input that the threads target is set for.
        pair_enc, pair_dec = [], []
        pair_qla = [wav + f'.side{i}.qla' for i in range(args.threads)]
        pair_wav = [name + '.wav' for name in pair_qla]
        for _ in range(args.runs):
            for c in cs:
                c.enc.append(measure(c.encode(wav, wav + c.ext), wav + c.ext))
            if seconds >= 200:
                pair_enc.append(side_by_side([qla1.encode(wav, name) for name in pair_qla], pair_qla))
            for c in cs:
                c.dec.append(measure(c.decode(wav + c.ext, wav + c.ext + '.wav'), wav + c.ext + '.wav'))
            if seconds >= 200:
                pair_dec.append(side_by_side([qla1.decode(wav + qla1.ext, name) for name in pair_wav], pair_wav))
        for name in pair_qla + pair_wav:
            if os.path.exists(name):
                os.remove(name)
        for c in cs:
            if read_wav(wav + c.ext + '.wav')[1] != source_pcm:
                raise SystemExit(f'{c.name}: decoded PCM differs from the source')
        qlaj = cs[1]
        if open(wav + qla1.ext, 'rb').read() != open(wav + qlaj.ext, 'rb').read():
            raise SystemExit('qla -j gave other bytes than one thread')
        te, td = qla1.median(qla1.enc, 0), qla1.median(qla1.dec, 0)
        print()
        print(f'### {label}, {seconds:.0f} s, {pcm_bytes / 1e6:.1f} MB of PCM')
        print()
        print('| codec | size (% of PCM) | encode s | encode CPU s | decode s | decode CPU s | peak MiB enc / dec '
              '| qla encode vs this | qla decode vs this |')
        print('|---|---:|---:|---:|---:|---:|---:|---:|---:|')
        for c in cs:
            ce, cd = c.median(c.enc, 0), c.median(c.dec, 0)
            print(f'| {c.name} | {100.0 * os.path.getsize(wav + c.ext) / pcm_bytes:.2f} | {ce:.3f} '
                  f'| {c.median(c.enc, 1):.3f} | {cd:.3f} | {c.median(c.dec, 1):.3f} '
                  f'| {c.peak(c.enc) / 1024:.1f} / {c.peak(c.dec) / 1024:.1f} | {ce / te:.2f}x | {cd / td:.2f}x |')
        print()
        print(f'qla -j {args.threads} against one thread: encode {te / qlaj.median(qlaj.enc, 0):.2f}x, '
              f'decode {td / qlaj.median(qlaj.dec, 0):.2f}x faster.')
        if pair_enc:
            chain = digest_seconds(source_pcm, args.runs)
            print(f'What {args.threads} processors allow here: {args.threads} one-thread runs side by side take '
                  f'{statistics.median(pair_enc):.3f} s (encode) and {statistics.median(pair_dec):.3f} s (decode), '
                  f'that is {args.threads * te / statistics.median(pair_enc):.2f}x and '
                  f'{args.threads * td / statistics.median(pair_dec):.2f}x the work of one run in the time of one, '
                  f'about the most that threads can gain on this machine. The MD5 of the PCM on one core (the '
                  f'serial chain that every qla run hashes) takes {chain:.3f} s: no number of threads makes encode '
                  f'more than {te / chain:.2f}x or decode more than {td / chain:.2f}x faster than one thread.')
        hr = host_read(args.host_read, wav + qla1.ext, args.runs)
        if hr:
            print(f'Host read path (QlaStream::Read, no file written): 4096-frame requests {hr["read_4096"]:.3f} s '
                  f'({100 * td / hr["read_4096"]:.0f} % of qla decode\'s speed), 16384-frame requests '
                  f'{hr["read_16384"]:.3f} s ({100 * td / hr["read_16384"]:.0f} %); random seek + 4096 frames '
                  f'{1000 * hr["seek_read_4096"]:.2f} ms, one seek group from its sync block '
                  f'{1000 * hr["group_decode"]:.2f} ms.')
            share = min(td / hr['read_4096'], td / hr['read_16384'])
            targets.append((f'{label}: host read >= 85 % of qla decode', f'{100 * share:.1f} %', share >= 0.85))
            targets.append((f'{label}: seek + 4096 frames <= one seek group',
                            f'{1000 * hr["seek_read_4096"]:.3f} ms against {1000 * hr["group_decode"]:.3f} ms',
                            hr['seek_read_4096'] <= hr['group_decode']))
        flac5 = next((c for c in cs if c.name == 'flac 1.5 -5'), None)
        if flac5:
            decode_ratio, encode_ratio = flac5.median(flac5.dec, 0) / td, flac5.median(flac5.enc, 0) / te
            targets.append((f'{label}: decode >= 2x flac 1.5 -d', f'{decode_ratio:.3f}x', decode_ratio >= 2.0))
            targets.append((f'{label}: encode >= 3x flac 1.5 -5', f'{encode_ratio:.3f}x', encode_ratio >= 3.0))
        # The threads target is set for one long file: the 231 s of CD audio.
        if seconds >= 200:
            encode_gain, decode_gain = te / qlaj.median(qlaj.enc, 0), td / qlaj.median(qlaj.dec, 0)
            targets.append((f'{label}: encode -j {args.threads} >= 1.6x one thread', f'{encode_gain:.3f}x',
                            encode_gain >= 1.6))
            targets.append((f'{label}: decode -j {args.threads} >= 1.6x one thread', f'{decode_gain:.3f}x',
                            decode_gain >= 1.6))
    print()
    print('Targets: ' + '; '.join(f'{name}: {value}, {"met" if ok else "NOT met"}' for name, value, ok in targets))


if __name__ == '__main__':
    sys.exit(main())
