#!/usr/bin/env python3
"""Writes the seed corpus of nasty inputs replayed by the test suite and used
to start the fuzzers: valid documents, every kind of damage to them, and
inputs built to hurt parsers (deep nesting, huge numbers, bad UTF-8)."""
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8", "surrogateescape")
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


def damage(folder, stem, text):
    """The document itself plus truncations, type swaps and hostile numbers."""
    write(folder, stem, text)
    for cut in sorted({1, len(text) // 4, len(text) // 2, len(text) - 1}):
        write(folder, f"{stem}-cut{cut}", text[:cut])
    swaps = {
        "neg-id": ("1001", "-1"),
        "big-id": ("1001", "4294967296"),
        "huge": ("0.5", "1e308"),
        "overflow": ("0.5", "1e999"),
        "frac-id": ("1001", "1001.5"),
        "str-num": ("0.5", '"0.5"'),
        "null": ("0.5", "null"),
        "bool": ("true", "1"),
    }
    for label, (old, new) in swaps.items():
        if old in text:
            write(folder, f"{stem}-{label}", text.replace(old, new, 1))


def hostile(folder):
    write(folder, "empty", "")
    write(folder, "nested-arrays", "[" * 100000)
    write(folder, "nested-objects", '{"a":' * 50000)
    write(folder, "bad-utf8", b'{"x": "\xff\xfe"}')
    write(folder, "nul", b"\x00\x00\x00")
    write(folder, "not-json", "strips: none")
    write(folder, "array-top", "[]")
    write(folder, "number-top", "1e400")


strip = {
    "columns": [
        {"windows": [1001], "weights": [1.0], "width": 0.5, "active": 0, "tabbed": False},
        {"windows": [1002, 1003], "weights": [0.4, 0.6], "width": 0.667, "active": 1,
         "tabbed": True, "savedWidth": 0.5},
    ],
    "focused": 1, "previous": 0, "scroll": 120.0,
}
damage("strip", "two-columns", json.dumps(strip))
write("strip", "empty-strip", json.dumps({"columns": [], "focused": 0, "scroll": 0}))
write("strip", "empty-column", json.dumps({"columns": [{"windows": [], "weights": [], "width": 0.5,
                                                        "active": 0, "tabbed": False}],
                                           "focused": 0, "scroll": 0}))
write("strip", "duplicate-window", json.dumps({"columns": [strip["columns"][0], strip["columns"][0]],
                                               "focused": 0, "scroll": 0}))
hostile("strip")

column = {"width": 0.5, "tabbed": True, "weights": [1.0, 2.0],
          "windows": [{"id": 1001, "bundleID": "org.example.editor", "title": "notes.txt"},
                      {"id": 1002, "bundleID": "org.example.editor", "title": ""}]}
saved_strip = {"display": "SIM-DISPLAY-1", "space": 1, "columns": [column], "seen": 818000000.5}
session = {"strips": [saved_strip],
           "setups": [{"displays": ["SIM-DISPLAY-1", "SIM-DISPLAY-2"], "strips": [saved_strip],
                       "seen": 818000000.0}]}
damage("session", "one-strip", json.dumps(session, separators=(",", ":")))
write("session", "setups-garbage", json.dumps({"strips": [saved_strip], "setups": "garbage"}))
write("session", "no-tabbed", json.dumps({"strips": [dict(saved_strip, columns=[
    {k: v for k, v in column.items() if k != "tabbed"}])]}))
write("session", "space-max", json.dumps(dict(session, strips=[dict(saved_strip, space=18446744073709551615)])))
write("session", "space-over", json.dumps(dict(session, strips=[dict(saved_strip, space=18446744073709551616)])))
hostile("session")

config = {"gap": 12, "defaultWidth": 0.5, "presetWidths": [0.333, 0.5, 0.667], "centreMode": "always",
          "appRules": [{"bundleID": "org.example.calc", "float": True},
                       {"bundleID": 7}, {"bundleID": "org.example.term", "width": 0.4, "placement": "end"}],
          "borderColor": {"r": 1}, "bindingsVersion": 1, "minimap": True, "floatingApps": ["a.b"],
          "bindings": {"focusLeft": [{"keyCode": 123, "modifiers": 6912}], "noSuchAction": []},
          "disabledDisplays": ["X"], "stripIndicator": "nothing"}
damage("config", "mixed", json.dumps(config))
write("config", "empty-object", "{}")
write("config", "wrong-types", json.dumps({k: [] for k in config}))
hostile("config")

for name in ["focusLeft", "Move-To-3", "focus10", "FOCUS-LEFT", "-", "", "moveTo", "toggle-tiling",
             "overview", "ovErView-", "focus1\x00", "\xff\xfe"]:
    write("action", "n-" + "".join(c if c.isalnum() else "_" for c in name) + str(len(name)), name)
write("action", "long", "focus" * 10000)

# The command socket's messages both ways, and tessaline: URLs.
for name, data in {"state": "state\n", "action": "move-to-3\n", "half": "sta", "oversized": "a" * 200,
                   "two": "state\nstate\n", "space": "two words\n", "nul": "sta\x00te\n", "empty": "\n",
                   "reply": "5\nhello", "reply-empty": "0\n", "reply-short": "10\nhello",
                   "reply-long": "2\nhello", "reply-huge": "99999999999\n", "reply-sign": "-1\nx",
                   "url-host": "tessaline://focusRight", "url-path": "tessaline:///retile/",
                   "url-escape": "tessaline:///%zz%4", "url-bare": "TESSALINE:", "bad-utf8": "\udcff\udcfe\n"}.items():
    write("channel", name, data)

# What other X clients publish on the root window: XSETTINGS blocks in both
# byte orders, cut short or lying about their lengths, and XKB rules names.
import struct


def xsettings(order, settings, count=None):
    e = "<" if order == 0 else ">"
    out = bytes([order, 0, 0, 0]) + struct.pack(e + "II", 0, len(settings) if count is None else count)
    for kind, name, value in settings:
        name = name.encode()
        out += struct.pack(e + "BBH", kind, 0, len(name)) + name + b"\0" * (-len(name) % 4) + struct.pack(e + "I", 0)
        if kind == 0:
            out += struct.pack(e + "i", value)
        elif kind == 1:
            out += struct.pack(e + "I", len(value)) + value.encode() + b"\0" * (-len(value) % 4)
        elif kind == 2:
            out += struct.pack(e + "HHHH", *value)
        else:
            out += struct.pack(e + "I", value)
    return out


desktop = [(0, "Net/EnableAnimations", 0), (1, "Net/ThemeName", "HighContrast"), (2, "Gtk/Colour", (1, 2, 3, 4))]
for order in (0, 1):
    block = xsettings(order, desktop)
    write("desktop", f"xsettings-{order}", b"X" + block)
    for cut in (5, 13, 20, len(block) - 2):
        write("desktop", f"xsettings-{order}-cut{cut}", b"X" + block[:cut])
write("desktop", "xsettings-count-lies", b"X" + xsettings(0, desktop, count=0xFFFFFFFF))
write("desktop", "xsettings-long-name", b"X" + xsettings(0, [(1, "Net/ThemeName" * 5000, "x")]))
write("desktop", "xsettings-unknown-type", b"X" + xsettings(0, [(7, "Net/EnableAnimations", 0)] + desktop))
write("desktop", "xsettings-huge-string", b"X" + bytes([0, 0, 0, 0]) + struct.pack("<II", 0, 1) +
      struct.pack("<BBH", 1, 0, 13) + b"Net/ThemeName\0\0\0" + struct.pack("<II", 0, 0xFFFFFFF0))
for name, names in {"xkb-us": "evdev\0pc105\0us\0\0\0", "xkb-two": "evdev\0pc105\0de,us\0nodeadkeys,\0\0",
                    "xkb-short": "evdev\0pc105", "xkb-empty": "", "xkb-commas": "\0\0,,,\0,,,,\0"}.items():
    write("desktop", name, "K" + names)

print("corpus written", file=sys.stderr)
