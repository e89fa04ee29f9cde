#!/usr/bin/python3
"""Authenticode (osslsigncode, SHA-256) for the release: signs a file in
place with the publisher's key, or attaches a detached signature made earlier
(scripts/release --attach), and keeps its signature as NAME.pem. package.py
signs velmora.exe and the plug-ins; makensis the uninstaller and the
installer, as `signing.py CONFIG FILE NAME` (CONFIG: Signer.save's JSON).
The signing time is SOURCE_DATE_EPOCH: one key, one result.
"""

import json
import os
import re
import subprocess
import sys

TOOL = "osslsigncode"
TOOL_VERSION = "2.5"  # another version signs with other bytes
DESCRIPTION = "velmora"


class SigningError(Exception):
    pass


def tool_version():
    try:
        r = subprocess.run([TOOL, "--version"], capture_output=True, text=True)
    except OSError:
        return None
    m = re.match(r"osslsigncode (\S+),", r.stdout)
    return m.group(1) if m else None


class Signer:
    """mode "sign" with pkcs12, or "attach" from the folder attach; the
    detached signatures go into the folder out."""

    def __init__(self, mode, out, time, pkcs12=None, password_file=None, timestamp_url=None, attach=None):
        self.mode, self.out, self.time = mode, out, time
        self.pkcs12, self.password_file, self.timestamp_url, self.attach = pkcs12, password_file, timestamp_url, attach

    def check(self):
        version = tool_version()
        if version != TOOL_VERSION:
            raise SigningError("%s %s is needed, found %s (run scripts/setup)" % (TOOL, TOOL_VERSION, version))
        for what, path in (("key", self.pkcs12), ("password file", self.password_file)):
            if path and not os.path.isfile(path):
                raise SigningError("the %s %s is not a file" % (what, path))
        if self.mode == "attach" and not os.path.isdir(self.attach):
            raise SigningError("%s is not a folder of signatures" % self.attach)
        os.makedirs(self.out, exist_ok=True)

    def save(self, path):
        with open(path, "w", encoding="utf-8") as f:
            json.dump(vars(self), f)

    @staticmethod
    def load(path):
        with open(path, encoding="utf-8") as f:
            return Signer(**json.load(f))

    def sign(self, path, name):
        """Signs the file path in place, or attaches name's signature to it."""
        done = path + ".signed"
        pem = os.path.join(self.out, name + ".pem")
        for old in (done, pem):
            if os.path.exists(old):
                os.remove(old)  # osslsigncode writes no file that exists
        try:
            if self.mode == "sign":
                command = [TOOL, "sign", "-pkcs12", self.pkcs12, "-h", "sha256", "-n", DESCRIPTION,
                           "-time", str(self.time)]
                if self.password_file:
                    command += ["-readpass", self.password_file]  # never the password itself
                if self.timestamp_url:
                    command += ["-ts", self.timestamp_url]
                r = subprocess.run(command + ["-in", path, "-out", done], capture_output=True, text=True)
                if r.returncode != 0 or not os.path.isfile(done):
                    raise SigningError("signing %s failed:\n%s%s" % (name, r.stdout, r.stderr))
            else:
                given = os.path.join(self.attach, name + ".pem")
                if not os.path.isfile(given):
                    raise SigningError("there is no signature %s.pem in %s" % (name, self.attach))
                r = subprocess.run([TOOL, "attach-signature", "-sigin", given, "-in", path, "-out", done],
                                   capture_output=True, text=True)
                # It verifies what it attached, and fails for want of a
                # trusted root too: what counts is the digest the signature
                # holds against the one of the file built here.
                lines = re.findall(r"^(Current|Calculated) message digest\s*:\s*([0-9A-F]+)", r.stdout, re.M)
                if not os.path.isfile(done) or len(lines) != 2 or lines[0][1] != lines[1][1]:
                    found = "".join("\n  %s: %s" % line for line in lines) or "\n" + r.stdout + r.stderr
                    raise SigningError("the signature %s.pem does not fit %s as built here (its digest, then the "
                                       "file's):%s" % (name, name, found))
            r = subprocess.run([TOOL, "extract-signature", "-pem", "-in", done, "-out", pem],
                               capture_output=True, text=True)
            if r.returncode != 0:
                raise SigningError("the signature of %s could not be extracted:\n%s%s" % (name, r.stdout, r.stderr))
            os.replace(done, path)
        finally:
            if os.path.exists(done):
                os.remove(done)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    config, path, name = sys.argv[1:]
    try:
        Signer.load(config).sign(path, name)
    except SigningError as e:
        sys.exit("signing: %s" % e)


if __name__ == "__main__":
    main()
