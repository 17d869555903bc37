#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/.

Seeds are excerpts of the conformance inputs (the header lines and the spectrum
rows around the channel windows, so that the excerpts still sum counts) and
small hand-made files for the corners of both formats. Run it again after
changing it; the output is deterministic.
"""
import argparse
import os
import re
import struct
import subprocess

here = os.path.dirname(os.path.abspath(__file__))
conf = os.path.join(here, '..', 'tests', 'data', 'conformance')
out = os.path.join(here, 'corpus')
SEP = b'\x1e'  # separates the files of a batch in fuzz_batch


def read(case, name):
    with open(os.path.join(conf, case, 'input', name), 'rb') as f:
        return f.read()


def spectrum_excerpt(data, limit=4096):
    """Header lines, the first two rows and the rows inside or near the windows."""
    lines = data.splitlines(keepends=True)
    header = [l for l in lines if l.lstrip().startswith(b'#')]
    rows = [l for l in lines if not l.lstrip().startswith(b'#') and l.strip()]
    lows, highs = [], []
    for l in header:
        m = re.match(rb'# MCA Ch Info : (.*)', l.strip())
        if m:
            items = m.group(1).split()
            if len(items) > 7:
                lows.append(int(items[6]))
                highs.append(int(items[7]))
    keep = rows[:2]
    if lows:
        lo, hi = min(lows) - 2, max(highs) + 2
        keep += [r for r in rows if lo <= int(r.split()[0]) <= hi]
    text = b''.join(header)
    for r in keep:
        if len(text) + len(r) > limit:
            break
        text += r
    return text


def head(data, limit=4096):
    """Whole lines of the start of a file, at most limit bytes."""
    text = b''
    for l in data.splitlines(keepends=True):
        if len(text) + len(l) > limit:
            break
        text += l
    return text


def utf16(text, bom, order='little'):
    enc = 'utf-16-le' if order == 'little' else 'utf-16-be'
    b = text.encode(enc)
    if bom:
        b = (b'\xff\xfe' if order == 'little' else b'\xfe\xff') + b
    return b


SPEC_EXAMPLE = ('# I0 : 250\n'
                '# MCA Ch Info : x x x x x 52.5 100 200\n'
                '# MCA Ch Info : x x x x x 49 110 210\n'
                '150 0.75 12 0.75 15\n'
                '105 0.52 3 0.52 4\n'
                '230 1.15 9 1.15 8\n'
                '400 2.0 7\n')

TABLE_EXAMPLE = ('# Channels : 2\n'
                 '1000, 950, 980, 900, 910\n'
                 '2000 1800 1900 1600 1700 7\n'
                 '3000 2500 2600 2200\n')

spectrum_hand = {
    'example.dat': SPEC_EXAMPLE.encode(),
    'i0_with_unit.dat': SPEC_EXAMPLE.replace('# I0 : 250', '# I0 : 250 counts').encode(),
    'i0_lower_case_key.dat': SPEC_EXAMPLE.replace('# I0 : 250', '# i0 : 250\n#I0: 250').encode(),
    'late_channel_line.dat': ('# I0 : 1e3\n150 1 2 3 4\n'
                              '# MCA Ch Info : a b c d e 7.5 100 200 extra\n'
                              '150 1 2\n160 1 +3.5e1\n').encode(),
    'inverted_window.dat': ('# I0 : 5\n# MCA Ch Info : a b c d e 1 200 100\n'
                            '150 1 2\n').encode(),
    'comma_rows.dat': ('# I0 : 5\n# MCA Ch Info : a b c d e 1 100 200\n'
                       '150,1,2\n150 , 1 , 2\n').encode(),
    'short_channel_lines.dat': ('# I0 : 7\n# MCA Ch Info : a b c d e 1 100\n'
                                '# MCA Ch Info : a b c d e 1 100 200\n'
                                '# MCA Ch Info: a b c d e 1 100 200\n'
                                '100 0 1 0\n200 0 2\n').encode(),
    'extreme_values.dat': ('# I0 : 1e308\n'
                           '# MCA Ch Info : a b c d e inf -2147483648 2147483647\n'
                           '# MCA Ch Info : a b c d e nan 2147483648 -5\n'
                           '# MCA Ch Info : a b c d e 4.9e-324 0x10 1e3\n'
                           '0 0 1e308 0 1e308 0 -1e308\n'
                           '-2147483648 0 -0 0 .5 0 5.\n'
                           '99999999999 0 1e-400 0 1E+400 0 -inf\n').encode(),
    'crlf.dat': SPEC_EXAMPLE.replace('\n', '\r\n').encode(),
    'cr_only.dat': SPEC_EXAMPLE.replace('\n', '\r').encode(),
    'unicode_spaces.dat': SPEC_EXAMPLE.replace(' ', '\u00a0', 3).replace('150 ', '150\u2003')
                          .replace('105 ', '105\u3000').encode(),
    'utf16_bom.dat': utf16(SPEC_EXAMPLE, True),
    'utf16be_bom.dat': utf16(SPEC_EXAMPLE, True, 'big'),
    'utf16_no_bom.dat': utf16(SPEC_EXAMPLE, False),
    'nul_bytes.dat': SPEC_EXAMPLE.replace('150 0.75', '150\x000.75').replace('# I0', '#\x00I0', 0)
                     .encode(),
    'latin1.dat': SPEC_EXAMPLE.replace('x x x', '\xb5m \xe9 x').encode('latin-1'),
}

table_hand = {
    'example.dat': TABLE_EXAMPLE.encode(),
    'no_header.dat': b'1000 950 900\n1000,950,900\n1000 , 950 900\n,1000,950,900\n\n',
    'header_forms.dat': ('# CHANNELS : 1\n#   channels   : 3\n#Channels: 4\n'
                         '1 2 3 4 5 6 7\n# Channels : 2 # two\n1,2,3,4,5,\n').encode(),
    'header_after_data.dat': b'1 2 3\n4 5 6 7\n# Channels : 2 # later\n1 2 3 4 5\n1 2 3 4\n',
    'header_huge.dat': b'# Channels : 2147483647\n1 2 3 4 5 6 7 8 9\n',
    'header_overflow.dat': b'# Channels : 2147483648\n1 2 3\n',
    'header_negative.dat': b'# Channels : -5\n1 2 3 4 5 6\n# Channels : 1\n1 2 3\n',
    'header_not_a_number.dat': b'# Channels : x\n1 2 3\n# Channels : +2\n',
    'header_short.dat': b'# Channels\n# Channels :\n# Channels : \t 2\t\n1 2 3 4 5\n',
    'extreme_values.dat': (b'# Channels : 2\n1e308 -1e308 inf -inf nan\n'
                           b'4.9e-324 2.2250738585072014e-308 1e-400 1e400 -0\n'
                           b'0x10 1,5 +.5 5. 1e+\n0 0 0 0 0\n-1000 0 0 0 0\n'),
    'crlf.dat': TABLE_EXAMPLE.replace('\n', '\r\n').encode(),
    'cr_only.dat': TABLE_EXAMPLE.replace('\n', '\r').encode(),
    'lone_cr.dat': b'\r',
    'unicode_spaces.dat': '# Channels\u00a0: 2\n1000\u00a0950\u2003980\u3000900\u2009910\n'
                          '2000\u20281800 1900 1600 1700\n'.encode(),
    'utf16_bom.dat': utf16(TABLE_EXAMPLE, True),
    'utf16_no_bom.dat': utf16(TABLE_EXAMPLE, False),
    'nul_bytes.dat': b'# Channels : 1\n1000\x00 950 900\n\x00\x00\x00\n2000 1800 1700 \x00\n',
    'tabs_and_blanks.dat': b'\t# Channels\t:\t2 \n \t1\t2\t3\t4\t5\t\n',
    'cr_between_fields.dat': (b'# Channels : 2\n1\r2\r3\r4\r5\r6\r7\n1 2 3 4 5\n'
                              b'1 2 3 4 5 6 7 x\n'),
    'mca_in_comment.dat': b'# MCA counts\n# Channels : 1\n1 2 3\n4 5 6 7\n',
    'lines_after_no_channels.dat': b'1 2 3\n# Channels : 0\n1 2 3 4 five\n',
}

batch_hand = {
    'table_and_spectra.dat': SEP.join([TABLE_EXAMPLE.encode(), SPEC_EXAMPLE.encode(),
                                       SPEC_EXAMPLE.replace('250', '500').encode()]),
    'three_spectra.dat': SEP.join(SPEC_EXAMPLE.replace('250', str(v)).encode()
                                  for v in (100, 200, 400)),
    'equal_values.dat': b'# Channels : 2\n' + b'1000 5 5 5 5\n' * 4,
    'zero_icr.dat': b'# Channels : 2\n1000 0 0 5 5\n2000 0 0 6 6\n3000 0 0 7 7\n',
    'extreme.dat': b'# Channels : 2\n1e308 1e308 -1e308 1 2\n-1e308 inf nan 3 4\n'
                   b'4.9e-324 1 2 3 4\n0 0 0 0 0\n',
    'mismatched_channels.dat': SEP.join([b'# Channels : 3\n1 2 3 4 5 6 7\n2 3 4 5 6 7 8\n',
                                         b'# Channels : 2\n3 4 5 6 7\n4 5 6 7 8\n']),
    # Finding: channel 0 counts negative rates that the quadratic follows with
    # a positive dead time and a finite error, while its weighted chi^2 divides
    # by fitted values of zero and below: reduced chi^2 inf, yet reported as a
    # successful fit.
    'negative_icr_chi2.dat': b'# Channels : 2\n1000 -900 900 850 850\n2000 -1804 1797 1690 1694\n'
                             b'3000 -2707 2693 2510 2520\n4000 -3613 3587 3320 3340\n'
                             b'5000 -4520 4481 4110 4150\n',
}


def h5_string(text):
    data = text.encode()
    return struct.pack('=I', len(data)) + data


def hdf5reply_seeds():
    """Replies of the HDF5 helper (readers/hdf5reply.h), after the byte that
    tells the fuzz target how many columns were asked for."""
    head = b'RLH5R001'
    columns = struct.pack('=BIQ', 0, 2, 3) + struct.pack('=6d', 1, 2, 3, -4, float('inf'), 0.5)
    fault = (struct.pack('=B', 8) + h5_string('/entry/short') + h5_string('/entry/scaler/I0')
             + struct.pack('=qq', 19, 20) + h5_string(''))
    detail = (struct.pack('=B', 3) + h5_string('') + h5_string('') + struct.pack('=qq', 0, 0)
              + h5_string('truncated file: eof = 4096'))
    job = (b'RLH5J002' + struct.pack('=QQQ', 1 << 27, 40960, 20480) + h5_string('/tmp/scan.h5')
           + struct.pack('=I', 2) + h5_string('/entry/scaler/I0') + struct.pack('=i', -1)
           + h5_string('/entry/xspress3/Clock') + struct.pack('=i', 3))
    write_header = (h5_string('/tmp/scan.h5') + h5_string('/tmp/.scan_dtc.h5.abc123')
                    + h5_string('/dtc') + struct.pack('=I', 2) + h5_string('ntrue1')
                    + struct.pack('=B', 0) + h5_string('dtc1_flag') + struct.pack('=B', 1))
    cannot_write = (struct.pack('=B', 11) + h5_string('/dtc/ntrue1') + h5_string('')
                    + struct.pack('=qq', 0, 0) + h5_string('no space left on device'))
    return {
        'two_columns.bin': b'\x02' + head + columns,
        'no_columns.bin': b'\x00' + head + struct.pack('=BIQ', 0, 0, 0),
        'length_mismatch.bin': b'\x01' + head + fault,
        'cannot_open.bin': b'\x01' + head + detail,
        'job.bin': b'\x02' + job,
        'write_header.bin': b'\x00' + write_header,
        'cannot_write.bin': b'\x00' + head + cannot_write,
    }


def hdf5file_seeds(tool):
    """Small scans written by tests/tools' ratelens_h5scan in the layouts and
    storage the reader handles: points x elements or per element, contiguous,
    chunked, compressed. Without the tool the seeds in the tree are kept."""
    folder = os.path.join(out, 'hdf5file')
    if not tool or not os.access(tool, os.X_OK):
        print('make_seeds.py: no ratelens_h5scan (--h5scan PATH); hdf5file seeds kept')
        return
    os.makedirs(folder, exist_ok=True)
    variants = {
        'scan_2d_u32.h5': ['--layout', '2d', '--type', 'u32'],
        'scan_1d_f32_gzip.h5': ['--layout', '1d', '--type', 'f32', '--chunk', '2', '--deflate', '4'],
        'scan_both_i64_chunked.h5': ['--layout', 'both', '--type', 'i64', '--chunk', '1'],
    }
    for name, options in variants.items():
        subprocess.run([tool, os.path.join(folder, name), '--elements', '2', '--points', '3']
                       + options, check=True, stdout=subprocess.DEVNULL)


def recording_seeds():
    """Excerpts of the recordings make_recordings.py writes, for the column
    file, recipe and MCA targets, and hand-made corners of each."""
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(['python3', os.path.join(here, '..', 'scripts', 'make_recordings.py'),
                        '--out', tmp], check=True)

        def rec(name):
            with open(os.path.join(tmp, name), 'rb') as f:
                return f.read()

        columns = {
            'xdi.txt': b'\x03' + rec('scan_icr_ocr.xdi'),
            'spec.txt': b'\x01' + rec('scan_xspress.spec'),
            'dashed.txt': b'\x05' + rec('scan_dashed.txt'),
            'comma_crlf.txt': b'\x02' + rec('scan_comma.csv'),
            'bad_rows.txt': b'\x02# a b c\n1 2 3\n4 5\nx 1 2\n1e999 nan -inf\n7,8,9',
            'no_names.txt': b'\x00\t1\t2 \r\n3 4\r\n',
        }
        recipes = {
            'xspress.txt': rec('xspress.recipe') + b'\n%%\n' + head(rec('scan_xspress.spec'), 1200),
            'builtin_like.txt': b'elements = 1-2\ni0 = I0/t\nicr = ICR{n:02}/t\nsca = $4\n'
                                b'%%\n# I0 t ICR01 ICR02\n1 2 3 4\n5 0 7 8\n',
            'datasets.txt': b'elements = 1,3\ni0 = I0\nicr = sqrt(O{n}) * _pi\nsca = O{n}\n'
                            b'[datasets]\nI0 = /e/I0\nO{n} = /e/O[{i}]\n',
            'mca.txt': rec('mca.recipe'),
        }
        rec_spec = rec('scan_xspress.spec')
        mca = rec('mca_01.mca').split(b'\n')
        mcas = {
            'mca_excerpt.mca': b'\n'.join(mca[:11] + mca[11 + 410:11 + 470]).replace(
                b'CHANNELS:   1024', b'CHANNELS:   60') + b'\n',
            'mca_truncated.mca': b'\n'.join(mca[:30]),
            'mca_odd.mca': b'VERSION: 3.1\nELEMENTS: 2\nREAL_TIME: 1 1\nLIVE_TIME: 0 1\n'
                           b'ENVIRONMENT: I0="5" (x)\nENVIRONMENT: bad\nDATA:\n1 2\n3\n',
        }
    import gzip as gz
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(['python3', os.path.join(here, '..', 'scripts', 'make_recordings.py'),
                        '--layouts', '--out', tmp], check=True)
        with open(os.path.join(tmp, 'multi_scan.spec'), 'rb') as f:
            multi = f.read()
        with open(os.path.join(tmp, 'headed_scan.txt.gz'), 'rb') as f:
            headed = f.read()

    def packed(data):
        return gz.compress(data, mtime=0)
    table = read('06_crlf_and_late_header', 'crlf_5_early_row.dat')
    gzips = {
        'headed_scan.gz': headed,
        'table.gz': packed(head(table)),
        'table.dat': head(table),
        'spec.gz': packed(multi),
        'cut.gz': packed(head(table))[:40],
        'two_members.gz': packed(b'# Channels : 1\n') + packed(b'1 2 3\n4 5 6\n'),
    }
    specs = {
        'multi_scan.spec': multi,
        'one_scan.spec': rec_spec,
        'same_number.spec': b'#S 1 a\n#L I0  ICR1  OCR1\n1 2 3\n#S 1 b\n#L I0  ICR1  OCR1\n4 5 6\n',
    }
    for folder, seeds in (('columnfile', columns), ('recipe', recipes), ('mca', mcas),
                          ('gzip', gzips), ('spec', specs)):
        os.makedirs(os.path.join(out, folder), exist_ok=True)
        for name, data in seeds.items():
            write(folder, name, data)


def write(folder, name, data):
    with open(os.path.join(out, folder, name), 'wb') as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description='Writes the seed corpora into fuzz/corpus/.')
    parser.add_argument('--h5scan', default=os.path.join(here, '..', 'build', 'tests', 'tools',
                                                         'ratelens_h5scan'),
                        help='the HDF5 scan writer built from tests/tools (for the hdf5file seeds)')
    args = parser.parse_args()
    # Every folder also keeps the inputs fuzzing found, each with its fix:
    # only the seeds made here are written anew, nothing is removed.
    for folder in ('spectrum', 'pointtable', 'batch'):
        os.makedirs(os.path.join(out, folder), exist_ok=True)

    spectra = {
        'ti_4ch.dat': read('01_spectrum_4ch_2048bins', 'Ti_I0scan_1.dat'),
        'ni_19ch.dat': read('02_spectrum_19ch_256bins', 'ni19_run01.dat'),
        'fe_6ch_10items.dat': read('05_mixed_batch_missing_file', 'mix_01_mca.dat'),
        'cr_3ch_crlf.dat': read('06_crlf_and_late_header', 'crlf_1_mca.dat'),
        'v_3ch.dat': read('07_accumulate_clear_saves', 'acc_a1.dat'),
        'co_7item_lines.dat': read('08_single_point_and_channel_mismatch', 'mm_1.dat'),
    }
    for name, data in spectra.items():
        write('spectrum', name, spectrum_excerpt(data))
    for name, data in spectrum_hand.items():
        write('spectrum', name, data)

    tables = {
        'zn_header_forms.dat': read('03_table_header_forms_trace', 'zn_sdd5_points.dat'),
        'as_22ch_csv.dat': read('04_table_22ch', 'as_ge22.csv.dat'),
        'mixed_table.dat': read('05_mixed_batch_missing_file', 'mix_02_table.dat'),
        'crlf_table.dat': read('06_crlf_and_late_header', 'crlf_4_table.dat'),
        'crlf_early_row.dat': read('06_crlf_and_late_header', 'crlf_5_early_row.dat'),
        'acc_table.dat': read('07_accumulate_clear_saves', 'acc_b1_table.dat'),
        'one_point.dat': read('08_single_point_and_channel_mismatch', 'one_point.dat'),
    }
    for name, data in tables.items():
        write('pointtable', name, head(data))
    for name, data in table_hand.items():
        write('pointtable', name, data)

    batches = {
        'conformance_07.dat': SEP.join([
            spectrum_excerpt(read('07_accumulate_clear_saves', n), 1400)
            for n in ('acc_a1.dat', 'acc_a2.dat', 'acc_a3.dat')]
            + [read('07_accumulate_clear_saves', 'acc_b1_table.dat')]),
        'conformance_03.dat': read('03_table_header_forms_trace', 'zn_sdd5_points.dat'),
        'conformance_04.dat': head(read('04_table_22ch', 'as_ge22.csv.dat')),
        'conformance_05.dat': SEP.join([
            spectrum_excerpt(read('05_mixed_batch_missing_file', 'mix_01_mca.dat'), 1300),
            read('05_mixed_batch_missing_file', 'mix_02_table.dat'),
            spectrum_excerpt(read('05_mixed_batch_missing_file', 'mix_04_mca.dat'), 1300)]),
    }
    for name, data in batches.items():
        write('batch', name, data)
    for name, data in batch_hand.items():
        write('batch', name, data)

    os.makedirs(os.path.join(out, 'hdf5reply'), exist_ok=True)
    for name, data in hdf5reply_seeds().items():
        write('hdf5reply', name, data)
    hdf5file_seeds(args.h5scan)
    recording_seeds()


if __name__ == '__main__':
    main()
