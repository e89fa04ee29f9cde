#!/usr/bin/python3
"""Check the release files that scripts/release wrote into a dist/ folder.

Usage: check_release.py [--ca CA-FILE] DIST VERSION SOURCE BUILD
(SOURCE and BUILD: the sources and the build folder velmora.exe came from)

SHA256SUMS; the archive (one folder, the executable and three texts, dated
SOURCE_DATE_EPOCH, CRLF, a BOM for the Japanese, every licence); the
executable (no time stamp, debug data, symbols or build path, resources and
imports as tests/resources/check_resources.py wants, version VERSION.0.0);
the installer (32-bit, asInvoker, holding the archive's files byte for byte);
the manifests against dist/; a signed release's programs, those inside the
installer too, signed, their signatures in signatures/ and, with --ca,
accepted by `osslsigncode verify -CAfile`. Prints each failure, then
"N passed, M failed"; exits 0 only when nothing failed.
"""

import hashlib
import json
import lzma
import os
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

import yaml

try:
    import pefile
except ImportError:
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

TEXTS = ["README-ja.txt", "LICENSE.txt", "THIRD-PARTY-NOTICES.txt"]
# What the notices must hold: each licence of what is linked in.
NOTICES = [
    "Boost Software License - Version 1.0",
    "libs/serialization/",
    "GCC RUNTIME LIBRARY EXCEPTION",
    "Version 3.1, 31 March 2009",
    "GNU GENERAL PUBLIC LICENSE",
    "Version 3, 29 June 2007",
    "License: ZPL-2.1",
    "mingw-w64-crt/",
    "mingw-w64-libraries/winpthreads/",
    "Silicon Graphics Computer Systems",
]

passed = failed = 0


def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAILED: " + what)
    return ok


def check_setup(path, contents):
    """contents: the archive's files by name, which the installer must hold."""
    with open(path, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data)
    check(pe.FILE_HEADER.Machine == 0x14C, "the installer is not a 32-bit (i386) program")
    check(b'level="asInvoker"' in data, "the installer's manifest does not ask to run as the user (asInvoker)")
    # NSIS: its first header, then one LZMA stream (solid) with the script's
    # data and each file, the files each after their length.
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst")
    if not check(at >= 4, "the installer holds no NSIS data"):
        return b""
    total = struct.unpack_from("<I", data, at + 20)[0]
    props, dictionary = data[at + 24], struct.unpack_from("<I", data, at + 25)[0]
    lzma1 = {"id": lzma.FILTER_LZMA1, "dict_size": dictionary,
             "lc": props % 9, "lp": props % 45 // 9, "pb": props // 45}
    try:
        packed = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(data[at + 29:at - 4 + total])
    except lzma.LZMAError as e:
        check(False, "the installer's data is not one LZMA stream: %s" % e)
        return b""
    for name, body in contents.items():
        check(struct.pack("<I", len(body)) + body in packed, "the installer does not hold the archive's " + name)
    for words in ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmora", "velmora を起動する",
                  "ログオン時に起動する", "the velmora authors"):
        check(words.encode("utf-16-le") in packed, "the installer's script lacks " + words)
    return packed


def programs_in(packed):
    """The programs the installer's data holds, each stored after its length."""
    found = []
    at = packed.find(b"MZ", 4)
    while at > 0:
        size = struct.unpack_from("<I", packed, at - 4)[0]
        body = packed[at:at + size]
        if len(body) == size > 64:
            header = struct.unpack_from("<I", body, 0x3C)[0]
            if body[header:header + 4] == b"PE\0\0":
                found.append(body)
        at = packed.find(b"MZ", at + 1)
    return found


def signature(data):
    """The PKCS#7 signature (Authenticode) a program carries, or None."""
    pe = pefile.PE(data=data, fast_load=True)
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    if security.Size == 0:
        return None
    der = data[security.VirtualAddress + 8:security.VirtualAddress + security.Size]  # after WIN_CERTIFICATE's head
    size = 2 + der[1] if der[1] < 0x80 else 2 + (der[1] & 0x7F) + int.from_bytes(der[2:2 + (der[1] & 0x7F)], "big")
    return der[:size]


