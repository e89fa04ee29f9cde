#!/usr/bin/python3
"""Packs a built velmora.exe into the release files of dist/ (scripts/release).

Usage: package.py --exe EXE --version V --source SRC --boost-objects DIR --dist DIST
                  [--download-url URL] [--sign-pkcs12 KEY [--sign-password-file FILE]
                  [--sign-timestamp-url URL] | --attach SIGNATURES]
       package.py --exe EXE --version V --source SRC --boost-objects DIR
                  --setup-only SETUP [--target amd64]

Writes velmora-V-win32.zip (the folder velmora-V/ with velmora.exe and the
three texts), velmora-V-setup.exe (installer/velmora.nsi, by makensis),
velmora.exe, SHA256SUMS, winget/ and scoop/, and when signed (signing.py)
signatures/. --setup-only: the installer alone, unsigned, for the tests
(--target amd64 around a 64-bit EXE). The output depends on the inputs
alone: fixed order and permissions, the time of SOURCE_DATE_EPOCH as UTC.
THIRD-PARTY-NOTICES.txt comes from the copyright files of the Debian
packages linked in (/usr/share/doc/PACKAGE/copyright).
"""

import argparse
import fnmatch
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from signing import Signer, SigningError  # noqa: E402

DOC = "/usr/share/doc"
BOOST_PACKAGE = "libboost-serialization1.74-dev"
GCC_PACKAGE = "gcc-mingw-w64-base"
MINGW_PACKAGE = "mingw-w64-i686-dev"
GPL3 = "/usr/share/common-licenses/GPL-3"
# The libstdc++ headers compiled into the program; their container templates
# carry the notices of the original STL.
STL_HEADER = "/usr/lib/gcc/i686-w64-mingw32/12-posix/include/c++/bits/stl_tree.h"

# Parts of mingw-w64 linked into every executable: the C runtime start-up and
# helpers, and the POSIX threads library. Profiling, test cases and tools are not.
MINGW_LINKED = ("mingw-w64-crt/", "mingw-w64-libraries/winpthreads/")
MINGW_NOT_LINKED = ("mingw-w64-crt/profile/", "mingw-w64-crt/testcases/",
                    "mingw-w64-libraries/winpthreads/tests_pthread/")

# The plug-ins the installer unpacks: System::Call, the Modern UI's pages.
NSIS_PLUGINS = "/usr/share/nsis/Plugins"
PLUGINS = ("System.dll", "nsDialogs.dll")

# winget's ProductCode is the installer's key under HKCU's Uninstall.
WINGET_ID = "velmora.velmora"
PRODUCT_CODE = "velmora"
PUBLISHER = "the velmora authors"
SUMMARY = "通知領域に常駐する小さなアラーム時計"


class PackagingError(Exception):
    pass


# ---------------------------------------------------------------------------
# Debian copyright files (machine-readable format 1.0).

def paragraphs(path):
    """The paragraphs of a Debian copyright file, each a list of (field, lines)."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    result = []
    for block in re.split(r"\n[ \t]*\n", text):
        fields = []
        for line in block.split("\n"):
            if not line:
                continue
            if line[0] in " \t" and fields:
                fields[-1][1].append(line)
            elif ":" in line:
                name, value = line.split(":", 1)
                fields.append((name, [value.strip()] if value.strip() else []))
        if fields:
            result.append(fields)
    return result


def field(paragraph, name):
    for n, lines in paragraph:
        if n == name:
            return lines
    return None


def plain(lines):
    """Continuation lines as plain text: one leading space off, "." for an empty line."""
    out = []
    for line in lines:
        line = line[1:] if line[:1] in (" ", "\t") else line
        out.append("" if line.strip() == "." else line.rstrip())
    return out


def licence_names(expression):
    return [n.strip() for n in re.split(r"\s+(?:and|or)\s+|,", expression) if n.strip()]


def render(paragraph, patterns=None):
    """A Files paragraph as text; patterns, when given, replace its file list."""
    files = patterns if patterns is not None else " ".join(field(paragraph, "Files")).split()
    copyright_lines = [l.strip() for l in field(paragraph, "Copyright") or []]
    licence = field(paragraph, "License")
    out = ["Files: " + files[0]] + ["       " + f for f in files[1:]]
    out += ["Copyright: " + (copyright_lines[0] if copyright_lines else "")]
    out += ["           " + c for c in copyright_lines[1:]]
    out += ["License: " + licence[0]]
    body = plain(licence[1:])
    if body:
        out += [""] + body
    return out


def select(path, wanted):
    """Files paragraphs of a copyright file for which wanted(patterns) returns
    a non-empty list of patterns, followed by the stand-alone licence texts
    they name without giving. Returns lines of text."""
    paras = paragraphs(path)
    standalone = {field(p, "License")[0]: p for p in paras
                  if field(p, "Files") is None and field(p, "License") and len(field(p, "License")) > 1}
    out, named = [], []
    for p in paras:
        files = field(p, "Files")
        if files is None or not field(p, "License"):
            continue
        patterns = wanted(" ".join(files).split())
        if not patterns:
            continue
        out += render(p, patterns) + [""]
        if len(field(p, "License")) == 1:
            for name in licence_names(field(p, "License")[0]):
                if name not in named:
                    named.append(name)
    for name in named:
        if name not in standalone:
            raise PackagingError("%s names the licence %s but does not give it" % (path, name))
        out += ["License: " + name, ""] + plain(field(standalone[name], "License")[1:]) + [""]
    return out


def between(path, first, stop):
    """The lines of a file from the one starting with `first` up to the one
    starting with `stop` (not included), trailing blank lines dropped."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    try:
        start = next(i for i, l in enumerate(lines) if l.startswith(first))
        end = next(i for i in range(start + 1, len(lines)) if lines[i].startswith(stop))
    except StopIteration:
        raise PackagingError("%s: no text from %r to %r" % (path, first, stop))
    part = [l.rstrip() for l in lines[start:end]]
    while part and not part[-1]:
        part.pop()
    return part


