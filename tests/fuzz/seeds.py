#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into tests/fuzz/corpus/<target>/.

The seeds are the frames, texts and files of the tool's own documentation and tests, laid out
in the input format that each target's source file describes. Run it again after changing a
format; the files it writes are kept in the repository, beside the inputs of past findings
(regress-*), which it leaves alone.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SLAVE = 7


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(frame):
    c = crc16(frame)
    return bytes(frame) + bytes([c & 0xFF, c >> 8])


def words(ws):
    out = b""
    for w in ws:
        out += struct.pack(">H", w & 0xFFFF)
    return out


def read_answer(ws, byte_count=None):
    data = words(ws)
    return bytes([SLAVE, 3, len(data) if byte_count is None else byte_count]) + data


def param_answer(function, start, data, n=None):
    return bytes([SLAVE, function, start >> 8, start & 0xFF, len(data) if n is None else n]) + data


def status_registers():
    r = [0] * 90
    r[0] = 1                                   # transaction code
    r[1], r[2] = 0x8001, 0x0003                # discrete outputs
    for c in range(32):
        r[10 + c] = [10050, 235, 5000, 1, 0xFF9C, 1234][c % 6]   # sensor values
        r[52 + c] = [1234, 10930, 12000, 1001, 0, 0x8000][c % 6]  # input values
    r[42], r[43] = 0x8000, 0x00FF              # discrete inputs
    r[44] = 47                                 # 23.5 degrees
    r[45], r[46] = 0x0001, 0x86A0              # engine speed 100000 Hz
    r[47], r[48] = 0xFFFF, 0xFFFF              # shaft speed 4294967295 Hz
    r[49] = 0x0201                             # direction invalid, forward
    r[50], r[51] = 0x0109, 0x010A              # versions
    for k in range(84, 90):
        r[k] = 0x0100 + k
    return r


def adc_registers():
    return [(k * 997) & 0xFFFF if k % 3 else 0x10000 - k for k in range(64)]


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# --- fuzz_reception: mode, parameter boxes, ticks --------------------------------------------

CONVERTER, MEASURING, RUSSIAN = 1, 2, 4
RAW = 0x0F          # the tick's bytes as they are; 0 appends their CRC
OVERFLOW = 0x10
READ_ALL, WRITE_ALL, ENTER = 0x20, 0x40, 0x60
TOGGLE_PORT = 0x80


def boxes(texts):
    out = bytes([len(texts)])
    for box, text in texts:
        t = text.encode()
        out += bytes([box, len(t)]) + t
    return out


def tick(data=b"", control=0, extra=b""):
    if control & OVERFLOW:
        assert 256 <= len(data) < 512
        return bytes([control, len(data) - 256]) + data + extra
    assert len(data) < 256
    return bytes([control, len(data)]) + data + extra


SENSOR_TYPES = [(8 + j, t) for j, t in enumerate(
    ["2 ", "2 ", "3 ", "3 ", "4 ", "5 ", "1 ", "0 ", "-", "2,0", "2.5", "abc", "6", "", "&H2", "5%"])]
SENSOR_TYPES += [(32 + j, t) for j, t in enumerate(
    ["1", "2", "3", "4", "5", " 2 ", "2,0", "-1", "1E0", "0.5", "9", "1e400", "-", "", "3", "4"])]


