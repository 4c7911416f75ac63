#!/usr/bin/env bash
# Takes pictures of the install question for the documentation from a built
# tree under Wine.
#   scripts/screenshot-prompt.sh [BUILD_DIR] [OUTPUT_DIR]
#     once in English and once for an Arabic user: install-question-en.png
#     and install-question-ar.png
#   scripts/screenshot-prompt.sh --all-languages [BUILD_DIR] [OUTPUT_DIR]
#     once in every language of the string table, each checked to show that
#     language's own text, put together in one labelled grid: questions.png
# BUILD_DIR defaults to build/mingw, OUTPUT_DIR to docs/. Needs Wine, Xvfb,
# ImageMagick (import, montage), fontconfig (fc-list, fc-match) and the
# locales package (each language's locale, such as ar_SA.UTF-8, is created
# when missing, which takes root).
# Every language also needs a font with its letters; the script names the
# Debian package of any that is missing. Uses a private Wine prefix and
# display, removed at the end; the test session of the build tree is left
# alone.
set -Eeuo pipefail
trap 'echo "$0: line $LINENO failed: $BASH_COMMAND" >&2' ERR

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
all_languages=false
if [ "${1:-}" = --all-languages ]; then
  all_languages=true
  shift
fi
build=$(cd "${1:-$root/build/mingw}" && pwd)
output=${2:-$root/docs}
mkdir -p "$output"
output=$(cd "$output" && pwd)

# Every block of resources/strings.rc: its language id, a Linux locale whose
# Windows display language chooses that block (a neutral block is chosen
# through one of its regions; "@latin" and "@cyrillic" pick the script
# where Wine needs it), the language's name for the label, and a font with
# its letters.
languages=(
  "0x0001 ar_SA Arabic"
  "0x0003 ca_ES Catalan"
  "0x0004 zh_CN Chinese (Simplified)|Noto Sans CJK SC"
  "0x0006 da_DK Danish"
  "0x0007 de_AT German (neutral)"
  "0x0009 C English"
  "0x000A es_MX Spanish"
  "0x000B fi_FI Finnish"
  "0x000C fr_CA French (neutral)"
  "0x000D he_IL Hebrew"
  "0x000F is_IS Icelandic"
  "0x0010 it_CH Italian (neutral)"
  "0x0013 nl_NL Dutch"
  "0x0014 nb_NO Norwegian (Bokmål)"
  "0x0016 pt_BR Portuguese (Brazil)"
  "0x0019 ru_UA Russian (neutral)"
  "0x001B sk_SK Slovak"
  "0x001D sv_SE Swedish"
  "0x0020 ur_PK Urdu|FreeSerif"
  "0x0023 be_BY Belarusian"
  "0x0024 sl_SI Slovenian"
  "0x0025 et_EE Estonian"
  "0x0026 lv_LV Latvian"
  "0x0027 lt_LT Lithuanian"
  "0x0029 fa_IR Persian"
  "0x002B hy_AM Armenian"
  "0x002C az_AZ@latin Azerbaijani"
  "0x002D eu_ES Basque"
  "0x0037 ka_GE Georgian"
  "0x0039 hi_IN Hindi|Noto Sans Devanagari"
  "0x003E ms_MY Malay"
  "0x003F kk_KZ Kazakh"
  "0x0045 bn_BD Bengali|Noto Sans Bengali"
  "0x0056 gl_ES Galician"
  "0x0064 fil_PH Filipino"
  "0x0402 bg_BG Bulgarian"
  "0x0404 zh_TW Chinese (Taiwan)|Noto Sans CJK TC"
  "0x0405 cs_CZ Czech"
  "0x0407 de_DE German"
  "0x0408 el_GR Greek"
  "0x040C fr_FR French (France)"
  "0x040E hu_HU Hungarian"
  "0x0410 it_IT Italian"
  "0x0411 ja_JP Japanese|Noto Sans CJK JP"
  "0x0412 ko_KR Korean|Noto Sans CJK KR"
  "0x0415 pl_PL Polish"
  "0x0418 ro_RO Romanian"
  "0x0419 ru_RU Russian"
  "0x041A hr_HR Croatian"
  "0x041E th_TH Thai|Loma"
  "0x041F tr_TR Turkish"
  "0x0421 id_ID Indonesian"
  "0x0422 uk_UA Ukrainian"
  "0x042A vi_VN Vietnamese"
  "0x0814 nn_NO Norwegian (Nynorsk)"
  "0x0816 pt_PT Portuguese (Portugal)"
  "0x0C04 zh_HK Chinese (Hong Kong)|Noto Sans CJK HK"
  "0x0C0A es_ES Spanish (Spain)"
  "0x141A bs_BA@latin Bosnian (Latin)"
  "0x241A sr_RS@latin Serbian (Latin)"
  "0x281A sr_RS@cyrillic Serbian (Cyrillic)"
)
default_font="DejaVu Sans"