def stl_notice(path):
    """The SGI and HP notices at the top of a libstdc++ container header."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"/\*\s*\n((?: \*.*\n)*? \* Copyright \(c\) [^\n]*\n(?: \*.*\n)*?) \*/", text)
    if not m or "Silicon Graphics" not in m.group(1):
        raise PackagingError("%s: no STL notice found" % path)
    lines = [re.sub(r"^ \* ?", "", l).rstrip() for l in m.group(1).split("\n")]
    while lines and not lines[0]:
        lines.pop(0)
    while lines and not lines[-1]:
        lines.pop()
    return [re.sub(r"\n{3,}", "\n\n", "\n".join(lines))]


def package_version(package):
    try:
        return subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], check=True,
                              capture_output=True, text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        raise PackagingError("the package %s is not installed (run scripts/setup)" % package)


def copyright_file(package):
    path = os.path.join(DOC, package, "copyright")
    if not os.path.isfile(path):
        raise PackagingError("%s is missing (is %s installed?)" % (path, package))
    return path


def boost_units(objects):
    """The Boost.Serialization sources compiled into the program, as paths in
    the Boost tree, found from their object files under the folder objects."""
    units = set()
    for _, _, names in os.walk(objects):
        units.update("libs/serialization/src/" + n[:-len(".obj")] for n in names if n.endswith(".cpp.obj"))
    if not units:
        raise PackagingError("no Boost.Serialization object files under " + objects)
    return sorted(units)


def notices(version, units):
    """THIRD-PARTY-NOTICES.txt as a list of lines; units: the Boost.Serialization
    sources compiled in (see boost_units)."""

    def boost_wanted(patterns):
        return [p for p in patterns if any(fnmatch.fnmatchcase(u, p) for u in units)]

    def mingw_wanted(patterns):
        return [p for p in patterns
                if p == "*" or (p.startswith(MINGW_LINKED) and not p.startswith(MINGW_NOT_LINKED))]

    rule = "=" * 76
    out = [
        "Third-party notices for velmora %s" % version,
        "",
        "velmora.exe contains code of the libraries below, linked in statically.",
        "Their licences ask for these notices to go with the program. The texts are",
        "taken from the copyright files of the Debian 12 packages the program was",
        "built with (/usr/share/doc/PACKAGE/copyright); only their layout is made",
        "plain and the files they list that are not part of velmora.exe are left out.",
        "",
        "1. Boost.Serialization (Boost 1.74): Boost Software License 1.0",
        "2. libstdc++ and libgcc (GCC 12): GNU General Public License 3 with the",
        "   GCC Runtime Library Exception 3.1",
        "3. The mingw-w64 runtime and winpthreads: Zope Public License 2.1, MIT",
        "   (expat) and the other licences named there",
        "",
    ]
    path = copyright_file(BOOST_PACKAGE)
    out += [rule, "1. Boost.Serialization",
            "   from %s (%s %s)" % (path, BOOST_PACKAGE, package_version(BOOST_PACKAGE)), rule, ""]
    out += select(path, boost_wanted)

    path = copyright_file(GCC_PACKAGE)
    out += [rule, "2. libstdc++ and libgcc",
            "   from %s (%s %s)" % (path, GCC_PACKAGE, package_version(GCC_PACKAGE)), rule, ""]
    out += between(path, "GCC is Copyright", "The libbacktrace library") + [""]
    out += between(path, "GCC RUNTIME LIBRARY EXCEPTION", "libquadmath/") + [""]
    out += ["The C++ library's container templates (from %s) also carry:" % STL_HEADER, ""]
    out += stl_notice(STL_HEADER) + [""]
    out += ["The GNU General Public License, version 3, which the exception above",
            "modifies (from %s):" % GPL3, ""]
    with open(GPL3, encoding="utf-8") as f:
        out += [l.rstrip() for l in f.read().rstrip("\n").split("\n")] + [""]

    path = copyright_file(MINGW_PACKAGE)
    out += [rule, "3. The mingw-w64 runtime and winpthreads",
            "   from %s (%s %s)" % (path, MINGW_PACKAGE, package_version(MINGW_PACKAGE)), rule, ""]
    out += select(path, mingw_wanted)
    while out and not out[-1]:
        out.pop()
    return out


# ---------------------------------------------------------------------------
# The release files.

def windows_text(text, bom=False):
    """Text as Windows expects it: CRLF line ends, UTF-8, a BOM if asked or
    if the text is not plain ASCII."""
    lines = text.replace("\r\n", "\n").rstrip("\n").split("\n")
    data = ("\r\n".join(lines) + "\r\n").encode("utf-8")
    if bom or not text.isascii():
        data = b"\xef\xbb\xbf" + data
    return data


def zip_time(epoch):
    """The archive's entry time: SOURCE_DATE_EPOCH as UTC, no earlier than the
    first time a zip entry can hold."""
    return max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0))


def write_zip(path, folder, files, epoch):
    """files: (name, bytes) in the order they are stored."""
    when = zip_time(epoch)
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        d = zipfile.ZipInfo(folder + "/", when)
        d.create_system = 3
        d.external_attr = (0o40755 << 16) | 0x10  # a directory, also for MS-DOS
        z.writestr(d, b"")
        for name, data in files:
            info = zipfile.ZipInfo(folder + "/" + name, when)
            info.create_system = 3
            info.external_attr = (0o100644 if not name.endswith(".exe") else 0o100755) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)
    os.replace(tmp, path)


def write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def write_setup(path, source, version, exe, texts, target, signer=None):
    """Builds the installer into path from exe and the texts ((name, bytes));
    with a signer, signed throughout. No unsigned installer is left."""
    with tempfile.TemporaryDirectory() as staging:
        for name, data in texts:
            write(os.path.join(staging, name), data)
        command = ["makensis", "-NOCONFIG", "-V2", "-WX", "-INPUTCHARSET", "UTF8",
                   "-DVELMORA_VERSION=" + version, "-DVELMORA_EXE=" + os.path.abspath(exe),
                   "-DVELMORA_TEXTS=" + staging, "-DVELMORA_OUTFILE=" + os.path.abspath(path) + ".tmp",
                   "-DVELMORA_TARGET=" + target]
        if signer:
            plugins = os.path.join(staging, "plugins")
            os.mkdir(plugins)
            for name in PLUGINS:
                copy = os.path.join(plugins, name)
                shutil.copyfile(os.path.join(NSIS_PLUGINS, target + "-unicode", name), copy)
                signer.sign(copy, "nsis-" + name)
            config = os.path.join(staging, "signing.json")
            signer.save(config)
            sign = [sys.executable, os.path.join(os.path.abspath(source), "scripts", "signing.py"), config]
            if any(c in "".join(sign) for c in "\"'$`"):
                raise PackagingError("a path to sign with holds a quote or $: %s" % sign)
            command += ["-DVELMORA_PLUGINS=" + plugins, "-DVELMORA_SIGN=" + " ".join('"%s"' % a for a in sign)]
        command.append(os.path.join(source, "installer", "velmora.nsi"))
        try:
            r = subprocess.run(command, capture_output=True, text=True)
        except OSError as e:
            raise PackagingError("makensis could not be run (%s; run scripts/setup)" % e)
        if r.returncode != 0:
            if os.path.exists(path + ".tmp"):
                os.remove(path + ".tmp")  # makensis leaves it unsigned
            raise PackagingError("makensis failed:\n%s%s" % (r.stdout, r.stderr))
    os.replace(path + ".tmp", path)


def yaml_text(lines):
    """YAML of (indent, key, value): JSON strings, so "1.3" stays a string."""
    out = []
    for indent, key, value in lines:
        if key.startswith("- ") and value is None:  # an item of a list of strings
            out.append("  " * indent + "- " + json.dumps(key[2:], ensure_ascii=False))
        else:
            out.append("  " * indent + key + ":" + ("" if value is None else " " + json.dumps(value, ensure_ascii=False)))
    return ("\n".join(out) + "\n").encode("utf-8")


def winget_manifests(version, setup, setup_sha256, url, epoch):
    """winget's multi-file manifest, 1.10.0, as {file name: bytes}."""
    head = [(0, "PackageIdentifier", WINGET_ID), (0, "PackageVersion", version)]
    tail = [(0, "ManifestVersion", "1.10.0")]
    schema = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.1.10.0.schema.json\n"
    version_file = head + [(0, "DefaultLocale", "ja-JP"), (0, "ManifestType", "version")] + tail
    # A new version installs over the old one (UpgradeBehavior install).
    installer = head + [
        (0, "InstallerLocale", "ja-JP"),
        (0, "InstallerType", "nullsoft"),
        (0, "Scope", "user"),
        (0, "InstallModes", None), (1, "- interactive", None), (1, "- silent", None),
        (1, "- silentWithProgress", None),
        (0, "InstallerSwitches", None), (1, "Silent", "/S"), (1, "SilentWithProgress", "/S"),
        (1, "InstallLocation", "/D=<INSTALLPATH>"),
        (0, "UpgradeBehavior", "install"),
        (0, "ProductCode", PRODUCT_CODE),
        (0, "ReleaseDate", time.strftime("%Y-%m-%d", time.gmtime(epoch))),
        (0, "AppsAndFeaturesEntries", None),
        (1, "- DisplayName", "velmora"), (2, "Publisher", PUBLISHER), (2, "DisplayVersion", version),
        (2, "ProductCode", PRODUCT_CODE), (2, "InstallerType", "nullsoft"),
        (0, "InstallationMetadata", None),
        (1, "DefaultInstallLocation", "%LOCALAPPDATA%\\Programs\\velmora"),
        (0, "Installers", None),
        (1, "- Architecture", "x86"), (2, "InstallerUrl", url + "/" + setup),
        (2, "InstallerSha256", setup_sha256.upper()),
        (0, "ManifestType", "installer")] + tail
    locale = head + [
        (0, "PackageLocale", "ja-JP"),
        (0, "Publisher", PUBLISHER),
        (0, "PackageName", "velmora"),
        (0, "License", "MIT"),
        (0, "ShortDescription", SUMMARY),
        (0, "Description", "velmora は通知領域に常駐する小さなアラーム時計です。曜日ごとに鳴らすアラームを"
                           "いくつでも登録でき、それぞれに WAV ファイルを選べます。"),
        (0, "Moniker", "velmora"),
        (0, "Tags", None), (1, "- alarm", None), (1, "- clock", None), (1, "- アラーム", None),
        (1, "- 時計", None),
        (0, "ManifestType", "defaultLocale")] + tail
    return {WINGET_ID + ".yaml": (schema % "version").encode() + yaml_text(version_file),
            WINGET_ID + ".installer.yaml": (schema % "installer").encode() + yaml_text(installer),
            WINGET_ID + ".locale.ja-JP.yaml": (schema % "defaultLocale").encode() + yaml_text(locale)}


