#!/usr/bin/env bash
# The signed release, with a throwaway CA and code-signing key that openssl
# makes here (nothing of them outlives the test), in a copy of the sources:
# - signed, then signed again in another folder, zone and umask (scripts/release
#   --check with the key): the same bytes; every program in dist/ and in the
#   installer accepted by `osslsigncode verify -CAfile`; the password in no output;
# - scripts/release --attach with no key: the same files, SHA256SUMS included;
# - a detached signature that does not fit: refused by its name, no release left;
# - where Wine runs the 32-bit installer: the uninstaller and velmora.exe it
#   writes, accepted too.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-signed.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$here/tests/check.sh"

keys=$work/keys
mkdir "$keys"
{
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/ca.key" -out "$keys/ca.pem" -days 2 \
    -subj "/CN=velmora test CA" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign &&
  openssl req -newkey rsa:2048 -nodes -keyout "$keys/signer.key" -out "$keys/signer.csr" -subj "/CN=velmora test signer" &&
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$keys/ext" &&
  openssl x509 -req -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" -CAcreateserial -days 2 \
    -extfile "$keys/ext" -out "$keys/signer.pem" &&
  head -c 18 /dev/urandom | base64 >"$keys/password" &&
  openssl pkcs12 -export -inkey "$keys/signer.key" -in "$keys/signer.pem" -certfile "$keys/ca.pem" \
    -passout "file:$keys/password" -out "$keys/signer.p12"
} >"$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; echo "FAILED: making the test key"; exit 1; }

# The clone's own dist/ and build/release belong to the unsigned check that
# scripts/test runs meanwhile. The copy's time is the clone's last commit's,
# and --check lists its files with git.
src=$work/src
mkdir "$src"
(cd "$here" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done | tar --null -T - -cf -) | tar -xf - -C "$src"
mkdir "$src/third_party" && cp -r "$here/third_party/boost-serialization-src" "$src/third_party/"
git -C "$src" init -q
SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct) && export SOURCE_DATE_EPOCH
version=$(sed -n 's/^#define VELMORA_VERSION "\([0-9.]*\)"$/\1/p' "$src/res/version.h")
release() { (cd "$src" && scripts/release "$@") >"$work/release.log" 2>&1; }

VELMORA_SIGN_PKCS12=$keys/signer.p12 VELMORA_SIGN_PASSWORD_FILE=$keys/password release --check
check "signed twice, the same bytes (scripts/release --check with the key)" [ $? -eq 0 ]
grep '^release: ' "$work/release.log" | grep -v ': the same$'
check "the password is in no output" eval '! grep -qF "$(cat "$keys/password")" "$work/release.log"'
/usr/bin/python3 "$here/tests/release/check_release.py" --ca "$keys/ca.pem" "$src/dist" "$version" "$src" \
  "$src/build/release" | tail -n 3
check "every program of the release and of its installer signed and accepted (osslsigncode verify -CAfile)" \
  [ "${PIPESTATUS[0]}" -eq 0 ]
cp -r "$src/dist" "$work/signed"

release --attach "$work/signed/signatures"
check "--attach without the key: the signed release again" diff -r "$work/signed" "$src/dist"

cp -r "$work/signed/signatures" "$work/wrong"
cp "$work/wrong/velmora.exe.pem" "$work/wrong/uninstall.exe.pem"
release --attach "$work/wrong"
check "--attach refuses the uninstaller's signature that does not fit, by name" \
  grep -q "the signature uninstall.exe.pem does not fit" "$work/release.log"
check "and leaves no release behind" [ ! -e "$src/dist" ]

if [ "$("$here/scripts/windows-tests-build")" = build/mingw ]; then
  app=$work/installed
  VELMORA_WINEPREFIX=$here/build/mingw/wineprefix timeout 300 "$here/scripts/wine-isolated" \
    "$work/signed/velmora-$version-setup.exe" /S "/D=Z:${app//\//\\}" >"$work/wine.log" 2>&1
  check "the signed installer installs under Wine" [ $? -eq 0 ]
  for f in uninstall.exe velmora.exe; do
    check "the installed $f accepted (osslsigncode verify -CAfile)" \
      eval 'osslsigncode verify -CAfile "$keys/ca.pem" -in "$app/$f" >/dev/null 2>&1'
  done
else
  echo "note: Wine runs no 32-bit program here: the uninstaller was checked inside the installer alone"
fi

echo "signed release: $failures failed"
[ "$failures" -eq 0 ]
