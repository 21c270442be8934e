#!/usr/bin/env python3
"""Writes the seed corpus of plist_scan_fuzz: lists at and past the nesting limit in both
forms, binary lists whose references loop or share containers, XML with every kind of
markup the scan follows, and forms it refuses. Small enough for libFuzzer's default input
size. Run from the repository root: fuzz/make_scan_seeds.py (rewrites fuzz/corpus/scan).
"""
import os
import plistlib
import shutil
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "scan")
LIMIT = 32  # plist::kMaxContainerDepth


def binary_list(objects, top=0):
    """A binary list laid out by hand: one-byte references, two-byte offsets."""
    out = bytearray(b"bplist00")
    offsets = []
    for obj in objects:
        offsets.append(len(out))
        out += obj
    table = len(out)
    for offset in offsets:
        out += struct.pack(">H", offset)
    out += bytes(6) + bytes([2, 1]) + struct.pack(">QQQ", len(objects), top, table)
    return bytes(out)


def array_of(*refs):
    return bytes([0xA0 | len(refs), *refs])


def nested_binary(levels):
    return binary_list([array_of(i + 1) for i in range(levels - 1)] + [array_of()])


def nested_xml(levels, empty):
    inner = "<array/>" if empty else "<array></array>"
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">' +
            "<array>" * (levels - 1) + inner + "</array>" * (levels - 1) + "</plist>\n").encode()


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    seeds = {
        "nested-binary-32.bplist": nested_binary(LIMIT),
        "nested-binary-33.bplist": nested_binary(LIMIT + 1),
        "nested-xml-32.plist": nested_xml(LIMIT, False),
        "nested-xml-33.plist": nested_xml(LIMIT + 1, False),
        "nested-xml-empty-33.plist": nested_xml(LIMIT + 1, True),
        "holds-itself.bplist": binary_list([array_of(0)]),
        "hold-each-other.bplist": binary_list([array_of(1), array_of(0)]),
        "dictionary-value-itself.bplist": binary_list([b"\xD1\x01\x00", b"\x51a"]),
        "shared-container.bplist": binary_list([array_of(1, 1, 1), array_of(2), b"\x09"]),
        "doubling.bplist": binary_list([array_of(i + 1, i + 1) for i in range(30)] + [array_of()]),
        "every-kind.bplist": plistlib.dumps(
            {"s": "l\u00f6w \u2713", "i": -5000000000, "r": 0.25, "t": True, "f": False,
             "d": b"\x00\x01", "a": [{}, []], "long key of more than fifteen bytes": "x"},
            fmt=plistlib.FMT_BINARY),
        "markup.plist": (
            '\ufeff<?xml version="1.0" encoding="UTF-8"?>\n<!-- made by hand -->\n'
            '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
            '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n<?editor keep?>\n'
            '<plist version="1.0"><dict><key>a&amp;b</key><string><![CDATA[<x>]]>&lt;&#233;'
            '&#x1F600;</string><key>e</key><dict/><key>l</key><array><true/><false/>'
            '<integer>1</integer><real>0.5</real><date>2024-01-01T00:00:00Z</date>'
            '<data>AAEC</data></array></dict></plist>\n').encode(),
        "instruction-unknown-entity.plist":
            b'<?xml version="1.0"?>\n<?C x&e.com?>\n<plist><dict/></plist>\n',
        "doctype-subset.plist":
            b'<!DOCTYPE plist [<!ENTITY a "aaaa">]><plist><string>&a;</string></plist>',
        "braces.plist": b"{" * 2000,
        "openstep.plist": b"{ thermalPowerMode = lowPower; list = (a, <0fbd>, { b = c; }); }\n",
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {OUT}")


if __name__ == "__main__":
    main()