def reception():
    status = read_answer(status_registers())
    adc = read_answer(adc_registers())
    t = "fuzz_reception"
    none = tick(b"", RAW)
    write(t, "status-measuring-view",
          bytes([MEASURING | RUSSIAN]) + boxes(SENSOR_TYPES) + none + tick(status) +
          tick(bytes([SLAVE, 6, 0x0B, 0xB8, 0, 1])))
    write(t, "status-converter-view", bytes([CONVERTER]) + boxes([]) + tick(status))
    write(t, "adc-both-views", bytes([CONVERTER]) + boxes([]) + tick(adc) +
          bytes([]) + tick(adc[:40]) + tick(read_answer(adc_registers(), 120)))
    write(t, "adc-measuring-view", bytes([MEASURING]) + boxes(SENSOR_TYPES[:4]) + tick(adc))
    write(t, "status-short-and-long", bytes([MEASURING]) + boxes(SENSOR_TYPES) +
          tick(status[:101]) + tick(read_answer(status_registers()[:20], 180)) +
          tick(read_answer(status_registers() + [0x1234] * 30)))
    write(t, "outputs-read-back", bytes([MEASURING]) + boxes([]) +
          tick(read_answer([0x8001, 0x0003])) + tick(read_answer([0x8001], 4)))
    write(t, "writes-answered", bytes([MEASURING]) + boxes([]) +
          tick(bytes([SLAVE, 6, 0x0B, 0xB8, 0, 2])) +
          tick(bytes([SLAVE, 16, 0x0B, 0xB9, 0, 2])) + tick(bytes([SLAVE, 23, 0, 0])))
    write(t, "exceptions", bytes([MEASURING]) + boxes([]) +
          tick(bytes([SLAVE, 0x83, 2])) + tick(bytes([SLAVE, 0xE5, 3])) +
          tick(bytes([SLAVE, 0x90, 1])) + tick(bytes([SLAVE, 0x83])))
    # The parameter frames of the transfer's examples, as they are (slave 1, CRC included).
    write(t, "param-answers-as-sent", bytes([MEASURING | RUSSIAN]) + boxes([]) +
          tick(bytes.fromhex("01 64 00 60 01 05 B1 8F"), RAW) +
          tick(bytes.fromhex("01 64 00 00 02 FF FB A2 57"), RAW))
    block0 = words([(k * 37) & 0xFFFF for k in range(20)])
    block1 = words([1, 2, 3, 4, 5, 0, 0xFFFF, 0x8000] + [2] * 12)
    block2 = words([0x7FFF] * 8) + bytes([7])
    write(t, "read-all-answered", bytes([MEASURING]) + boxes(SENSOR_TYPES) +
          tick(b"", RAW | READ_ALL) +
          tick(param_answer(100, 0x00, block0)) + tick(param_answer(100, 0x28, block1)) +
          tick(param_answer(100, 0x50, block2)) + tick(read_answer(status_registers())))
    write(t, "param-answers-odd", bytes([MEASURING]) + boxes([]) +
          tick(param_answer(100, 0x50, block2 + bytes(23), 40)) +
          tick(param_answer(101, 0x01, block0[:4])) + tick(param_answer(100, 0x62, b"\x01")) +
          tick(param_answer(101, 0x00, b"", 0)) + tick(param_answer(100, 0x00, block0[:3], 4)) +
          tick(param_answer(100, 0x00, block0, 200)) + tick(bytes([SLAVE, 100, 0])))
    write(t, "write-all-and-enter", bytes([MEASURING]) +
          boxes([(0, "12,3"), (8, "40000"), (48, "300"), (47, "-"), (1, "-0.5")]) +
          tick(b"", RAW | WRITE_ALL) + tick(param_answer(101, 0x00, block0)) +
          tick(b"", RAW | ENTER, bytes([0])) + tick(b"", RAW | ENTER, bytes([48])) +
          tick(param_answer(101, 0x60, b"\x05")))
    # Faults of the line.
    bad_crc = with_crc(status)[:-1] + bytes([with_crc(status)[-1] ^ 0x5A])
    write(t, "faults", bytes([MEASURING]) + boxes(SENSOR_TYPES) +
          none + tick(bytes([SLAVE, 3]), RAW) + tick(bad_crc, RAW) +
          tick(with_crc(status)[:90], RAW) + tick(with_crc(status)[90:] + with_crc(adc), RAW) +
          tick(with_crc(bytes([SLAVE, 6, 0x0B, 0xB8, 0, 1])) + b"\x00\xFF", RAW) +
          tick(with_crc(read_answer([0x1234])), RAW))
    write(t, "overflowing-tick", bytes([MEASURING]) + boxes([]) +
          tick(with_crc(status) + bytes(range(120)), RAW | OVERFLOW) +
          tick(status + adc[:100], OVERFLOW))
    # Commands pile up behind a silent controller until the ring refuses them.
    write(t, "flooded-ring", bytes([MEASURING]) + boxes([(0, "12,3")]) +
          tick(b"", RAW | READ_ALL) * 172 + tick(b"", RAW | ENTER, bytes([0])) +
          tick(param_answer(100, 0x00, block0)) + tick(b"", RAW | WRITE_ALL))
    write(t, "port-closed-and-back", bytes([MEASURING]) + boxes([]) +
          tick(status, TOGGLE_PORT) + tick(b"", RAW) + tick(adc, TOGGLE_PORT) + tick(status))


# --- fuzz_param_answer: count, stale byte, locale, cells ---------------------------------------

def param_cells(frame, count=None, stale=0x5A, russian=False):
    count = len(frame) if count is None else count
    return struct.pack("<H", count) + bytes([stale, 1 if russian else 0]) + frame


