#!/usr/bin/env python3
"""Check the resources and the executable shape of a built velmora.exe.

Usage: check_resources.py [--only resources|pe] path/to/velmora.exe

  resources  the menu, accelerators, strings, dialog templates, icon group,
             version information and manifest compiled into the file, against
             the values the program relies on;
  pe         a 32-bit (i386) GUI executable that imports only DLLs the system
             never takes from the program's folder (KnownDLLs), no MinGW
             runtime DLL among them.

Both run when --only is not given. Prints every failed check and a last line
"N passed, M failed"; exits 0 only when nothing failed.
"""

import argparse
import struct
import sys
import xml.etree.ElementTree as ET

try:
    import pefile
except ImportError:  # a Python of its own (pyenv, venv) without Debian's packages
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING = 3, 4, 5, 6
RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 9, 14, 16, 24
TYPE_NAMES = {RT_ICON: "RT_ICON", RT_MENU: "RT_MENU", RT_DIALOG: "RT_DIALOG",
              RT_STRING: "RT_STRING", RT_ACCELERATOR: "RT_ACCELERATOR",
              RT_GROUP_ICON: "RT_GROUP_ICON", RT_VERSION: "RT_VERSION", RT_MANIFEST: "RT_MANIFEST"}
LANG_JAPANESE = 1041
LANG_ENGLISH_US = 1033

# ---------------------------------------------------------------------------
# What the executable must hold.

IDM_ABOUT, IDM_EXIT, IDM_ALARM_SETTINGS = 104, 105, 32773
ABOUT_TEXT = "バージョン情報 ...(&A)"
SEPARATOR = None
MENU_109 = [
    ("ファイル(&F)", [(IDM_ABOUT, ABOUT_TEXT), SEPARATOR,
                      (IDM_EXIT, "アプリケーションの終了(&X)")]),
    ("ツール(&T)", [(IDM_ALARM_SETTINGS, "アラームの設定")]),
    ("ヘルプ(&H)", [(IDM_ABOUT, ABOUT_TEXT)]),
]

FVIRTKEY, FALT, FLAST = 0x01, 0x10, 0x80
ACCELERATORS_109 = [(FALT, 0x3F, IDM_ABOUT), (FALT, 0x2F, IDM_ABOUT)]

STRINGS = {109: "VELMORA", 40000: "velmora"}
# Messages about the alarm file, shown only when something failed.
STRINGS.update({
    40001: "アラームファイルを読み込むことも作ることもできないため、velmora を起動できません。\n\n"
           "ファイル: %1\n理由: %2（エラー %3）\n\n"
           "velmora.exe を書き込みのできるフォルダー（たとえば %LOCALAPPDATA%\\Programs\\velmora）に移すか、"
           "このファイルを開いているプログラムを閉じてから、もう一度起動してください。",
    40002: "アラームをファイルに保存できませんでした。\n\nファイル: %1\n理由: %2（エラー %3）\n\n"
           "[再試行] でもう一度保存します。[キャンセル] を押しても、アラームは今の設定のまま鳴ります。"
           "次に設定を閉じるときか終了するときに、もう一度保存します。",
    40003: "アラームをファイルに保存できませんでした。このまま終了すると、最後に保存したあとの変更は失われます。\n\n"
           "ファイル: %1\n理由: %2（エラー %3）\n\n"
           "[再実行] でもう一度保存します。[続行] で保存せずに終了します。"
           "[キャンセル] で終了をやめ、velmora を動かしたままにします。",
    40004: "アラームファイルが壊れていたため、読み取れた %1 件のアラームで起動しました。\n\n"
           "元のファイルは、そのまま次の場所に残してあります:\n%2",
    40005: "原因不明のエラー",
    40006: "アラームファイルが壊れていますが、元のファイルの写しを同じフォルダーに残せないため、"
           "velmora を起動できません。ファイルには手を付けていません。\n\n"
           "ファイル: %1\n理由: %2（エラー %3）\n\n"
           "velmora.exe とこのファイルを書き込みのできるフォルダー（たとえば %LOCALAPPDATA%\\Programs\\velmora）に移してから、"
           "もう一度起動してください。読み取れるアラームはそこで読み込まれ、元のファイルの写しも残されます。",
    40007: "保存に失敗し、元の内容に戻すこともできませんでした。アラームファイルが壊れているおそれがあります",
})
# The balloon after a sleep that kept alarms from ringing.
STRINGS.update({
    40020: "PC がスリープしていたため、次のアラームは鳴りませんでした: %1\n"
           "アラームは PC が起動している間だけ鳴ります。",
    40021: " ほか %1 件",
    40031: "velmora はすでに管理者として実行されています。管理者として動いている velmora は、ここから開くことができません。\n\n通知領域の velmora のアイコンから使うか、アイコンを右クリックして [アプリケーションの終了] を選んでから、velmora をもう一度起動してください。",
    40030: "サウンドファイルを選べませんでした（エラー %1）。\n\nファイルのパスは、[...] ボタンの左の欄に直接入力することもできます。",
})