# The font an entry of the list asks for.
entry_font() {
  if [[ $1 == *"|"* ]]; then echo "${1#*|}"; else echo "$default_font"; fi
}

# The Debian package that brings a font.
font_package() {
  case $1 in
    "Noto Sans CJK"*) echo fonts-noto-cjk ;;
    "Noto Sans"*) echo fonts-noto-core ;;
    Loma) echo fonts-tlwg-loma-otf ;;
    FreeSerif) echo fonts-freefont-ttf ;;
    *) echo fonts-dejavu-core ;;
  esac
}

for program in Launcher.exe ZelqaAntiCheat.Installer.exe msgbox_answerer.exe; do
  [ -f "$build/$program" ] || { echo "$build/$program is missing: build first" >&2; exit 1; }
done
tools=(wine Xvfb import fc-list fc-match)
$all_languages && tools+=(montage)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

# A list entry's locale with its character set: sr_RS@latin is
# sr_RS.UTF-8@latin.
full_locale() {
  if [[ $1 == *@* ]]; then echo "${1%@*}.UTF-8@${1#*@}"; else echo "$1.UTF-8"; fi
}

# The locale must exist for Wine to take the user language from it. A
# script modifier glibc has no source for (sr_RS@cyrillic: its sr_RS is
# Cyrillic) is made from the plain locale.
ensure_locale() {
  local name source=$1
  [ "$1" = C ] && return
  name=$(full_locale "$1")
  [ "$(LC_ALL=$name locale charmap 2>/dev/null)" = UTF-8 ] && return
  [ -f "/usr/share/i18n/locales/$source" ] || source=${source%@*}
  localedef -i "$source" -f UTF-8 "$name" >/dev/null 2>&1 || {
    echo "could not create the $name locale (as root, with the Debian package locales)" >&2
    exit 1
  }
}