def check_signatures(dist, setup, packed, ca):
    with open(os.path.join(dist, "velmora.exe"), "rb") as f:
        exe = f.read()
    with open(os.path.join(dist, setup), "rb") as f:
        installer = f.read()
    inside = programs_in(packed)
    folder = os.path.join(dist, "signatures")
    signed = os.path.isdir(folder)
    # velmora.exe, two plug-ins, and once signed the uninstaller, stored whole.
    check(len(inside) == 3 + signed and exe in inside, "the installer holds %d programs, not velmora.exe, two "
          "plug-ins%s" % (len(inside), " and the uninstaller" if signed else ""))
    programs = {"velmora.exe": exe, setup: installer}
    programs.update(("program %d in the installer" % i, body) for i, body in enumerate(inside))
    if not signed:
        for name, body in programs.items():
            check(signature(body) is None, "unsigned release, yet %s is signed" % name)
        return
    kept = {}
    for name in sorted(os.listdir(folder)):
        r = subprocess.run(["openssl", "pkcs7", "-inform", "PEM", "-outform", "DER", "-in", os.path.join(folder, name)],
                           capture_output=True)
        check(r.returncode == 0, "signatures/%s is not a PEM signature" % name)
        kept[name] = r.stdout
    want = {"velmora.exe.pem", setup + ".pem", "uninstall.exe.pem", "nsis-System.dll.pem", "nsis-nsDialogs.dll.pem"}
    check(set(kept) == want, "signatures/ holds %s, not %s" % (sorted(kept), sorted(want)))
    for name, body in programs.items():
        signed = signature(body)
        if not check(signed is not None, "%s is not signed" % name):
            continue
        check(signed in kept.values(), "the signature of %s is not kept in signatures/" % name)
        if name + ".pem" in kept:
            check(kept[name + ".pem"] == signed, "signatures/%s.pem is not the signature of %s" % (name, name))
        if ca:
            with tempfile.NamedTemporaryFile(suffix=".exe") as f:
                f.write(body)
                f.flush()
                r = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", f.name], capture_output=True, text=True)
            check(r.returncode == 0, "osslsigncode verify -CAfile %s refuses %s:\n%s" % (ca, name, r.stdout[-600:]))


def check_manifests(dist, version, archive, setup, packed):
    """winget's and Scoop's manifests against the files of dist/."""
    def digest(name):
        with open(os.path.join(dist, name), "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    winget = {}
    for name in os.listdir(os.path.join(dist, "winget")):
        with open(os.path.join(dist, "winget", name), encoding="utf-8") as f:
            m = yaml.safe_load(f)
        winget[m["ManifestType"]] = m
        check(m["PackageVersion"] == version and m["ManifestVersion"] == "1.10.0",
              "winget/%s: version %s, manifest version %s" % (name, m["PackageVersion"], m["ManifestVersion"]))
    check(sorted(winget) == ["defaultLocale", "installer", "version"], "winget/ holds %s" % sorted(winget))
    installer = winget.get("installer", {})
    entries = [installer.get("ProductCode")] + [e.get("ProductCode") for e in installer.get("AppsAndFeaturesEntries", [])]
    for code in entries:
        key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s" % code
        check(key.encode("utf-16-le") + b"\0\0" in packed, "winget's ProductCode %s is not the installer's entry" % code)
    for entry in installer.get("AppsAndFeaturesEntries", []):
        check(entry.get("DisplayVersion") == version, "winget's DisplayVersion is not " + version)
    for item in installer.get("Installers", []):
        check(item["InstallerUrl"].endswith("/" + setup), "winget's InstallerUrl %s" % item["InstallerUrl"])
        check(item["InstallerSha256"] == digest(setup).upper(), "winget's InstallerSha256 is not the installer's")
    with open(os.path.join(dist, "scoop", "velmora.json"), encoding="utf-8") as f:
        scoop = json.load(f)
    check(scoop["version"] == version and scoop["extract_dir"] == "velmora-" + version,
          "scoop: version %s, extract_dir %s" % (scoop["version"], scoop["extract_dir"]))
    check(scoop["url"].endswith("/" + archive) and scoop["hash"] == digest(archive),
          "scoop: the url or hash is not the archive's")


def check_sums(dist, archive, setup):
    with open(os.path.join(dist, "SHA256SUMS"), encoding="ascii") as f:
        names = [line.split("  ", 1)[1].rstrip("\n") for line in f if "  " in line]
    check(sorted(names) == sorted([archive, setup, "velmora.exe"]),
          "SHA256SUMS names %s, not the archive, the installer and velmora.exe" % names)
    r = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=dist,
                       capture_output=True, text=True)
    check(r.returncode == 0, "sha256sum -c SHA256SUMS in %s: %s%s" % (dist, r.stdout, r.stderr))


def check_text(name, data):
    body = data[3:] if data.startswith(b"\xef\xbb\xbf") else data
    check(body.endswith(b"\r\n") and b"\n" not in body.replace(b"\r\n", b""),
          "%s: not CRLF line ends throughout" % name)
    check(b"\r\r" not in body, "%s: doubled CR" % name)
    try:
        text = body.decode("utf-8")
    except UnicodeDecodeError:
        check(False, "%s: not UTF-8" % name)
        return ""
    check(data.startswith(b"\xef\xbb\xbf") or text.isascii(),
          "%s: not ASCII, yet no BOM" % name)
    return text