def param_answers():
    t = "fuzz_param_answer"
    write(t, "box48-five", param_cells(bytes.fromhex("01 64 00 60 01 05 B1 8F")))
    write(t, "box0-minus-half", param_cells(bytes.fromhex("01 64 00 00 02 FF FB A2 57"),
                                            russian=True))
    block = words([(k * 1237) & 0xFFFF for k in range(20)])
    write(t, "block-0", param_cells(with_crc(param_answer(100, 0x00, block))))
    write(t, "block-40", param_cells(with_crc(param_answer(101, 0x28, block))))
    tail = words([0x7FFF, 0x8000, 1, 2, 3, 4, 5, 6]) + b"\x07"
    write(t, "block-80-17", param_cells(with_crc(param_answer(100, 0x50, tail))))
    write(t, "block-80-n40", param_cells(with_crc(param_answer(100, 0x50, tail + bytes(23), 40))))
    write(t, "start-not-a-parameter", param_cells(with_crc(param_answer(100, 0x01, block[:4]))))
    write(t, "start-past-the-table", param_cells(with_crc(param_answer(100, 0x62, b"\x01"))))
    write(t, "n-zero", param_cells(with_crc(param_answer(101, 0x00, b"", 0))))
    write(t, "n-ends-inside", param_cells(with_crc(param_answer(100, 0x00, block[:3]))))
    write(t, "n-beyond-received", param_cells(with_crc(param_answer(100, 0x00, block[:6], 40))))
    write(t, "count-shorter-than-header", param_cells(bytes([SLAVE, 100, 0, 0]), stale=0xFF))
    write(t, "count-beyond-buffer", param_cells(with_crc(param_answer(100, 0x00, block)), 290))


# --- fuzz_numbers: selector, then arguments ---------------------------------------------------

def numbers():
    t = "fuzz_numbers"
    texts = ["12,5", "12.5", "50%", "1,5 %", "", "abc", " 7 ", "1 2", "1,2,3", "-3,5", "&H1F",
             "&h1f", "&O17", "2E3", "1D3", "12,34", "12,35", "300", "-5", "20", "4", "12", "10",
             "5", "11", "1E12", "3000000000", "-0.5", "40000", "1e400", "-1e400", "1e-400",
             ".5", "5.", "1E", "+4", "\t-\n2", "-"]
    for i, text in enumerate(texts):
        write(t, f"text-{i:02d}", bytes([0 | (4 if i % 2 else 0)]) + text.encode())
    write(t, "text-utf16", bytes([8]) + "1\u00a0234,5%".encode("utf-16-le"))
    for i, x in enumerate([2.5, -2.5, 0.5, -0.5, 0.49, 0.0, 1.4999, 123.99999999999999,
                           2147483647.5, 2147483646.5, -2147483648.5, float("nan"), float("inf"),
                           -1e300, 5e-324]):
        write(t, f"round-{i:02d}", bytes([1]) + struct.pack("<d", x))
    # form (bit 0 double value, bit 1 no unit), decimals, scale choice, value [, scale]
    readings = [(0, 1, 1, 235), (0, 1, 1, 230), (2, 2, 1, 1234), (0, 2, 2, 10050),
                (0, 10, 5, 47), (0, 10, 5, -1), (2, 2, 1, -5), (2, 2, 0, 123), (0, 3, 4, 1001),
                (0, 3, 6, 65535)]
    for i, (form, dec, sc, v) in enumerate(readings):
        write(t, f"reading-{i:02d}", bytes([2 | (4 if i % 2 else 0), form, dec, sc]) +
              struct.pack("<i", v))
    write(t, "reading-dword", bytes([6, 1, 1, 0]) + struct.pack("<d", 4294967295.0))
    write(t, "reading-any-scale", bytes([2, 1, 15, 200]) + struct.pack("<d", 1e300) +
          struct.pack("<d", 1e-300))
    for i, (v, d) in enumerate([(0x0201, 4), (0, 4), (0xFFFF, 4), (0x12345, 4), (-1, 4),
                                (-(2**63), 0), (2**31, 8)]):
        write(t, f"hex-{i:02d}", bytes([3]) + struct.pack("<q", v) + bytes([d]))


# --- fuzz_port_mode: encoding, text -----------------------------------------------------------