# Predefined control classes, which a template may name by atom.
CLASS_ATOMS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC",
               0x83: "LISTBOX", 0x84: "SCROLLBAR", 0x85: "COMBOBOX"}


class Ordinal(int):
    """A resource reference by number (0xFFFF followed by the number)."""

    def __repr__(self):
        return "#%d" % int(self)


def control(cid, cls, text, style, rect):
    return dict(id=cid, cls=cls, text=text, style=style, rect=rect)


DS_SETFONT, DS_MODALFRAME, DS_FIXEDSYS = 0x40, 0x80, 0x08
WS_POPUP, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x00C00000, 0x00080000
MODAL_SHELL_DIALOG = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS
SHELL_FONT = dict(name="MS Shell Dlg", size=8, weight=400, italic=0, charset=1)

DIALOGS = {
    103: dict(
        style=0x00C800C0, exstyle=0, rect=(22, 17, 230, 75),
        caption="バージョン情報",
        # Only face and size are fixed for the About box.
        font=dict(name="System", size=9),
        controls=[
            control(2, "STATIC", Ordinal(107), 0x50000003, (14, 9, 20, 20)),
            control(-1, "STATIC", "velmora Version 1.3", 0x50020080, (49, 10, 119, 8)),
            control(1, "BUTTON", "OK", 0x50030001, (195, 6, 30, 11)),
        ]),
    130: dict(
        style=MODAL_SHELL_DIALOG, exstyle=0, rect=(0, 0, 334, 190),
        caption="アラームの設定", font=SHELL_FONT,
        controls=[
            control(1, "BUTTON", "OK", 0x50010001, (276, 168, 50, 14)),
            control(2, "BUTTON", "キャンセル", 0x40010000, (273, 149, 50, 14)),
            control(1000, "SysListView32", "", 0x50810801, (7, 7, 317, 157)),
            control(1010, "BUTTON", "追加", 0x50010000, (114, 168, 50, 14)),
            control(1011, "BUTTON", "削除", 0x50010000, (168, 168, 50, 14)),
            control(1012, "BUTTON", "変更", 0x50010000, (222, 168, 50, 14)),
            control(1001, "BUTTON", "UP", 0x50010000, (7, 168, 30, 14)),
            control(1003, "BUTTON", "DOWN", 0x50010000, (44, 168, 30, 14)),
        ]),
    134: dict(
        style=MODAL_SHELL_DIALOG, exstyle=0, rect=(0, 0, 437, 138),
        caption="変更", font=SHELL_FONT,
        controls=[
            control(1, "BUTTON", "OK", 0x50010001, (326, 117, 50, 14)),
            control(2, "BUTTON", "キャンセル", 0x50010000, (380, 117, 50, 14)),
            control(1006, "EDIT", "", 0x50812080, (7, 19, 18, 14)),
            control(1007, "msctls_updown32", "", 0x50000032, (25, 19, 11, 14)),
            control(1008, "EDIT", "", 0x50812080, (43, 19, 18, 14)),
            control(1005, "msctls_updown32", "", 0x50000032, (61, 19, 11, 14)),
            control(-1, "STATIC", "時", 0x50020001, (7, 7, 24, 10)),
            control(-1, "STATIC", "分", 0x50020001, (43, 7, 24, 10)),
            control(1009, "BUTTON", "ON", 0x50010003, (78, 19, 34, 14)),
            control(1011, "EDIT", "", 0x50810080, (198, 18, 210, 14)),
            control(1012, "BUTTON", "...", 0x50010000, (414, 18, 16, 14)),
            control(1013, "BUTTON", "PLAY", 0x50010000, (218, 117, 50, 14)),
            control(1014, "BUTTON", "STOP", 0x50010000, (272, 117, 50, 14)),
            control(1015, "SysListView32", "", 0x50810801, (114, 7, 78, 124)),
        ]),
}

