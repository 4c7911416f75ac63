#!/usr/bin/env bash
# Authenticode-signs the launcher with the studio's code-signing certificate
# and verifies the signature afterwards.
#
#   scripts/sign.sh (-p CERT.p12 | -c CERT.pem -k KEY.pem) [-t TIMESTAMP_URL]
#                   [-n DESCRIPTION] [-u URL] [-C CA_FILE] [FILE]
#
#   -p  PKCS#12 file holding the certificate, its chain and the private key
#   -c  certificate (and chain) in PEM or DER; -k its private key
#   -t  RFC 3161 time-stamp server; repeat for fall-backs. Without one the
#       signature stops being valid when the certificate expires.
#   -n  description shown in the UAC prompt (default "Zelqa anticheat launcher")
#   -u  URL shown with the description
#   -C  CA certificates to verify against instead of the system's (for a
#       private or test root)
#   FILE defaults to dist/Launcher.exe; it is replaced by the signed copy
#   only when signing succeeded.
#
# The password of the key or the PKCS#12 file comes from the environment
# variable ZELQA_SIGN_PASSWORD and goes to osslsigncode on its standard input,
# so it shows neither in the process list nor in build logs. It is named as
# the file /dev/stdin, which osslsigncode 2.5 (Debian 12) opens as any
# password file; `-readpass -` for standard input came only with 2.9.
set -euo pipefail

usage() {
  sed -n '5,6p' "$0" | sed 's/^#  */usage: /' >&2
  exit 2
}

source_dir=$(cd "$(dirname "$0")/.." && pwd)
pkcs12='' cert='' key='' ca_file='' url=''
description='Zelqa anticheat launcher'
timestamp_servers=()
while getopts "p:c:k:t:n:u:C:h" option; do
  case $option in
    p) pkcs12=$OPTARG ;;
    c) cert=$OPTARG ;;
    k) key=$OPTARG ;;
    t) timestamp_servers+=("$OPTARG") ;;
    n) description=$OPTARG ;;
    u) url=$OPTARG ;;
    C) ca_file=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage
file=${1:-$source_dir/dist/Launcher.exe}

if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || { echo "give either -p or -c with -k, not both" >&2; exit 2; }
  signer=(-pkcs12 "$pkcs12")
elif [ -n "$cert" ] && [ -n "$key" ]; then
  signer=(-certs "$cert" -key "$key")
else
  usage
fi
[ -f "$file" ] || { echo "nothing to sign: $file not found" >&2; exit 1; }
command -v osslsigncode >/dev/null || { echo "osslsigncode is not installed" >&2; exit 1; }
[ ${#timestamp_servers[@]} -gt 0 ] || echo "warning: no time stamp (-t): the signature stops being" \
  "valid when the certificate expires; always time-stamp a release" >&2

options=(-h sha256 -n "$description")
[ -z "$url" ] || options+=(-i "$url")
for server in "${timestamp_servers[@]}"; do
  options+=(-ts "$server")
done

signed=$(mktemp "$file.signing.XXXXXX")
trap 'rm -f "$signed"' EXIT
# osslsigncode refuses to overwrite its output.
rm -f "$signed"
if [ -n "${ZELQA_SIGN_PASSWORD+set}" ]; then
  printf '%s' "$ZELQA_SIGN_PASSWORD" |
    osslsigncode sign "${signer[@]}" -readpass /dev/stdin "${options[@]}" -in "$file" -out "$signed"
else
  osslsigncode sign "${signer[@]}" "${options[@]}" -in "$file" -out "$signed" </dev/null
fi

verify=(-in "$signed")
[ -z "$ca_file" ] || verify+=(-CAfile "$ca_file")
osslsigncode verify "${verify[@]}"
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
trap - EXIT
echo "signed and verified: $file"