def port_modes():
    t = "fuzz_port_mode"
    modes = ["9600,n,8,2", "115200,n,8,2", "19200,e,8,1", "9600,N,8,1", " 9600 , n , 8 , 2 ",
             "110,o,7,1", "300,m,5,1.5", "921600,s,6,2", "28800,e,7,2", "", "9600,n,8",
             "9600,n,8,2,1", "9601,n,8,2", "9600,x,8,2", "9600,n,9,2", "9600,n,8,1.5",
             "9600,n,5,2", "abc", ",,,", "0009600,n,8,2", "99999999999999,n,8,2"]
    for i, m in enumerate(modes):
        write(t, f"mode-{i:02d}", b"\x00" + m.encode())
    write(t, "mode-utf16", b"\x01" + "\u20039600,e,8,1\u2003".encode("utf-16-le"))


# --- fuzz_config: key, value, file ------------------------------------------------------------

def config():
    t = "fuzz_config"
    first_start = b"[PC config]\nCOM=1\nCOMSettings=\n\n\n[VEM config]\nMBSLAD=-1\n"
    hand_edited = ("; stand 4, USB adapter\r\n\r\n[Notes]\r\nWho=Петров\r\n\r\n[pc CONFIG]\r\n"
                   "; the adapter\r\ncom = 3\r\nBaud=old\r\n\r\n[VEM config]\r\nmbslad=12\r\n"
                   "; last words").encode()
    files = {
        "first-start": first_start,
        "hand-edited": hand_edited,
        "no-settings": b"[PC config]\nCOM=3\n",
        "no-com": b"[PC config]\nCOMSettings=19200,e,8,1\n",
        "com-abc": b"[PC config]\nCOM=abc\n",
        "com-300": b"[PC config]\nCOM=300\nCOMSettings=9600,n,8,2\n",
        "com-half": b"[PC config]\nCOM=2.5\n",
        "com-empty": b"[PC config]\nCOM=\n",
        "duplicates": b"[PC config]\nCOM=3\ncom=4\n[pc config]\nCOM=5\nCOMSettings=a\n",
        "long-value": b"[PC config]\nCOMSettings=" + b"x" * 300 + b"\n",
        "not-text": b"[PC config]\nCOM=3\n\x00garbage",
        "empty": b"",
        "notepad-mark": b"\xEF\xBB\xBF[PC config]\r\nCOM=4\r\n",
        "mark-and-open-section": b"\xEF\xBB\xBF[PC config\nCOM=3\n",
        "odd-lines": b"COM=9\n[PC config\n[PC config]  tail\n=x\nCOM\n  COM  =  7  \r[VEM config]\rMBSLAD=1",
    }
    values = [(0, b"12"), (1, b"9600,n,8,2"), (2, b"7"), (1, b"9600,n,\r\n8,2\rX\nY"),
              (4 | 1, b"  19200,e,8,1\t"), (8 | 0, b"3"), (2, b"-1"), (1, "é".encode() * 127)]
    for i, (name, body) in enumerate(files.items()):
        choice, value = values[i % len(values)]
        write(t, name, bytes([choice, len(value)]) + value + body)


def param_files():
    t = "fuzz_param_file"
    lines = []
    for i in range(48):
        lines.append("%02X: %02X %02X    # %d" % (2 * i, i, 255 - i, i))
    lines.append("60: 07       # address")
    whole = "\n".join(lines) + "\n"
    write(t, "whole", whole.encode())
    write(t, "crlf-and-mark", b"\xEF\xBB\xBF# saved\r\n" + whole.replace("\n", "\r\n").encode())
    write(t, "one-line", ("00:" + " 01" * 96 + "\n60: 2A\n").encode())
    write(t, "reversed", "\n".join(reversed(lines)).encode())
    write(t, "repeated", (whole + lines[3] + "\n").encode())
    write(t, "address-zero", whole.replace("60: 07", "60: 00").encode())
    write(t, "cut", whole[: len(whole) // 2].encode())
    write(t, "junk", b"\x00\x01: zz\n#\n60:07 00\n")


def checkout_plans():
    t = "fuzz_checkout_plan"
    with open(os.path.join(HERE, "..", "..", "src", "checkout", "standard-bench.plan"), "rb") as f:
        write(t, "standard-bench", f.read())
    write(t, "mixed", "[discrete]\npairs = 5 > 7; 1-2 > 4-3\n[reading]\nvalue = ain1.0 датчик\n"
                      "min = -0,5\nmax = 1,5\ntype = 2\n[versions]\nprotocol = 1.05\n".encode())
    write(t, "out-of-range", b"[analog]\noutput = I1\nvalue = AIN2.10 \xd0\xb2\xd1\x85\xd0\xbe\xd0\xb4\n"
                             b"points = 3 > 4\ntolerance = 1\n")


if __name__ == "__main__":
    checkout_plans()
    param_files()
    reception()
    param_answers()
    numbers()
    port_modes()
    config()
