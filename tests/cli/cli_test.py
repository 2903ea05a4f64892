"""Black-box tests of the qla command-line tool: round trips of audio and
metadata, refusals with their exit codes and messages, damage detection,
standard output, parallel runs and interruption."""
import argparse
import hashlib
import json
import math
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest

QLA = None
WORK = None


def chunk(cid, body):
    return cid + struct.pack('<I', len(body)) + body + (b'\0' if len(body) & 1 else b'')


def fmt_pcm(channels, rate, bits, tag=1):
    block = channels * bits // 8
    return struct.pack('<HHIIHH', tag, channels, rate, rate * block, block, bits)


def fmt_extensible(channels, rate, bits, valid, subformat_tag=1):
    block = channels * bits // 8
    guid = struct.pack('<IHH', subformat_tag, 0x0000, 0x0010) + bytes([0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
    return struct.pack('<HHIIHHHHI', 0xFFFE, channels, rate, rate * block, block, bits, 22, valid, 0) + guid


def riff(chunks):
    body = b'WAVE' + b''.join(chunks)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def signal_pcm(frames, channels, bits, seed=1):
    """Interleaved little-endian PCM: sines with noise, as a real recording would compress."""
    rnd = random.Random(seed)
    peak = (1 << (bits - 1)) - 1
    out = bytearray()
    for i in range(frames):
        for c in range(channels):
            v = 0.4 * math.sin(i * (0.01 + 0.003 * c)) + 0.2 * math.sin(i * 0.13) + 0.05 * (rnd.random() - 0.5)
            s = max(-peak - 1, min(peak, int(v * peak)))
            out += s.to_bytes(bits // 8, 'little', signed=True)
    return bytes(out)


def metadata_chunks():
    """Markers, a region, INFO and loop chunks in the form the writer produces."""
    cue = struct.pack('<I', 2)
    cue += struct.pack('<II4sIII', 1, 4410, b'data', 0, 0, 4410)
    cue += struct.pack('<II4sIII', 2, 22050, b'data', 0, 0, 22050)
    ltxt = chunk(b'ltxt', struct.pack('<II4sHHHH', 2, 8820, b'rgn ', 0, 0, 0, 0))
    labl1 = chunk(b'labl', struct.pack('<I', 1) + b'Intro\0')
    labl2 = chunk(b'labl', struct.pack('<I', 2) + b'Chorus\0')
    adtl = chunk(b'LIST', b'adtl' + ltxt + labl1 + labl2)
    info = chunk(b'LIST', b'INFO' + chunk(b'INAM', b'Test tone\0') + chunk(b'IART', b'Quartzline\0'))
    acid = chunk(b'acid', bytes(range(24)))
    strc = chunk(b'strc', struct.pack('<II', 28, 1) + bytes(20) + bytes(range(100, 132)))
    return [chunk(b'cue ', cue), adtl, info, acid, strc]


def chunks_of(data):
    """{id or LIST type: bytes of the whole chunk} and the data chunk's body."""
    assert data[:4] == b'RIFF' and data[8:12] == b'WAVE', 'not a WAVE file'
    assert struct.unpack('<I', data[4:8])[0] == len(data) - 8, 'RIFF size does not match the file'
    pos, found = 12, {}
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        whole = data[pos:pos + 8 + size + (size & 1)]
        key = cid + b':' + data[pos + 8:pos + 12] if cid == b'LIST' else cid
        found[key] = whole
        pos += 8 + size + (size & 1)
    return found


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)
    return path


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def qla(*args, **kw):
    return subprocess.run([QLA] + [str(a) for a in args], capture_output=True, **kw)


class CliTest(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(WORK, self.id().split('.')[-1])
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def assertNoLeftovers(self):
        leftovers = [n for n in os.listdir(self.dir) if n.endswith('.part')]
        self.assertEqual(leftovers, [], 'temporary files were left behind')

    def test_round_trip_keeps_audio_and_every_metadata_chunk(self):
        for channels, bits in ((2, 16), (1, 24), (2, 24), (1, 16)):
            with self.subTest(channels=channels, bits=bits):
                pcm = signal_pcm(30000, channels, bits, seed=channels * bits)
                src = write(self.path(f'src{channels}{bits}.wav'),
                            riff([chunk(b'fmt ', fmt_pcm(channels, 44100, bits)), chunk(b'data', pcm)] +
                                 metadata_chunks()))
                q, out = self.path(f'a{channels}{bits}.qla'), self.path(f'out{channels}{bits}.wav')
                r = qla('encode', '--verify', '-q', '-o', q, src)
                self.assertEqual(r.returncode, 0, r.stderr)
                r = qla('decode', '-q', '-o', out, q)
                self.assertEqual(r.returncode, 0, r.stderr)
                before, after = chunks_of(read(src)), chunks_of(read(out))
                self.assertEqual(before[b'data'], after[b'data'])
                for key in (b'cue ', b'LIST:adtl', b'LIST:INFO', b'acid', b'strc'):
                    self.assertEqual(before[key], after[key], key)
                self.assertLess(len(read(q)), len(pcm), 'no compression at all')
        self.assertNoLeftovers()

    def test_plain_wav_decodes_to_identical_bytes(self):
        pcm = signal_pcm(20000, 2, 16)
        src = write(self.path('plain.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 48000, 16)), chunk(b'data', pcm)]))
        self.assertEqual(qla('encode', '-q', src).returncode, 0)
        self.assertEqual(qla('decode', '-q', '-o', self.path('back.wav'), self.path('plain.qla')).returncode, 0)
        self.assertEqual(read(src), read(self.path('back.wav')))

    def test_extensible_source_is_stored_as_is(self):
        pcm = signal_pcm(10000, 2, 24)
        src = write(self.path('ext.wav'), riff([chunk(b'fmt ', fmt_extensible(2, 96000, 24, 24)), chunk(b'data', pcm)]))
        r = qla('encode', '--verify', src)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn(b'not a lossless', r.stderr)
        qla('decode', '-q', self.path('ext.qla'))
        self.assertEqual(chunks_of(read(self.path('ext.wav')))[b'data'][8:], pcm)

    def test_foreign_chunks_and_layout_come_back_byte_for_byte(self):
        pcm = signal_pcm(9001, 2, 24, seed=3)
        foreign = [chunk(b'bext', bytes(range(256)) * 2 + b'x'), chunk(b'iXML', b'<BWFXML/>'),
                   chunk(b'smpl', bytes(60)), chunk(b'id3 ', b'ID3\3\0' + bytes(20)), chunk(b'_PMX', b'<x:xmpmeta/>')]
        meta = metadata_chunks()
        src = write(self.path('f.wav'), riff([chunk(b'fmt ', fmt_extensible(2, 48000, 24, 20)), foreign[0], meta[2],
                                               chunk(b'data', pcm), foreign[1]] +
                                              meta[:2] + foreign[2:] + meta[3:]) + b'tail')
        q = self.path('f.qla')
        self.assertEqual(qla('encode', '-q', src).returncode, 0)
        r = qla('decode', '-o', self.path('back.wav'), q)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(read(self.path('back.wav')), read(src))
        self.assertEqual(qla('decode', '-q', '-o', '-', q).stdout, read(src))
        # A host that rewrites the metadata: its INFO wins, the other chunks stay.
        edited = bytearray(read(q))
        at = edited.index(b'Test tone')
        edited[at:at + 9] = b'Test bell'
        write(q, bytes(edited))
        r = qla('decode', '-o', self.path('edited.wav'), q)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b'metadata was changed', r.stderr)
        after = chunks_of(read(self.path('edited.wav')))
        self.assertIn(b'Test bell', after[b'LIST:INFO'])
        for c in foreign:
            self.assertEqual(after[c[:4]], c)
        self.assertEqual(after[b'fmt '], chunk(b'fmt ', fmt_extensible(2, 48000, 24, 20)))
        self.assertEqual(after[b'data'][8:], pcm)
        self.assertEqual(qla('encode', '-q', '-f', '--no-keep-foreign', src).returncode, 0)
        qla('decode', '-q', '-f', '-o', self.path('plain.wav'), q)
        self.assertNotIn(b'bext', chunks_of(read(self.path('plain.wav'))))

    def test_float_and_8_bit_need_bits_and_convert_with_a_warning(self):
        samples = [0.0, 0.5, -0.5, 1.0, -1.0, 0.25, -0.00001, 0.99999] * 500
        floats = struct.pack(f'<{len(samples)}f', *samples)
        src = write(self.path('float.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 32, tag=3)), chunk(b'data', floats)]))
        r = qla('encode', src)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'--bits', r.stderr)
        self.assertIn(src.encode(), r.stderr)
        self.assertFalse(os.path.exists(self.path('float.qla')))
        r = qla('encode', '--bits', '16', '--verify', src)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b'not a lossless copy', r.stderr)
        qla('decode', '-q', '-o', self.path('f16.wav'), self.path('float.qla'))
        expected = [max(-32768, min(32767, int(s * 32768.0))) for s in samples]
        got = struct.unpack(f'<{len(samples)}h', chunks_of(read(self.path('f16.wav')))[b'data'][8:])
        self.assertEqual(list(got), expected)

        eight = write(self.path('eight.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 22050, 8)), chunk(b'data', bytes(range(256)) * 20)]))
        r = qla('encode', eight)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'8-bit unsigned', r.stderr)
        self.assertEqual(qla('encode', '-q', '-b', '16', eight).returncode, 0)

    def test_rf64_and_extensible_float_sources(self):
        pcm = signal_pcm(5001, 1, 24, seed=9)
        ds64 = chunk(b'ds64', struct.pack('<QQQI', 0, len(pcm), 5001, 0))
        body = b'WAVE' + ds64 + chunk(b'fmt ', fmt_pcm(1, 96000, 24)) + b'data\xff\xff\xff\xff' + pcm + b'\0'
        rf64 = write(self.path('r.wav'), b'RF64\xff\xff\xff\xff' + body)
        r = qla('encode', '--verify', rf64)
        self.assertEqual(r.returncode, 0, r.stderr)
        qla('decode', '-q', '-o', self.path('r-back.wav'), self.path('r.qla'))
        self.assertEqual(read(self.path('r-back.wav')), read(rf64))
        self.assertIn(b'an RF64 WAVE file', qla('decode', rf64).stderr)
        floats = struct.pack('<4f', 0.5, -0.5, 0.25, 0.0) * 500
        ext = write(self.path('x.wav'), riff([chunk(b'fmt ', fmt_extensible(2, 44100, 32, 32, subformat_tag=3)),
                                              chunk(b'data', floats)]))
        self.assertEqual(qla('encode', ext).returncode, 1)
        r = qla('encode', '-q', '--bits', '24', ext)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b'not a lossless copy', r.stderr)
        eight = write(self.path('e.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 22050, 8)), chunk(b'data', bytes(range(256)) * 4)]))
        sixteen = write(self.path('s.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 22050, 16)), chunk(b'data', bytes(512))]))
        r = qla('encode', '--bits', '24', eight, sixteen)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b'lossless', r.stderr)
        self.assertNotIn(b'not a lossless', r.stderr)
        self.assertEqual(json.loads(qla('info', '--json', self.path('s.qla')).stdout)[0]['bits'], 16)

    def test_three_channels_are_refused_with_the_system_message(self):
        src = write(self.path('three.wav'), riff([chunk(b'fmt ', fmt_pcm(3, 44100, 16)), chunk(b'data', bytes(600))]))
        r = qla('encode', src)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'three.wav', r.stderr)
        self.assertIn(b'3 channels', r.stderr)
        self.assertIn(b'The format is not supported.', r.stderr)
        self.assertFalse(os.path.exists(self.path('three.qla')))
        self.assertNoLeftovers()

    def test_damaged_headers_are_refused_naming_the_field(self):
        pcm = signal_pcm(3000, 2, 16)
        fmt = fmt_pcm(2, 44100, 16)
        def with_fmt(**fields):
            tag, ch, rate, avg, block, bits = struct.unpack('<HHIIHH', fmt)
            vals = dict(tag=tag, ch=ch, rate=rate, avg=avg, block=block, bits=bits)
            vals.update(fields)
            return struct.pack('<HHIIHH', *vals.values())
        ext_20_in_16 = fmt_extensible(2, 44100, 16, 20)
        cases = {
            'block_larger': (riff([chunk(b'fmt ', with_fmt(block=8)), chunk(b'data', pcm)]), b'nBlockAlign'),
            'block_smaller': (riff([chunk(b'fmt ', with_fmt(block=3)), chunk(b'data', pcm)]), b'nBlockAlign'),
            'valid_bits': (riff([chunk(b'fmt ', ext_20_in_16), chunk(b'data', pcm)]), b'wValidBitsPerSample'),
            'rate_0': (riff([chunk(b'fmt ', with_fmt(rate=0)), chunk(b'data', pcm)]), b'nSamplesPerSec'),
            'rate_1': (riff([chunk(b'fmt ', with_fmt(rate=1)), chunk(b'data', pcm)]), b'nSamplesPerSec'),
            'rate_huge': (riff([chunk(b'fmt ', with_fmt(rate=0xFFFFFFFF)), chunk(b'data', pcm)]), b'nSamplesPerSec'),
            'no_channels': (riff([chunk(b'fmt ', with_fmt(ch=0)), chunk(b'data', pcm)]), b'nChannels'),
            'data_size_0': (riff([chunk(b'fmt ', fmt), b'data\0\0\0\0' + pcm]), b'--ignore-chunk-sizes'),
            'data_past_end': (riff([chunk(b'fmt ', fmt), b'data' + struct.pack('<I', len(pcm) * 2) + pcm]),
                              b'--ignore-chunk-sizes'),
            'partial_frame': (riff([chunk(b'fmt ', fmt), chunk(b'data', pcm + b'\1\2')]), b'partial frame'),
            'truncated_chunk': (riff([chunk(b'fmt ', fmt), chunk(b'data', pcm), b'LIST\xff\0\0\0INFO']), b'"LIST"'),
            'fmt_short': (riff([chunk(b'fmt ', fmt[:12]), chunk(b'data', pcm)]), b'"fmt "'),
            'no_data': (riff([chunk(b'fmt ', fmt)]), b'"data"'),
        }
        for name, (data, field) in cases.items():
            with self.subTest(name):
                src = write(self.path(name + '.wav'), data)
                r = qla('encode', src)
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn(field, r.stderr)
                self.assertFalse(os.path.exists(self.path(name + '.qla')))
        self.assertNoLeftovers()
        # Sizes that cannot be trusted are read up to the end of the file on request.
        r = qla('encode', '-q', '--ignore-chunk-sizes', self.path('data_size_0.wav'))
        self.assertEqual(r.returncode, 0, r.stderr)
        qla('decode', '-q', '-o', self.path('back.wav'), self.path('data_size_0.qla'))
        self.assertEqual(read(self.path('back.wav')), read(self.path('data_size_0.wav')))

    def test_existing_output_is_kept_without_force(self):
        src = write(self.path('s.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 44100, 16)), chunk(b'data', signal_pcm(5000, 1, 16))]))
        target = write(self.path('s.qla'), b'precious')
        r = qla('encode', src)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'Another file with that name exists', r.stderr)
        self.assertEqual(read(target), b'precious')
        self.assertEqual(qla('encode', '-q', '-f', src).returncode, 0)
        self.assertEqual(read(target)[:4], b'RIFF')
        self.assertNoLeftovers()

    def test_corrupt_qla_is_refused_and_leaves_nothing(self):
        bad = write(self.path('bad.qla'), b'RIFF\x10\0\0\0WAVEjunkjunkjunk')
        r = qla('decode', bad)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'bad.qla', r.stderr)
        self.assertIn(b'corrupted or of an unknown format', r.stderr)
        self.assertFalse(os.path.exists(self.path('bad.wav')))
        self.assertNoLeftovers()
        self.assertEqual(qla('info', bad).returncode, 1)

    def test_test_command_finds_damage(self):
        pcm = signal_pcm(60000, 2, 16)
        src = write(self.path('t.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', pcm)]))
        qla('encode', '-q', src)
        good = self.path('t.qla')
        r = qla('test', good)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b'OK', r.stdout)
        data = bytearray(read(good))
        # The seek table entry of the second seek group points into the middle of a block.
        table = data.index(b'cvla') + 8
        struct.pack_into('<I', data, table + 4, struct.unpack_from('<I', data, table + 4)[0] + 7)
        seek = write(self.path('seek.qla'), bytes(data))
        truncated = write(self.path('short.qla'), read(good)[:len(read(good)) // 2])
        r = qla('test', good, seek, truncated)
        self.assertEqual(r.returncode, 1)
        self.assertNotIn(b'/t.qla: damaged', r.stderr)
        self.assertIn(b'seek.qla: damaged', r.stderr)
        self.assertIn(b'short.qla', r.stderr)

    def test_checksum_finds_bit_flips_in_the_audio(self):
        pcm = signal_pcm(40000, 2, 16, seed=7)
        src = write(self.path('m.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', pcm)]))
        self.assertEqual(qla('encode', '-q', src).returncode, 0)
        good = read(self.path('m.qla'))
        facts = json.loads(qla('info', '--json', self.path('m.qla')).stdout)[0]
        self.assertEqual(facts['md5'], hashlib.md5(pcm).hexdigest())
        start = good.index(b'data') + 8
        end = start + struct.unpack_from('<I', good, start - 4)[0]
        rnd = random.Random(5)
        flipped = []
        for i in range(60):
            data = bytearray(good)
            bit = rnd.randrange((end - start) * 8)
            data[start + bit // 8] ^= 1 << (bit % 8)
            flipped.append(write(self.path(f'flip{i}.qla'), bytes(data)))
        r = qla('test', '-q', *flipped)
        self.assertEqual(r.returncode, 1)
        self.assertGreaterEqual(r.stderr.count(b': damaged'), 57, r.stderr)
        r = qla('decode', '-o', self.path('flip.wav'), flipped[0])
        if r.returncode:
            self.assertFalse(os.path.exists(self.path('flip.wav')))
        # Audio that decodes cleanly against a stored checksum it does not
        # match: decode refuses it on one thread and on several.
        data = bytearray(good)
        data[good.index(b'qsum') + 8] ^= 1
        wrong = write(self.path('wrong.qla'), bytes(data))
        for j in (1, 3):
            r = qla('decode', '-j', j, '-o', self.path('wrong.wav'), wrong)
            self.assertEqual(r.returncode, 1)
            self.assertIn(b'does not match its MD5 checksum', r.stderr)
            self.assertFalse(os.path.exists(self.path('wrong.wav')))

    def test_decode_to_standard_output_gives_the_file_bytes(self):
        src = write(self.path('o.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', signal_pcm(8000, 2, 16))] +
                                              metadata_chunks()))
        qla('encode', '-q', src)
        qla('decode', '-q', '-o', self.path('file.wav'), self.path('o.qla'))
        r = qla('decode', '-o', '-', self.path('o.qla'))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, read(self.path('file.wav')))

    def test_parallel_jobs_give_the_same_bytes(self):
        inputs = []
        for i in range(4):
            inputs.append(write(self.path(f'p{i}.wav'),
                                riff([chunk(b'fmt ', fmt_pcm(1 + i % 2, 44100, 16 if i < 2 else 24)),
                                      chunk(b'data', signal_pcm(15000 + 999 * i, 1 + i % 2, 16 if i < 2 else 24, seed=i))])))
        os.makedirs(self.path('one'), exist_ok=True)
        os.makedirs(self.path('two'), exist_ok=True)
        self.assertEqual(qla('encode', '-q', '-j', 1, '-d', self.path('one'), *inputs).returncode, 0)
        self.assertEqual(qla('encode', '-q', '-j', 2, '-d', self.path('two'), *inputs).returncode, 0)
        for i in range(4):
            self.assertEqual(read(self.path(f'one/p{i}.qla')), read(self.path(f'two/p{i}.qla')))

    def test_one_file_on_several_threads_gives_the_same_bytes(self):
        # Several seek groups, with silence across a group boundary; long enough
        # for a decode's workers to take runs of their own (the digest check
        # then covers both the runs hashed while decoded and those hashed after).
        pcm = signal_pcm(60000, 2, 16, seed=7)
        pcm = (pcm[:11000 * 4] + bytes(20000 * 4) + pcm[31000 * 4:]) * 7
        src = write(self.path('long.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', pcm)]))
        packed = {}
        for j in (1, 3):
            out = self.path(f'long{j}.qla')
            self.assertEqual(qla('encode', '-q', '-f', '-j', j, '-o', out, src).returncode, 0)
            packed[j] = read(out)
        self.assertEqual(packed[1], packed[3])
        for j in (2, 3):
            r = qla('decode', '-q', '-f', '-j', j, '-o', self.path(f'long{j}.wav'), self.path('long1.qla'))
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(read(self.path(f'long{j}.wav')), read(src))
        self.assertEqual(qla('test', '-q', '-j', 3, self.path('long1.qla')).returncode, 0)
        # Without a stored checksum (as the host writes files) nothing is hashed
        # and every thread takes runs in any order: the bytes still come back in place.
        unchecked = write(self.path('unchecked.qla'),
                          riff([c for cid, c in chunks_of(packed[1]).items() if cid != b'qsum']))
        r = qla('decode', '-q', '-f', '-j', 3, '-o', self.path('unchecked.wav'), unchecked)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(read(self.path('unchecked.wav')), read(src))
        self.assertEqual(qla('test', '-q', '-j', 3, unchecked).returncode, 0)
        # Damage in a late run of seek groups, which a worker decodes: the same
        # finding, in the same words, as on one thread.
        data = bytearray(packed[1])
        start = data.index(b'data') + 8
        for at in (0.55, 0.8):
            data[start + int((len(data) - start) * at)] ^= 0x5A
        damaged = write(self.path('damaged.qla'), bytes(data))
        results = [qla('test', '-j', j, damaged) for j in (1, 3)]
        self.assertEqual(results[0].returncode, 1)
        self.assertIn(b'damaged: ', results[0].stderr)
        self.assertEqual((results[0].returncode, results[0].stderr), (results[1].returncode, results[1].stderr))

    def test_batches_report_in_input_order_with_a_count(self):
        names = []
        for i, frames in enumerate((90000, 3000, 40000, 1000)):
            names.append(write(self.path(f'b{i}.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)),
                                                               chunk(b'data', signal_pcm(frames, 2, 16, seed=i))])))
        names.append(write(self.path('bad.wav'), b'RIFF'))
        r = qla('encode', '-j', 4, *names)
        self.assertEqual(r.returncode, 1)
        lines = r.stderr.decode().splitlines()
        order = [n for line in lines for n in names if line.startswith((n, 'qla: ' + n))]
        self.assertEqual(order, names)
        self.assertEqual(lines[-1], 'qla: 4 encoded, 1 failed')

    def test_progress_bar_fits_an_80_column_terminal(self):
        import pty
        import fcntl
        import termios
        src = write(self.path('p.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)),
                                               chunk(b'data', signal_pcm(44100, 2, 16) * 30)]))
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack('HHHH', 24, 80, 0, 0))
        p = subprocess.Popen([QLA, 'encode', '--verify', '-j', '1', src], stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        out = b''
        while True:
            try:
                data = os.read(master, 4096)
            except OSError:
                break
            if not data:
                break
            out += data
        p.wait(timeout=60)
        os.close(master)
        self.assertEqual(p.returncode, 0)
        self.assertIn(b'realtime', out)
        drawn = [line for piece in out.replace(b'\r\n', b'\n').split(b'\r') for line in piece.split(b'\n')
                 if b' files ' in line or (line and not line.strip())]
        self.assertTrue(drawn)
        for line in drawn:
            self.assertLess(len(line), 80, line)

    def test_usage_errors_help_and_version(self):
        cases = [((), b''), (('encode',), b'qla: '), (('encode', '--bits', '20', 'x.wav'), b'qla: '),
                 (('encode', '-o', 'x.qla', 'a.wav', 'b.wav'), b'use -d'), (('encode', '-8', 'x.wav'), b'one compression setting'),
                 (('ecnode', 'x.wav'), b'did you mean "encode"'), (('encode', '-o', '-', 'x.wav'), b'standard output'),
                 (('encode', '-'), b'needs -o')]
        for args, words in cases:
            with self.subTest(args):
                r = qla(*args)
                self.assertEqual(r.returncode, 2)
                self.assertIn(words, r.stderr)
        src = write(self.path('h.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 44100, 16)), chunk(b'data', bytes(100))]))
        self.assertIn(b'qla encode ' + src.encode(), qla(src).stderr)
        r = qla('--help')
        self.assertEqual(r.returncode, 0)
        self.assertIn(b'Exit codes', r.stdout)
        self.assertNotIn(b'standard output', qla('encode', '--help').stdout.split(b'Inputs:')[0])
        self.assertEqual(qla('encode', '-q', '-V', src).returncode, 0)
        self.assertIn(b'qla', qla('--version').stdout)

    def test_standard_input_and_output_streams(self):
        pcm = signal_pcm(200000, 2, 16)
        wav = riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', pcm)])
        streamed = wav[:4] + b'\0\0\0\0' + wav[8:40] + b'\xff\xff\xff\xff' + wav[44:]
        q = self.path('s.qla')
        r = qla('encode', '-q', '-o', q, '-', input=streamed)
        self.assertEqual(r.returncode, 0, r.stderr)
        r = qla('decode', '-q', '-o', '-', q)
        self.assertEqual(r.stdout, streamed)
        # The first bytes leave before the decode ends, and a reader that quits
        # early stops the run cleanly.
        os.makedirs(self.path('tmp'))
        p = subprocess.Popen([QLA, 'decode', '-q', '-j', '1', '-o', '-', q], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, env=dict(os.environ, TMPDIR=self.path('tmp')))
        head = p.stdout.read(100)
        self.assertIsNone(p.poll())
        self.assertEqual(os.listdir(self.path('tmp')), [])
        p.stdout.close()
        p.wait(timeout=60)
        self.assertEqual(head, streamed[:100])
        self.assertIn(p.returncode, (0, 141))
        self.assertEqual(sorted(os.listdir(self.dir)), ['s.qla', 'tmp'])

    def test_info_reports_format_blocks_and_metadata(self):
        src = write(self.path('i.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', signal_pcm(30000, 2, 16))] +
                                              metadata_chunks()))
        qla('encode', '-q', src)
        r = qla('info', '--json', self.path('i.qla'))
        self.assertEqual(r.returncode, 0, r.stderr)
        facts = json.loads(r.stdout)[0]
        self.assertEqual((facts['channels'], facts['sample_rate'], facts['bits'], facts['frames']), (2, 44100, 16, 30000))
        self.assertEqual(facts['blocks'], 59)
        self.assertEqual(facts['seek_entries'], 4)
        self.assertEqual([m['name'] for m in facts['markers']], ['Intro', 'Chorus'])
        self.assertEqual([m['region'] for m in facts['markers']], [False, True])
        self.assertEqual(facts['info']['INAM'], 'Test tone')
        self.assertTrue(facts['acid'])
        self.assertEqual(facts['loops'], 1)

    def test_info_markers_are_frame_exact_in_time_order_and_utf8_shown(self):
        cue = struct.pack('<I', 2) + struct.pack('<II4sIII', 1, 30001, b'data', 0, 0, 30001)
        cue += struct.pack('<II4sIII', 2, 7, b'data', 0, 0, 7)
        info = chunk(b'LIST', b'INFO' + chunk(b'INAM', 'Grüße 音'.encode() + b'\0'))
        src = write(self.path('u.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 44100, 16)), chunk(b'data', signal_pcm(40000, 1, 16)),
                                               chunk(b'cue ', cue), info]))
        qla('encode', '-q', src)
        facts = json.loads(qla('info', '--json', self.path('u.qla')).stdout)[0]
        self.assertEqual([(m['id'], m['start_frame']) for m in facts['markers']], [(2, 7), (1, 30001)])
        self.assertEqual(facts['info']['INAM'], 'Grüße 音')
        data = read(self.path('u.qla'))
        for size in (100, len(data) // 2):
            cut = write(self.path(f'cut{size}.qla'), data[:size])
            r = qla('info', cut)
            self.assertEqual(r.returncode, 1)
            self.assertIn(b'truncated', r.stderr)
        self.assertRegex(r.stderr, rb' [1-9][0-9]* of 40000 frames are readable')

    def test_stop_signals_leave_no_partial_output(self):
        pcm = signal_pcm(44100 * 3, 2, 16)
        src = write(self.path('long.wav'), riff([chunk(b'fmt ', fmt_pcm(2, 44100, 16)), chunk(b'data', pcm * 20)]))
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(sig.name):
                p = subprocess.Popen([QLA, 'encode', '-q', '-f', '--verify', src], stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
                # The signal goes once the output is under way (the handlers are set by then).
                deadline = time.monotonic() + 10
                while p.poll() is None and time.monotonic() < deadline and \
                        not any(n.endswith('.part') for n in os.listdir(self.dir)):
                    time.sleep(0.005)
                p.send_signal(sig)
                _, err = p.communicate(timeout=60)
                if p.returncode == 0:
                    self.assertEqual(qla('test', self.path('long.qla')).returncode, 0)
                else:
                    self.assertEqual(p.returncode, 128 + sig, err)
                    self.assertIn(sig.name.encode(), err)
                    self.assertFalse(os.path.exists(self.path('long.qla')))
                self.assertNoLeftovers()

    def test_force_replaces_only_other_regular_files(self):
        src = write(self.path('a.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 44100, 16)), chunk(b'data', signal_pcm(5000, 1, 16))]))
        os.chmod(src, 0o640)
        os.utime(src, (1000000000, 1000000000))
        original = read(src)
        r = qla('encode', '-f', '-o', src, src)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'would replace the input', r.stderr)
        self.assertEqual(read(src), original)
        os.mkfifo(self.path('fifo.qla'))
        os.symlink(write(self.path('other'), b'x'), self.path('link.qla'))
        for target in ('fifo.qla', 'link.qla'):
            r = qla('encode', '-f', '-o', self.path(target), src)
            self.assertEqual(r.returncode, 1, target)
            self.assertIn(b'not a regular file', r.stderr)
        self.assertEqual(read(src), original)
        os.makedirs(self.path('x'))
        other = write(self.path('x/a.wav'), original)
        os.makedirs(self.path('out'))
        r = qla('encode', '-d', self.path('out'), src, other)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b'already the output of', r.stderr)
        out = os.stat(self.path('out/a.qla'))
        self.assertEqual((out.st_mode & 0o777, int(out.st_mtime)), (0o640, 1000000000))
        self.assertNoLeftovers()

    def test_wrong_kinds_of_input_get_their_own_sentence(self):
        wav = write(self.path('w.wav'), riff([chunk(b'fmt ', fmt_pcm(1, 44100, 16)), chunk(b'data', bytes(1000))]))
        qla('encode', '-q', wav)
        os.makedirs(self.path('folder.wav'))
        cases = [(('decode', wav), b'a WAVE file, not a .qla file'),
                 (('test', wav), b'a WAVE file, not a .qla file'),
                 (('encode', self.path('w.qla')), b'is a .qla file already'),
                 (('encode', self.path('folder.wav')), b'a folder'),
                 (('decode', self.path('folder.wav')), b'a folder')]
        for args, sentence in cases:
            with self.subTest(args[0]):
                r = qla(*args)
                self.assertEqual(r.returncode, 1)
                self.assertIn(sentence, r.stderr)

def main():
    global QLA, WORK
    ap = argparse.ArgumentParser()
    ap.add_argument('--qla', required=True)
    ap.add_argument('--work', required=True)
    args, rest = ap.parse_known_args()
    QLA, WORK = args.qla, args.work
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
