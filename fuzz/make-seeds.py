#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/seed-*.

Found inputs (crashes fixed since, interesting coverage) are kept beside them under other
names; this script only rewrites its own seed files.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOH, STX, ETX, EOT = "\x01", "\x02", "\x03", "\x04"


def request(code, payload="", trailer=""):
    return SOH + code + STX + payload + ETX + trailer + EOT


def scramble(text):
    return "".join(chr((ord(c) + 71) & 0xFFFF) for c in text)


def upload(code, payload, mode):
    msg = SOH + code + STX + payload
    etx = len(msg)
    msg += ETX + "CHK="
    total = 0
    for c in msg[: etx + 5]:
        total += ord(c) & 0xFF
        if mode == 1:
            total += (ord(c) >> 8) & 0xFF
    return msg + "%08X" % (total & 0xFFFFFFFF) + EOT


def wire(text, mode):
    if mode == 0:
        return bytes(ord(c) & 0xFF for c in text)
    return b"".join(bytes([ord(c) & 0xFF, ord(c) >> 8]) for c in text)


RESULTS = "1,1,1,\"100 Metres\"\r\n1,101,\"Lee\",10.5\r\n"
START_LIST = "7,1,1,\"Long Jump\",LJ,1100\n,201,1,\"Cy\",\"Fox\",\"Club\"\n,202,2,\"Di\",\"Ng\",\"Club\"\n"


def connection_messages(mode):
    s = scramble if mode == 0 else (lambda t: t)
    return {
        "pings": "".join(request(c) for c in ["HFL", "HCL", "HAL", "HHW"]),
        "srq": request("SRQ", s("0,0,0,+")),
        "srq-key": request("SRQ", s("7,1,1")),
        "rfq": request("RFQ", "1,1,1,+"),
        "edq": request("EDQ", "10000001012024"),
        "hrq": request("HRQ"),
        "ecq": request("ECQ"),
        "erq": request("ERQ"),
        "ehq": request("EHQ"),
        "prq": request("PRQ", "7"),
        "prq-all": request("PRQ", "-1"),
        "drq": request("DRQ", "E1,1,1,1,10000001012024"),
        "dhq": request("DHQ", "0,"),
        "rrq": request("RRQ", "1,1,1"),
        "rhq": request("RHQ", "1,1,1"),
        "irq": request("IRQ", "1,1,1"),
        "rok": request("ROK") + request("NOK"),
        "rff": upload("RFF", s(RESULTS), mode),
        "rft": upload("RFT", s("10000001012024," + RESULTS), mode),
        "sls": request("SLS", START_LIST),
        "sls-new": request("SLS", "3,1,1,\"200 Metres\",T,1500\n,301,1,\"Ed\",\"Oh\",\"Club\"\n"),
    }


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def main():
    for mode in (0, 1):
        for name, text in connection_messages(mode).items():
            # flags: char mode, checksum repair on; read size 64 bytes
            write("connection", "m%d-%s" % (mode, name), bytes([mode | 8, 63]) + wire(text, mode))
        write("connection", "m%d-secure-listed" % mode,
              bytes([mode | 2 | 4 | 8 | 16, 7]) + wire(request("HFL") + request("DRQ", "0,"), mode))
        write("connection", "m%d-secure-unlisted" % mode,
              bytes([mode | 2 | 4 | 32, 255]) + wire(request("HCL"), mode))
    with open(os.path.join(HERE, "..", "examples", "meet", "orvo.evt"), "rb") as f:
        evt = f.read()
    with open(os.path.join(HERE, "..", "examples", "meet", "orvo.ppl"), "rb") as f:
        ppl = f.read()
    write("meetdata", "event-file", bytes([0]) + evt + b"\f" + START_LIST.encode())
    write("meetdata", "event-file-new-event", bytes([0]) + evt + b"\f3,1,1,\"200 Metres\",T\n,1,1\n")
    write("meetdata", "event-file-utf16", bytes([1]) + b"\xff\xfe" + (evt.decode("latin-1") + "\f" + START_LIST).encode("utf-16-le"))
    write("meetdata", "people", bytes([14]) + ppl)
    write("meetdata", "stamps", bytes([0]) + b"10000001012024\n235959311299990\n000000000019690\n")
    write("results_changed", "empty", b"\x000,")
    write("results_changed", "entries", b"\x002,1,1,1,10000001012024,7,2,1,10000001012030")
    write("results_changed", "event", b"\x00E1,1,1,1,10000001012024")
    write("results_changed", "round", b"\x02R1,7,2,1,10000001012024")
    write("results_changed", "included", b"\x00I1,1,1,1,10000001012024")
    write("results_changed", "utf16", b"\x01" + "3,1,1,1,10000001012024".encode("utf-16-le"))
    item = (b"\x01\x80\x00\x80" + b"".join(b"\xff\xfe\xff\x02" + t.encode("utf-16-le") for t in ["0A", "1B", "2C", "3D", "4E", "5F"])
            + b"\xff\xfe\xff\x06" + "Tablet".encode("utf-16-le") + (1).to_bytes(4, "little") * 4)
    write("access_list", "one", (1).to_bytes(2, "little") + item)
    write("access_list", "two", (2).to_bytes(2, "little") + item + item)
    write("access_list", "ansi", (1).to_bytes(2, "little") + b"\x01\x80\x00\x80" + b"\x02AA" * 6 + b"\x03Ann" + b"\x00" * 16)
    write("access_list", "empty", b"\x00\x00")
    reg = ("Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\r\n"
           "\"PortNumber\"=dword:0000079e\r\n\"EventDirectory\"=\"C:\\\\Meet\"\r\n"
           "\"CharMode\"=hex(4):01,00,00,00\r\n\"LogEvents\"=hex:01,\\\r\n  00,00,00\r\n"
           "\"ResultsDirectory\"=hex(2):43,00,3a,00,00,00\r\n; comment\r\n[Other]\r\n@=\"x\"\r\n")
    write("reg_file", "settings", reg.encode())
    write("reg_file", "utf16", b"\xff\xfe" + reg.encode("utf-16-le"))


if __name__ == "__main__":
    sys.exit(main())