ICON_GROUP = 107
ICON_IMAGES = [(16, 8), (32, 24), (48, 32)]  # (size, bits per pixel)

MANIFEST_ID = 1

# Version information 1.3.0.0 (major << 16 | minor, 0), Japanese in UTF-16.
VERSION_ID = 1
VERSION_NUMBERS = (0x00010003, 0)
VERSION_STRINGS = {"FileDescription": "velmora", "FileVersion": "1.3.0.0", "ProductName": "velmora",
                   "ProductVersion": "1.3.0.0", "OriginalFilename": "velmora.exe",
                   "LegalCopyright": "Copyright (c) 2026 the velmora authors"}

# The DLLs velmora.exe may import: the KnownDLLs of Windows 10 and 11
# (HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs), which
# the system maps from its own folder whatever lies beside the program, and
# ntdll.dll, which every process holds before its imports are read. Any other
# DLL (comctl32, winmm, version, uxtheme, ucrtbase, ...) is looked for in the
# program's folder first; velmora loads those it needs from the system folder
# itself (common/system_dlls.h).
KNOWN_DLLS = {name + ".dll" for name in (
    "advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf msvcrt normaliz "
    "nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32 ntdll").split()}
RUNTIME_DLL_PREFIXES = ("libstdc++", "libgcc_s", "libwinpthread")

# ---------------------------------------------------------------------------
# Bookkeeping.


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.group = ""

    def check(self, ok, what, expected=None, got=None):
        if ok:
            self.passed += 1
            return True
        self.failed += 1
        msg = "FAIL %s: %s" % (self.group, what)
        if expected is not None or got is not None:
            msg += ": expected %s, got %s" % (_show(expected), _show(got))
        print(msg)
        return False

    def equal(self, what, expected, got):
        return self.check(expected == got, what, expected, got)


def _show(v):
    if isinstance(v, int) and not isinstance(v, (bool, Ordinal)) and abs(v) > 0xFFFF:
        return "0x%08X" % (v & 0xFFFFFFFF)
    return repr(v)


def run_group(report, name, func, *args):
    """Run one group of checks; a template that cannot be parsed fails it."""
    report.group = name
    before = report.failed
    try:
        func(report, *args)
    except (struct.error, ValueError, IndexError, KeyError, UnicodeDecodeError, AttributeError) as e:
        report.check(False, "cannot read: %s: %s" % (type(e).__name__, e))
    status = "ok  " if report.failed == before else "FAILED"
    print("%s %s" % (status, name))


# ---------------------------------------------------------------------------
# Reading resources.


