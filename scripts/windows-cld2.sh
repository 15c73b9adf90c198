#!/usr/bin/env bash
# Cross-builds CLD2, the language identifier the engine links, as a static library for Windows
# from Debian 12's source package.
#
#   scripts/windows-cld2.sh x86_64|i686
#
# Kept apart from scripts/windows-deps.sh so that its recipe keys only this build. Like that one,
# the prefix lands outside the clone, as ROOT/cld2-ARCH-HASH where ROOT is $QUIRECAST_WINDEPS_ROOT
# (default /var/cache/quirecast/windows-deps) and HASH keys this script; ROOT/cld2-ARCH links to
# it, and a stamp written last marks it complete.
set -euo pipefail

Arch=${1:-}
case "$Arch" in
  x86_64 | i686) ;;
  *) echo "usage: $0 x86_64|i686" >&2; exit 2 ;;
esac
Here=$(cd "$(dirname "$0")" && pwd)
Root=${QUIRECAST_WINDEPS_ROOT:-/var/cache/quirecast/windows-deps}
Hash=$(sha256sum "$Here/windows-cld2.sh" | cut -c1-16)
Prefix=$Root/cld2-$Arch-$Hash
Work=$Root/work/cld2-$Arch-$Hash

Link() { ln -sfn "cld2-$Arch-$Hash" "$Root/cld2-$Arch"; }

if [[ -f $Prefix/.complete ]]; then
  Link
  echo "windows-cld2 $Arch: up to date in $Prefix"
  exit 0
fi

# The source package, pinned with the checksum of its upstream tarball. The archive does not serve
# this version's packaging diff, so apt-get fails after fetching the tarball, which is all we take:
# Debian's changes only add its own build files.
Version=0.0.0-git20150806-9
Orig=$Root/sources/cld2_0.0.0-git20150806.orig.tar.gz
OrigSha256=00c69f6901a09f930a0065a15bbc85891edb57a6a05ce8078a4837fd4ee7bf16
if ! echo "$OrigSha256  $Orig" | sha256sum --check --status 2>/dev/null; then
  Sudo=""
  [[ $(id -u) -eq 0 ]] || Sudo=sudo
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
    echo "windows-cld2: adding Debian 12's source packages to apt's sources"
    # The same file scripts/windows-deps.sh writes, security updates included: that script adds
    # none where it finds one.
    for Suite in "debian bookworm" "debian-security bookworm-security"; do
      printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/${Suite% *}" "Suites: ${Suite#* }" \
        "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" ""
    done | sed '$d' | $Sudo tee /etc/apt/sources.list.d/quirecast-deb-src.sources >/dev/null
    $Sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  fi
  mkdir -p "$Root/sources"
  (cd "$Root/sources" && apt-get source -qq --download-only -o APT::Sandbox::User=root "cld2=$Version" || true)
  echo "$OrigSha256  $Orig" | sha256sum --check --status ||
    { echo "windows-cld2: cld2's source did not download" >&2; exit 1; }
fi

rm -rf "$Work" "$Prefix"
mkdir -p "$Work" "$Prefix/lib" "$Prefix/include/cld2" "$Prefix/share/licenses/cld2"
tar xzf "$Orig" -C "$Work" --strip-components=1 --wildcards '*/internal/*' '*/public/*' '*/LICENSE'

# The library Debian ships as libcld2: the code and the smaller tables (83 languages), as the
# project's internal/compile_libs.sh lists them.
Sources=(cldutil cldutil_shared compact_lang_det compact_lang_det_hint_code compact_lang_det_impl debug
  fixunicodevalue generated_entities generated_language generated_ulscript getonescriptspan lang_script
  offsetmap scoreonescriptspan tote utf8statetable cld_generated_cjk_uni_prop_80 cld2_generated_cjk_compatible
  cld_generated_cjk_delta_bi_4 generated_distinct_bi_0 cld2_generated_quadchrome_2
  cld2_generated_deltaoctachrome cld2_generated_distinctoctachrome cld_generated_score_quad_octa_2)
Compiler=$Arch-w64-mingw32-g++-posix
printf '%s\n' "${Sources[@]}" |
  (cd "$Work/internal" && xargs -P "${QUIRECAST_WINDEPS_JOBS:-2}" -I{} "$Compiler" -O2 -w -c {}.cc -o {}.o)
(cd "$Work/internal" && "$Arch-w64-mingw32-ar" rcs "$Prefix/lib/libcld2.a" "${Sources[@]/%/.o}")
cp -r "$Work/public" "$Work/internal" "$Prefix/include/cld2/"
find "$Prefix/include/cld2" -type f ! -name '*.h' -delete
cp "$Work/LICENSE" "$Prefix/share/licenses/cld2/"
rm -rf "$Work"
touch "$Prefix/.complete"
Link
echo "windows-cld2 $Arch: built in $Prefix"
