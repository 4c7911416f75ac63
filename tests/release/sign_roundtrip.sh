#!/usr/bin/env bash
# Signs a copy of the built launcher through scripts/sign.sh with a
# throwaway self-signed code-signing certificate (no time stamp, no
# network), checks that the password stays off osslsigncode's command line,
# verifies the signature, checks that a changed byte breaks it and that a
# wrong password signs nothing, and runs the signed copy under Wine.
#   sign_roundtrip.sh SOURCE_DIR BUILD_DIR WORK_DIR
# Exits 77 (skipped) when osslsigncode or openssl is missing.
set -euo pipefail
source_dir=$1 build=$2 work=$3

for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done

rm -rf "$work"
mkdir -p "$work"
cd "$work"
export ZELQA_SIGN_PASSWORD='throwaway pass phrase'
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=Zelqa Launcher Test Signing" \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem \
  -passout env:ZELQA_SIGN_PASSWORD 2>openssl.log || { cat openssl.log; exit 1; }

# osslsigncode's arguments are recorded: the password must never be among them.
mkdir bin && printf '#!/bin/sh\necho "$*" >>%q\nexec %q "$@"\n' "$work/arguments.log" \
  "$(command -v osslsigncode)" >bin/osslsigncode && chmod +x bin/osslsigncode && PATH=$work/bin:$PATH

cp "$build/Launcher.exe" Launcher.exe
"$source_dir/scripts/sign.sh" -c cert.pem -k key.pem -C cert.pem Launcher.exe >sign.log 2>&1 ||
  { cat sign.log; echo "signing failed"; exit 1; }
status=0
grep -q "^warning: no time stamp" sign.log || { echo "sign.sh signed without a time stamp and no warning"; status=1; }
grep -qF "$ZELQA_SIGN_PASSWORD" arguments.log && { echo "the password was on a command line"; status=1; }
cmp -s Launcher.exe "$build/Launcher.exe" && { echo "sign.sh left the file unsigned"; status=1; }
osslsigncode verify -CAfile cert.pem -in Launcher.exe >verify.log 2>&1 ||
  { cat verify.log; echo "the signed launcher does not verify"; status=1; }

# One changed byte in the code must break the signature: the byte there,
# whatever it is, with every bit flipped.
cp Launcher.exe Tampered.exe
byte=$(od -An -tu1 -j4096 -N1 Tampered.exe | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 255)))" | dd of=Tampered.exe bs=1 seek=4096 conv=notrunc status=none
if osslsigncode verify -CAfile cert.pem -in Tampered.exe >tampered.log 2>&1; then
  echo "a changed launcher still verifies"
  status=1
fi

# A wrong password fails and leaves the file as it was.
cp "$build/Launcher.exe" Unsigned.exe
if ZELQA_SIGN_PASSWORD=wrong "$source_dir/scripts/sign.sh" -c cert.pem -k key.pem -C cert.pem \
  Unsigned.exe >wrong.log 2>&1; then
  echo "sign.sh reported success with a wrong password"
  status=1
fi
cmp -s Unsigned.exe "$build/Launcher.exe" || { echo "a failed signing changed the file"; status=1; }
ls Unsigned.exe.signing.* >/dev/null 2>&1 && { echo "a failed signing left a temporary file"; status=1; }

# The signed image still loads and runs: without arguments the launcher
# reports a usage error, 160.
set +e
"$build/wine-run" "$work/Launcher.exe" </dev/null >run.log 2>&1
code=$?
set -e
[ $code -eq 160 ] || { cat run.log; echo "signed launcher exited with $code, not 160"; status=1; }

[ $status -ne 0 ] || echo "signed, verified and ran the signed launcher"
exit $status
