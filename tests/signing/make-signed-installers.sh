#!/usr/bin/env bash
# Makes the installers the signature tests run: the stand-in installer signed
# under a throwaway certificate authority by the publisher the test launcher
# pins, the same signed by another publisher, the same altered after
# signing, and unsigned. No network, no time stamp.
#   make-signed-installers.sh BUILD_DIR
# Writes BUILD_DIR/signed-installers/{pinned,other,altered,unsigned}.exe.
# Exits 77 (skipped) when osslsigncode or openssl is missing.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$build/signed-installers

for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
rm -rf "$out"
mkdir -p "$out/keys"
cd "$out/keys"

run() { "$@" >>openssl.log 2>&1 || { cat openssl.log; echo "failed: $*" >&2; exit 1; }; }

run openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Zelqa Test Root" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  -keyout root.key -out root.pem
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
  >leaf.ext

# sign NAME COMMON_NAME: a certificate for COMMON_NAME under the root, and
# the stand-in installer signed with it as NAME.exe.
sign() {
  local name=$1 common_name=$2
  run openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=$common_name" \
    -keyout "$name.key" -out "$name.csr"
  run openssl x509 -req -in "$name.csr" -CA root.pem -CAkey root.key -CAcreateserial -days 2 \
    -sha256 -extfile leaf.ext -out "$name.pem"
  cat "$name.pem" root.pem >"$name-chain.pem"
  run osslsigncode sign -certs "$name-chain.pem" -key "$name.key" -h sha256 \
    -n "Zelqa anticheat installer (test)" -in "$build/ZelqaAntiCheat.Installer.exe" \
    -out "$out/$name.exe"
}

sign pinned "Zelqa Test Publisher"
sign other "Other Publisher"
cp "$build/ZelqaAntiCheat.Installer.exe" "$out/unsigned.exe"
# One byte of the code changed after signing: the digest no longer matches.
cp "$out/pinned.exe" "$out/altered.exe"
byte=$(od -An -tu1 -j4096 -N1 "$out/altered.exe" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 255)))" | dd of="$out/altered.exe" bs=1 seek=4096 conv=notrunc status=none
run osslsigncode verify -CAfile root.pem -in "$out/pinned.exe"
echo "signed installers in $out"