def check_archive(dist, version, epoch):
    folder = "velmora-%s/" % version
    path = os.path.join(dist, "velmora-%s-win32.zip" % version)
    with zipfile.ZipFile(path) as z:
        check(z.testzip() is None, "a damaged entry in " + path)
        infos = z.infolist()
        names = [i.filename for i in infos]
        want = [folder] + [folder + n for n in ["velmora.exe"] + TEXTS]
        check(names == want, "archive entries %s, not %s" % (names, want))
        when = max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0))
        # Zip times count in two seconds.
        when = when[:5] + (when[5] // 2 * 2,)
        for i in infos:
            check(i.date_time == when, "%s dated %s, not %s (SOURCE_DATE_EPOCH as UTC)"
                  % (i.filename, i.date_time, when))
            check(not i.extra and not i.comment, "%s carries extra fields or a comment" % i.filename)
        check(not z.comment, "the archive carries a comment")
        contents = {n[len(folder):]: z.read(n) for n in names if n != folder and n in want}
    with open(os.path.join(dist, "velmora.exe"), "rb") as f:
        check(contents.get("velmora.exe") == f.read(), "the archive's velmora.exe is not dist/velmora.exe")

    readme = contents.get("README-ja.txt", b"")
    check(readme.startswith(b"\xef\xbb\xbf"), "README-ja.txt has no UTF-8 BOM")
    text = check_text("README-ja.txt", readme)
    for word in ("velmora", "file.txt", "file.txt.bad", "アラーム", "タスクトレイ"):
        check(word in text, "README-ja.txt does not mention " + word)
    text = check_text("LICENSE.txt", contents.get("LICENSE.txt", b""))
    check(text.startswith("MIT License") and "the velmora authors" in text,
          "LICENSE.txt is not the MIT licence of the velmora authors")
    text = check_text("THIRD-PARTY-NOTICES.txt", contents.get("THIRD-PARTY-NOTICES.txt", b""))
    for words in NOTICES:
        check(words in text, "THIRD-PARTY-NOTICES.txt lacks " + words)
    return contents


def check_executable(exe, version, paths):
    with open(exe, "rb") as f:
        data = f.read()
    # The About box shows the version the archive is named after.
    check(("velmora Version " + version).encode("utf-16-le") in data,
          "the executable does not say velmora Version " + version)
    full = ".".join((version.split(".") + ["0", "0"])[:4])
    check(full.encode("utf-16-le") + b"\0\0" in data, "the version information does not say " + full)
    pe = pefile.PE(data=data)
    check(pe.FILE_HEADER.TimeDateStamp == 0, "the PE header has a time stamp")
    check(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0,
          "the executable is not stripped")
    check(not hasattr(pe, "DIRECTORY_ENTRY_DEBUG"), "the executable has a debug directory")
    stamps = []
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        stamps.append(pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp)
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        stamps.append(entry.struct.TimeDateStamp)

    def resources(directory):
        stamps.append(directory.struct.TimeDateStamp)
        for e in directory.entries:
            if hasattr(e, "directory"):
                resources(e.directory)
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        resources(pe.DIRECTORY_ENTRY_RESOURCE)
    check(not any(stamps), "a time stamp in the export, import or resource directories")
    for p in paths:
        p = os.path.realpath(p)
        for form in (p.encode(), p.encode("utf-16-le")):
            check(form not in data, "the executable holds the path " + p)
    here = os.path.dirname(os.path.abspath(__file__))
    r = subprocess.run([sys.executable, os.path.join(here, "..", "resources", "check_resources.py"), exe],
                       capture_output=True, text=True)
    check(r.returncode == 0, "check_resources.py %s:\n%s%s" % (exe, r.stdout, r.stderr))


def main():
    args = sys.argv[1:]
    ca = None
    if args[:1] == ["--ca"] and len(args) > 1:
        ca, args = args[1], args[2:]
    if len(args) != 4:
        sys.exit(__doc__)
    dist, version, source, build = args
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    setup = "velmora-%s-setup.exe" % version
    archive = "velmora-%s-win32.zip" % version
    check_sums(dist, archive, setup)
    packed = check_setup(os.path.join(dist, setup), check_archive(dist, version, epoch))
    check_executable(os.path.join(dist, "velmora.exe"), version, [source, build])
    check_manifests(dist, version, archive, setup, packed)
    check_signatures(dist, setup, packed, ca)
    print("release check of %s: %d passed, %d failed" % (dist, passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