class Reader:
    """Little-endian reader over one resource's bytes."""

    def __init__(self, data, pos=0):
        self.data = data
        self.pos = pos

    def unpack(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def wstr(self):
        """A NUL-terminated UTF-16 string."""
        end = self.pos
        while True:
            if end + 2 > len(self.data):
                raise ValueError("unterminated string at offset %d" % self.pos)
            if self.data[end:end + 2] == b"\0\0":
                break
            end += 2
        text = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return text

    def sz_or_ord(self):
        """None for 0x0000, an Ordinal after 0xFFFF, else a string."""
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0:
            self.pos += 2
            return None
        if first == 0xFFFF:
            self.pos += 2
            return Ordinal(self.unpack("H"))
        return self.wstr()

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n


def resource_table(pe):
    """{(type, id): {lang: bytes}} for every resource; names become strings."""
    table = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return table
    for rtype in root.entries:
        tkey = rtype.id if rtype.id is not None else str(rtype.name)
        for entry in rtype.directory.entries:
            ekey = entry.id if entry.id is not None else str(entry.name)
            for lang in entry.directory.entries:
                d = lang.data.struct
                table.setdefault((tkey, ekey), {})[lang.id] = pe.get_data(d.OffsetToData, d.Size)
    return table


def one_resource(report, table, rtype, rid, lang=LANG_JAPANESE):
    """The bytes of one resource in the one language it must have, or None."""
    langs = table.get((rtype, rid))
    name = "%s %d" % (TYPE_NAMES.get(rtype, rtype), rid)
    if not report.check(langs is not None, "%s is missing" % name):
        return None
    report.equal("%s languages" % name, [lang], sorted(langs))
    return langs.get(lang)


def parse_menu(data):
    """[(popup text, [(id, text) or None for a separator])] of a MENU template."""
    r = Reader(data)
    version, header = r.unpack("HH")
    if version != 0:
        raise ValueError("not a MENU template (version %d)" % version)
    r.pos += header

    def level():
        items = []
        while True:
            flags = r.unpack("H")
            if flags & 0x10:  # MF_POPUP
                text = r.wstr()
                items.append((text, level()))
            else:
                cid = r.unpack("H")
                text = r.wstr()
                separator = (flags & 0x800) or (cid == 0 and text == "" and flags & ~0x80 == 0)
                items.append(None if separator else (cid, text, flags & ~0x80))
            if flags & 0x80:  # MF_END
                return items
            if r.pos >= len(data):
                raise ValueError("menu ends without MF_END")

    return level()


def parse_dialogex(data):
    r = Reader(data)
    version, signature = r.unpack("HH")
    if (version, signature) != (1, 0xFFFF):
        raise ValueError("not a DLGTEMPLATEEX (version %d, signature 0x%04X)" % (version, signature))
    d = {}
    d["help_id"], d["exstyle"], d["style"], count = r.unpack("IIIH")
    d["rect"] = r.unpack("hhhh")
    d["menu"] = r.sz_or_ord()
    d["class"] = r.sz_or_ord()
    d["caption"] = r.wstr()
    d["font"] = None
    if d["style"] & (DS_SETFONT | DS_FIXEDSYS):
        size, weight, italic, charset = r.unpack("HHBB")
        d["font"] = dict(name=r.wstr(), size=size, weight=weight, italic=italic, charset=charset)
    d["controls"] = []
    for _ in range(count):
        r.align(4)
        c = {}
        c["help_id"], c["exstyle"], c["style"] = r.unpack("III")
        c["rect"] = r.unpack("hhhh")
        c["id"] = r.unpack("i")
        c["cls"] = r.sz_or_ord()
        c["text"] = r.sz_or_ord()
        extra = r.unpack("H")
        r.pos += extra
        d["controls"].append(c)
    return d


def class_matches(expected, got):
    """Window class names are case-insensitive, and windres writes them in
    capitals ("SYSLISTVIEW32"); predefined classes may also come as atoms."""
    if isinstance(got, Ordinal):
        return CLASS_ATOMS.get(int(got)) == expected.upper()
    return isinstance(got, str) and got.upper() == expected.upper()


def decode_dib(data):
    """(size, bits, pixels) of an icon image; pixels[y][x] = (r, g, b, a), top row
    first, a being the alpha channel for 32 bits and 0 or 255 from the AND mask
    otherwise."""
    r = Reader(data)
    (hsize, width, height, planes, bits, compression,
     _, _, _, used, _) = r.unpack("IiiHHIIiiII")
    if hsize != 40 or compression != 0 or height != 2 * width or planes != 1:
        raise ValueError("unexpected icon bitmap header (%d, %dx%d, %d planes, compression %d)"
                         % (hsize, width, height, planes, compression))
    size = width
    palette = []
    if bits <= 8:
        for _ in range(used or (1 << bits)):
            b, g, rr, _ = r.unpack("BBBB")
            palette.append((rr, g, b))
    xor_stride = (size * bits + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor = r.pos
    mask = xor + xor_stride * size
    if mask + and_stride * size > len(data):
        raise ValueError("icon bitmap is shorter than its header says")
    pixels = []
    for y in range(size):
        row_xor = xor + (size - 1 - y) * xor_stride
        row_and = mask + (size - 1 - y) * and_stride
        row = []
        for x in range(size):
            transparent = data[row_and + x // 8] & (0x80 >> (x % 8))
            if bits == 32:
                b, g, rr, a = data[row_xor + 4 * x:row_xor + 4 * x + 4]
            elif bits == 24:
                b, g, rr = data[row_xor + 3 * x:row_xor + 3 * x + 3]
                a = 0 if transparent else 255
            elif bits == 8:
                rr, g, b = palette[data[row_xor + x]]
                a = 0 if transparent else 255
            else:
                raise ValueError("unexpected %d bits per pixel" % bits)
            row.append((rr, g, b, a))
        pixels.append(row)
    return size, bits, pixels


# ---------------------------------------------------------------------------
# Checks of the resources.


def check_inventory(report, table):
    """Exactly the resources the program has, each in its one language."""
    expected = {(RT_MENU, 109), (RT_ACCELERATOR, 109), (RT_GROUP_ICON, ICON_GROUP),
                (RT_DIALOG, 103), (RT_DIALOG, 130), (RT_DIALOG, 134),
                (RT_VERSION, VERSION_ID), (RT_MANIFEST, MANIFEST_ID)}
    expected |= {(RT_STRING, sid // 16 + 1) for sid in STRINGS}
    for key, langs in sorted(table.items(), key=str):
        rtype, rid = key
        name = "%s %s" % (TYPE_NAMES.get(rtype, rtype), rid)
        if rtype == RT_ICON:  # the group's own check ties these to it
            report.check(isinstance(rid, int), "%s has a name, not a number" % name)
        else:
            report.check(key in expected, "unexpected resource %s" % name)
        want = LANG_ENGLISH_US if rtype == RT_MANIFEST else LANG_JAPANESE
        report.equal("%s languages" % name, [want], sorted(langs))
    for key in sorted(expected):
        report.check(key in table, "%s %d is missing" % (TYPE_NAMES[key[0]], key[1]))


def check_menu(report, table):
    data = one_resource(report, table, RT_MENU, 109)
    if data is None:
        return
    popups = parse_menu(data)
    report.equal("popup count", len(MENU_109), len(popups))
    for p, (want, got) in enumerate(zip(MENU_109, popups)):
        want_text, want_items = want
        if not report.check(isinstance(got, tuple) and isinstance(got[1], list),
                            "popup %d is a plain item, not a popup" % p):
            continue
        got_text, got_items = got
        report.equal("popup %d text" % p, want_text, got_text)
        report.equal("popup %d item count" % p, len(want_items), len(got_items))
        for i, (wi, gi) in enumerate(zip(want_items, got_items)):
            where = "popup %d item %d" % (p, i)
            if wi is SEPARATOR:
                report.check(gi is None, "%s is not a separator" % where, "separator", gi)
                continue
            if not report.check(gi is not None and not isinstance(gi[1], list),
                                "%s is a separator or popup" % where, wi, gi):
                continue
            report.equal(where + " id", wi[0], gi[0])
            report.equal(where + " text", wi[1], gi[1])
            report.equal(where + " flags (grayed, checked, ...)", 0, gi[2])


def check_accelerators(report, table):
    data = one_resource(report, table, RT_ACCELERATOR, 109)
    if data is None:
        return
    if not report.check(len(data) % 8 == 0, "table length %d is not a multiple of 8" % len(data)):
        return
    entries = [struct.unpack_from("<HHHH", data, o) for o in range(0, len(data), 8)]
    report.equal("entry count", len(ACCELERATORS_109), len(entries))
    for i, (want, got) in enumerate(zip(ACCELERATORS_109, entries)):
        flags, key, cmd, _ = got
        last = i == len(entries) - 1
        report.equal("entry %d end-of-table flag" % i, last, bool(flags & FLAST))
        report.equal("entry %d flags (FALT only, no FVIRTKEY)" % i, want[0], flags & ~FLAST)
        report.check(not flags & FVIRTKEY, "entry %d is a virtual-key entry" % i)
        report.equal("entry %d key" % i, want[1], key)
        report.equal("entry %d command" % i, want[2], cmd)


def check_strings(report, table):
    found = {}
    for (rtype, block), langs in table.items():
        if rtype != RT_STRING:
            continue
        for data in langs.values():
            r = Reader(data)
            for i in range(16):
                n = r.unpack("H")
                text = data[r.pos:r.pos + 2 * n].decode("utf-16-le")
                r.pos += 2 * n
                if n:
                    found[(block - 1) * 16 + i] = text
    for sid, text in sorted(STRINGS.items()):
        one_resource(report, table, RT_STRING, sid // 16 + 1)
        report.equal("string %d" % sid, text, found.get(sid))
    report.equal("ids of non-empty strings", sorted(STRINGS), sorted(found))


def check_dialog(report, table, did):
    data = one_resource(report, table, RT_DIALOG, did)
    if data is None:
        return
    want = DIALOGS[did]
    got = parse_dialogex(data)
    report.equal("style", want["style"], got["style"])
    report.equal("extended style", want["exstyle"], got["exstyle"])
    report.equal("help id", 0, got["help_id"])
    report.equal("x, y, width, height", want["rect"], got["rect"])
    report.equal("menu", None, got["menu"])
    report.equal("window class", None, got["class"])
    report.equal("caption", want["caption"], got["caption"])
    if report.check(got["font"] is not None, "no font (DS_SETFONT missing)"):
        for key, value in want["font"].items():
            report.equal("font " + key, value, got["font"][key])
    report.equal("control count", len(want["controls"]), len(got["controls"]))
    for n, (wc, gc) in enumerate(zip(want["controls"], got["controls"]), 1):
        where = "control #%d (id %d)" % (n, wc["id"])
        report.equal(where + " id", wc["id"], gc["id"])
        report.check(class_matches(wc["cls"], gc["cls"]), where + " class", wc["cls"], gc["cls"])
        want_text = wc["text"]
        got_text = "" if gc["text"] is None else gc["text"]
        same_kind = isinstance(want_text, Ordinal) == isinstance(got_text, Ordinal)
        report.check(same_kind and want_text == got_text, where + " text", want_text, got_text)
        report.equal(where + " style", wc["style"], gc["style"])
        report.equal(where + " extended style", 0, gc["exstyle"])
        report.equal(where + " help id", 0, gc["help_id"])
        report.equal(where + " x, y, width, height", wc["rect"], gc["rect"])


def _luma(p):
    return (299 * p[0] + 587 * p[1] + 114 * p[2]) // 1000


def check_picture(report, size, bits, pixels):
    """Clock face: transparent corners, dark rim, white face, hands at 12 and 3."""
    tag = "%dx%d" % (size, size)
    opaque = lambda p: p[3] >= 128
    light = lambda p: opaque(p) and min(p[:3]) >= 200
    dark = lambda p: opaque(p) and max(p[:3]) < 100
    for x, y in [(0, 0), (size - 1, 0), (0, size - 1), (size - 1, size - 1)]:
        report.equal("%s corner (%d, %d) alpha" % (tag, x, y), 0, pixels[y][x][3])
    c = size // 2
    # The face between the centre and the rim, lower left, away from the hands.
    lo, hi = int(c - 0.25 * size + 0.5), int(c - 0.1 * size + 0.5)
    face = [pixels[y][x] for y in range(2 * c - hi, 2 * c - lo) for x in range(lo, hi)]
    report.check(face and all(light(p) for p in face),
                 "%s face near the centre is not opaque white" % tag,
                 "all white", sorted(set(face))[:4])
    # Hands: dark towards twelve and three, nothing towards six and nine.
    d = int(0.2 * size)
    spokes = {"twelve": [pixels[c - d][c - 1], pixels[c - d][c]],
              "three": [pixels[c - 1][c + d], pixels[c][c + d]],
              "six": [pixels[c + d][c - 1], pixels[c + d][c]],
              "nine": [pixels[c - 1][c - d], pixels[c][c - d]]}
    for name in ("twelve", "three"):
        report.check(any(dark(p) for p in spokes[name]),
                     "%s no dark hand towards %s" % (tag, name), "dark", spokes[name])
    for name in ("six", "nine"):
        report.check(all(light(p) for p in spokes[name]),
                     "%s something dark towards %s" % (tag, name), "white", spokes[name])
    # The outermost opaque pixel in each direction from the centre is the rim.
    rays = {"top": [pixels[y][c] for y in range(size)],
            "bottom": [pixels[y][c] for y in reversed(range(size))],
            "left": pixels[c],
            "right": list(reversed(pixels[c]))}
    for name, ray in rays.items():
        edge = next((p for p in ray if opaque(p)), None)
        report.check(edge is not None and _luma(edge) < 128,
                     "%s rim at the %s is not dark" % (tag, name), "dark", edge)


def check_icons(report, table):
    data = one_resource(report, table, RT_GROUP_ICON, ICON_GROUP)
    if data is None:
        return
    r = Reader(data)
    reserved, kind, count = r.unpack("HHH")
    report.equal("group header (reserved, type)", (0, 1), (reserved, kind))
    report.equal("image count", len(ICON_IMAGES), count)
    seen = []
    for _ in range(count):
        w, h, colours, _, planes, bits, nbytes, nid = r.unpack("BBBBHHIH")
        size = w or 256
        tag = "%dx%d" % (size, size)
        seen.append((size, bits))
        report.equal(tag + " height", size, h or 256)
        report.equal(tag + " planes", 1, planes)
        image = one_resource(report, table, RT_ICON, nid)
        if image is None:
            continue
        report.equal(tag + " byte count in group", len(image), nbytes)
        dsize, dbits, pixels = decode_dib(image)
        report.equal(tag + " bitmap size", size, dsize)
        report.equal(tag + " bitmap bits per pixel", bits, dbits)
        if dbits == 32:
            alphas = {p[3] for row in pixels for p in row}
            report.check(max(alphas) == 255, tag + " alpha channel is empty",
                         "some alpha 255", max(alphas))
        check_picture(report, dsize, dbits, pixels)
    report.equal("(size, bits per pixel) of the images", sorted(ICON_IMAGES), sorted(seen))


def check_version(report, table, pe):
    if one_resource(report, table, RT_VERSION, VERSION_ID) is None:
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    report.equal("file version", VERSION_NUMBERS, (fixed.FileVersionMS, fixed.FileVersionLS))
    report.equal("product version", VERSION_NUMBERS, (fixed.ProductVersionMS, fixed.ProductVersionLS))
    blocks = [block for info in pe.FileInfo for block in info]
    tables = [t for block in blocks for t in getattr(block, "StringTable", [])]
    report.equal("string tables", [b"041104B0"], [t.LangID for t in tables])
    for t in tables:
        report.equal("strings", VERSION_STRINGS, {k.decode(): v.decode() for k, v in t.entries.items()})
    translations = [v.entry for block in blocks for v in getattr(block, "Var", [])]
    report.equal("translations", [{b"Translation": "0x0411 0x04b0"}], translations)


def check_manifest(report, table):
    data = one_resource(report, table, RT_MANIFEST, MANIFEST_ID, LANG_ENGLISH_US)
    if data is None:
        return
    root = ET.fromstring(data)
    local = lambda el: el.tag.rsplit("}", 1)[-1]
    levels = [el for el in root.iter() if local(el) == "requestedExecutionLevel"]
    report.equal("requestedExecutionLevel elements", 1, len(levels))
    for el in levels:
        report.equal("execution level", "asInvoker", el.get("level"))
        report.equal("uiAccess", "false", el.get("uiAccess"))
    deps = [el for el in root.iter() if local(el) == "dependency"]
    report.equal("<dependency> elements", 0, len(deps))
    # Aware of the display's scale: per monitor (version 2) where Windows knows
    # it, else of the system's; each setting in its namespace, in asm.v3's
    # application/windowsSettings.
    v3 = "{urn:schemas-microsoft-com:asm.v3}"
    settings = {el.tag: (el.text or "").strip() for el in root.findall(v3 + "application/" + v3 + "windowsSettings/*")}
    report.equal("DPI awareness", {"{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware": "true",
                                   "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness":
                                       "PerMonitorV2, System"}, settings)


def check_resources(report, pe):
    table = resource_table(pe)
    run_group(report, "resource ids, types and languages", check_inventory, table)
    run_group(report, "menu 109", check_menu, table)
    run_group(report, "accelerators 109", check_accelerators, table)
    run_group(report, "strings", check_strings, table)
    for did in sorted(DIALOGS):
        run_group(report, "dialog %d" % did, check_dialog, table, did)
    run_group(report, "icon group 107", check_icons, table)
    run_group(report, "version information 1", check_version, table, pe)
    run_group(report, "manifest", check_manifest, table)


# ---------------------------------------------------------------------------
# Checks of the executable itself.


def check_pe_header(report, pe):
    report.equal("machine (i386)", 0x14C, pe.FILE_HEADER.Machine)
    report.equal("optional header magic (PE32)", 0x10B, pe.OPTIONAL_HEADER.Magic)
    report.equal("subsystem (Windows GUI)", 2, pe.OPTIONAL_HEADER.Subsystem)
    chars = pe.FILE_HEADER.Characteristics
    report.check(chars & 0x0002, "not marked as an executable image")
    report.check(not chars & 0x2000, "marked as a DLL")


def check_imports(report, pe):
    pe.parse_data_directories()
    names = [d.dll.decode("ascii", "replace") for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    names += [d.dll.decode("ascii", "replace")
              for d in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    report.check(names, "imports no DLL at all")
    for name in names:
        low = name.lower()
        if low.startswith(RUNTIME_DLL_PREFIXES):
            report.check(False, "imports the MinGW runtime DLL %s (link with -static)" % name)
        else:
            report.check(low in KNOWN_DLLS,
                         "imports %s, which is not one of the KnownDLLs: the system would look for it "
                         "beside velmora.exe first" % name)


def check_pe(report, pe):
    run_group(report, "PE header", check_pe_header, pe)
    run_group(report, "imported DLLs", check_imports, pe)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("exe")
    parser.add_argument("--only", choices=("resources", "pe"),
                        help="run only the resource checks or only the PE checks")
    args = parser.parse_args(argv[1:])
    try:
        pe = pefile.PE(args.exe, fast_load=False)
    except (OSError, pefile.PEFormatError) as e:
        print("FAIL cannot read %s: %s" % (args.exe, e))
        print("0 passed, 1 failed")
        return 1
    report = Report()
    if args.only in (None, "resources"):
        check_resources(report, pe)
    if args.only in (None, "pe"):
        check_pe(report, pe)
    print("%d passed, %d failed" % (report.passed, report.failed))
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