def scoop_manifest(version, archive, archive_sha256, url):
    """Scoop's manifest of the archive. persist would hard-link file.txt, a
    link velmora's save (a rename) cuts: the scripts copy it out and back."""
    keep = "file.txt*"
    manifest = {
        "version": version,
        "description": SUMMARY,
        "homepage": url,
        "license": "MIT",
        "url": url + "/" + archive,
        "hash": archive_sha256,
        "extract_dir": "velmora-" + version,
        "pre_install": "if (Test-Path \"$persist_dir\\file.txt\") "
                       "{ Copy-Item \"$persist_dir\\%s\" \"$dir\" -Force }" % keep,
        "uninstaller": {"script": "if (Test-Path \"$dir\\file.txt\") "
                                  "{ New-Item -ItemType Directory -Force \"$persist_dir\" | Out-Null; "
                                  "Copy-Item \"$dir\\%s\" -Exclude '*.tmp' \"$persist_dir\" -Force }" % keep},
        "shortcuts": [["velmora.exe", "velmora"]],
        "checkver": {"url": url + "/SHA256SUMS", "regex": "velmora-([\\d.]+)-win32\\.zip"},
        "autoupdate": {"url": url + "/velmora-$version-win32.zip", "extract_dir": "velmora-$version",
                       "hash": {"url": "$baseurl/SHA256SUMS"}},
    }
    return (json.dumps(manifest, ensure_ascii=False, indent=4) + "\n").encode("utf-8")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--exe", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--source", required=True, help="the source tree (LICENSE, docs/readme-ja.txt)")
    ap.add_argument("--boost-objects", required=True,
                    help="the build folder of Boost.Serialization (its object files say what is compiled in)")
    ap.add_argument("--dist")
    ap.add_argument("--setup-only", metavar="SETUP", help="write only the installer, as SETUP")
    ap.add_argument("--target", choices=["x86", "amd64"], default="x86", help="the installer's processor")
    ap.add_argument("--download-url", default="https://example.invalid/velmora",
                    help="the folder the downloads are published in, for the manifests")
    ap.add_argument("--sign-pkcs12", metavar="KEY", help="sign with this PKCS#12 file")
    ap.add_argument("--sign-password-file", metavar="FILE", help="the key's password, in this file")
    ap.add_argument("--sign-timestamp-url", metavar="URL", help="an RFC 3161 time-stamp server")
    ap.add_argument("--attach", metavar="SIGNATURES", help="attach these detached signatures instead")
    args = ap.parse_args()
    if (args.dist is None) == (args.setup_only is None):
        ap.error("give either --dist or --setup-only")
    if args.sign_pkcs12 and args.attach:
        ap.error("give either a key or signatures to attach")

    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if args.dist and not epoch.isdigit():
        raise PackagingError("SOURCE_DATE_EPOCH must be set to the time of the last commit")

    def read(rel):
        with open(os.path.join(args.source, rel), encoding="utf-8") as f:
            return f.read()

    folder = "velmora-" + args.version
    texts = [
        ("README-ja.txt", windows_text(read("docs/readme-ja.txt"), bom=True)),
        ("LICENSE.txt", windows_text(read("LICENSE"))),
        ("THIRD-PARTY-NOTICES.txt", windows_text("\n".join(notices(args.version, boost_units(args.boost_objects))))),
    ]
    if args.setup_only:
        write_setup(args.setup_only, args.source, args.version, args.exe, texts, args.target)
        return
    os.makedirs(args.dist, exist_ok=True)
    signer = None
    if args.sign_pkcs12 or args.attach:
        signer = Signer("sign" if args.sign_pkcs12 else "attach", os.path.abspath(os.path.join(args.dist, "signatures")),
                        int(epoch), pkcs12=args.sign_pkcs12 and os.path.abspath(args.sign_pkcs12),
                        password_file=args.sign_password_file and os.path.abspath(args.sign_password_file),
                        timestamp_url=args.sign_timestamp_url, attach=args.attach and os.path.abspath(args.attach))
        signer.check()
    archive = folder + "-win32.zip"
    setup = "velmora-%s-setup.exe" % args.version
    with tempfile.TemporaryDirectory() as work:
        exe_path = args.exe
        if signer:
            exe_path = os.path.join(work, "velmora.exe")
            shutil.copyfile(args.exe, exe_path)
            signer.sign(exe_path, "velmora.exe")
        with open(exe_path, "rb") as f:
            exe = f.read()
        write_zip(os.path.join(args.dist, archive), folder, [("velmora.exe", exe)] + texts, int(epoch))
        write_setup(os.path.join(args.dist, setup), args.source, args.version, exe_path, texts, args.target, signer)
    write(os.path.join(args.dist, "velmora.exe"), exe)
    digests = {}
    for name in sorted([archive, setup, "velmora.exe"]):
        with open(os.path.join(args.dist, name), "rb") as f:
            digests[name] = hashlib.sha256(f.read()).hexdigest()
    sums = "".join("%s  %s\n" % (digests[name], name) for name in sorted(digests))
    write(os.path.join(args.dist, "SHA256SUMS"), sums.encode("ascii"))
    url = args.download_url.rstrip("/")
    for sub, files in (("winget", winget_manifests(args.version, setup, digests[setup], url, int(epoch))),
                       ("scoop", {"velmora.json": scoop_manifest(args.version, archive, digests[archive], url)})):
        os.makedirs(os.path.join(args.dist, sub), exist_ok=True)
        for name, data in files.items():
            write(os.path.join(args.dist, sub, name), data)
    print(sums, end="")


if __name__ == "__main__":
    try:
        main()
    except (PackagingError, SigningError) as e:
        sys.exit("package: %s" % e)