if $all_languages; then
  # The script's list must match the string table, block for block.
  table_ids=$(sed -n 's|^// \(0x[0-9A-F]\{4\}\) .*|\1|p' "$root/resources/strings.rc" | sort)
  listed_ids=$(for entry in "${languages[@]}"; do echo "${entry%% *}"; done | sort)
  if [ "$table_ids" != "$listed_ids" ]; then
    echo "resources/strings.rc and this script's list of languages differ:" >&2
    diff <(echo "$listed_ids") <(echo "$table_ids") >&2 || true
    exit 1
  fi
  missing=()
  for entry in "${languages[@]}"; do
    font=$(entry_font "$entry")
    fc-list "$font" family | grep -q . || missing+=("$(font_package "$font")")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "fonts for the pictures are missing: apt-get install" \
      "$(printf '%s\n' "${missing[@]}" | sort -u | paste -sd ' ')" >&2
    exit 1
  fi
  for entry in "${languages[@]}"; do
    locale=${entry#* }
    ensure_locale "${locale%% *}"
  done
fi

# The session script sets up a prefix, a display and the Arabic locale in
# whatever folder it is given; a scratch folder keeps them private.
session=$(mktemp -d "${TMPDIR:-/tmp}/zelqa-screenshot.XXXXXX")
cleanup() {
  "$root/tests/wine-session.sh" cleanup "$session" >/dev/null 2>&1 || true
  rm -rf "$session"
}
trap cleanup EXIT
"$root/tests/wine-session.sh" setup "$session" >/dev/null
export WINEPREFIX=$session/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
DISPLAY=":$(cat "$session/wine-session/display")"
export DISPLAY

# Wine's own dialog fonts have no Arabic, Thai or CJK letters: a system font
# that has stands in for them. A font without Latin letters, for the name
# "Zelqa anticheat", is linked behind the default font instead, which
# lends it the letters it lacks. Each program reads this when it starts.
current_font=
use_font() {
  local face=$1 link=
  [ "$1" = "$current_font" ] && return
  if ! fc-list "$1:charset=41" family | grep -q .; then
    face=$default_font
    link="$(basename "$(fc-match -f '%{file}' "$1")"),$1"
  fi
  for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif" "Microsoft Sans Serif"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "$face" /f \
      </dev/null >/dev/null 2>&1
  done
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$default_font" /t REG_MULTI_SZ /d "$link" /f </dev/null >/dev/null 2>&1
  current_font=$1
}
use_font "$default_font"

demo=$session/demo
mkdir -p "$demo"
cp "$build/Launcher.exe" "$build/ZelqaAntiCheat.Installer.exe" "$build/msgbox_answerer.exe" "$demo/"
caption="Zelqa anticheat"

# shoot FILE LOCALE [EXPECTED]: shows the question under LOCALE, photographs
# the box with its frame and answers No. With EXPECTED, the box must show
# exactly that text.
shoot() {
  local file=$1 locale=$2 expected=${3:-} launcher shown geometry text
  (
    cd "$demo"
    # Answered No, the launcher ends with 1223.
    LANG=$locale LC_ALL=$locale wine Launcher.exe install -title Demo -prompt \
      </dev/null >/dev/null 2>&1 || true
  ) &
  launcher=$!
  shown=$(cd "$demo" && wine msgbox_answerer.exe "$caption" none 60000 </dev/null 2>/dev/null |
    tr -d '\r') || true
  geometry=$(sed -n 's/^rect: //p' <<<"$shown")
  if [ -z "$geometry" ]; then
    echo "the question did not show ($locale)" >&2
    kill "$launcher" 2>/dev/null || true
    exit 1
  fi
  read -r left top width height <<<"$geometry"
  # Let the box finish painting before it is photographed.
  sleep 1
  import -window root -crop "${width}x${height}+${left}+${top}" +repage "$file"
  (cd "$demo" && wine msgbox_answerer.exe "$caption" no 10000 </dev/null >/dev/null 2>&1)
  wait "$launcher"
  text=$(sed -n -e 's/^text: //p' <<<"$shown")
  if [ -n "$expected" ] && [ "$text" != "$expected" ]; then
    echo "under $locale the question read \"$text\" instead of \"$expected\"" >&2
    exit 1
  fi
  echo "$file (${width}x${height})"
}

# The install question of the block for language ID in strings.rc, with RC's
# doubled quotes undone.
table_question() {
  awk -v id="$1" '
    /^\/\/ 0x/ { here = ($2 == id) }
    here && $1 == "IDS_INSTALL_PROMPT" {
      sub(/^[^"]*"/, ""); sub(/"[ \t]*$/, ""); gsub(/""/, "\""); print; exit
    }' "$root/resources/strings.rc"
}

if ! $all_languages; then
  shoot "$output/install-question-en.png" C.UTF-8
  shoot "$output/install-question-ar.png" ar_SA.UTF-8
  exit 0
fi

tiles=$session/tiles
mkdir -p "$tiles"
montage_arguments=()
for entry in "${languages[@]}"; do
  read -r id locale name <<<"${entry%%|*}"
  use_font "$(entry_font "$entry")"
  shoot "$tiles/$id.png" "$(full_locale "$locale")" "$(table_question "$id")"
  montage_arguments+=(-label "$id $name" "$tiles/$id.png")
done
montage -font DejaVu-Sans -pointsize 13 -background '#d8d8d8' -tile 4x -geometry +6+6 \
  "${montage_arguments[@]}" "$output/questions.png"
echo "$output/questions.png (${#languages[@]} languages)"
