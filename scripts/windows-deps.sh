#!/usr/bin/env bash
# Cross-builds the Windows engine's static libraries (poppler, cairo, GLib...) from Debian 12's sources.
#
#   scripts/windows-deps.sh x86_64|i686
#
# The prefix lands outside the clone, in $QUIRECAST_WINDEPS_ROOT (default
# /var/cache/quirecast/windows-deps), as ARCH-HASH where HASH keys the recipe: this script and the
# files under scripts/windows-deps/. ROOT/ARCH links to the prefix of the current recipe. A complete
# prefix carries a stamp written last; with it, the script returns at once. An interrupted build
# resumes at the first package without a stamp. Logs: ROOT/logs/ARCH-HASH/PACKAGE.log.
set -euo pipefail

Arch=${1:-}
case "$Arch" in
  x86_64) MesonCpu=x86_64 ;;
  i686) MesonCpu=x86 ;;
  *) echo "usage: $0 x86_64|i686" >&2; exit 2 ;;
esac
Host=$Arch-w64-mingw32
Here=$(cd "$(dirname "$0")" && pwd)
Recipe=$Here/windows-deps
Root=${QUIRECAST_WINDEPS_ROOT:-/var/cache/quirecast/windows-deps}

# The key covers everything that decides what is built; the file names are part of it.
Hash=$( (cd "$Here" && sha256sum windows-deps.sh $(find windows-deps -type f | LC_ALL=C sort)) |
  sha256sum | cut -c1-16)
Hash=${QUIRECAST_WINDEPS_HASH:-$Hash}
Prefix=$Root/$Arch-$Hash
Stamps=$Prefix/.stamps
Logs=$Root/logs/$Arch-$Hash
Work=$Root/work/$Arch-$Hash
Sources=$Root/sources

Link() { ln -sfn "$Arch-$Hash" "$Root/$Arch"; }

if [[ -f $Prefix/.complete ]]; then
  Link
  echo "windows-deps $Arch: up to date in $Prefix"
  exit 0
fi

# Debian source packages, pinned. Where the archive's index names files it does not serve, the pin
# is a version that downloads; the candidate version is the fallback.
declare -A Pin=(
  [libffi]=3.4.4-1
  [pcre2]=10.42-1
  [libpng1.6]=1.6.39-2+deb12u5
  [freetype]=2.12.1+dfsg-5+deb12u4
  [pixman]=0.42.2-1
  [glib2.0]=2.74.6-2+deb12u9
  [cairo]=1.16.0-7
  [libjpeg-turbo]=1:2.1.5-2
  [openjpeg2]=2.5.0-2+deb12u3
  [lcms2]=2.14-2+deb12u1
  [poppler]=22.12.0-2+deb12u3
  [poppler-data]=0.4.12-1
)

Sudo=""
[[ $(id -u) -eq 0 ]] || Sudo=sudo

EnsureTools() {
  local Missing=() Package
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
    ! grep -qs '^deb-src ' /etc/apt/sources.list; then
    echo "windows-deps: adding Debian 12's source packages to apt's sources"
    $Sudo tee /etc/apt/sources.list.d/quirecast-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    $Sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  fi
  for Package in meson ninja-build cmake pkg-config autoconf automake libtool dpkg-dev gperf nasm \
    python3 python3-packaging xz-utils g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
    libz-mingw-w64-dev; do
    dpkg-query -W -f='${Status}' "$Package" 2>/dev/null | grep -q 'install ok installed' ||
      Missing+=("$Package")
  done
  if ((${#Missing[@]})); then
    $Sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $Sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${Missing[@]}"
  fi
}

# Downloads a source package into the shared download folder and unpacks it, with Debian's changes,
# into a fresh folder. Sets Src to that folder.
Fetch() {
  local Name=$1 Version=${Pin[$1]} Dsc
  mkdir -p "$Sources"
  (cd "$Sources" &&
    { apt-get source -qq --download-only -o APT::Sandbox::User=root "$Name=$Version" ||
      { echo "windows-deps: $Name $Version does not download; trying the candidate version"
        apt-get source -qq --download-only -o APT::Sandbox::User=root "$Name"; } ||
      true; })
  Src=$Work/$Name
  rm -rf "$Src"
  Dsc=$(ls -t "$Sources/${Name}_${Version#*:}.dsc" "$Sources/${Name}"_*.dsc 2>/dev/null | head -n1 || true)
  [[ -n $Dsc ]] || { echo "windows-deps: no source for $Name" >&2; return 1; }
  if ! dpkg-source --no-check -x "$Dsc" "$Src"; then
    # Debian's archive lists pixman's packaging diff but does not serve it: build the upstream release.
    local Orig
    Orig=$(ls "$Sources/${Name}_"*.orig.tar.* 2>/dev/null | grep -v -- '-[a-z0-9]*\.tar\.' | grep -v '\.asc$' | head -n1)
    [[ -n $Orig ]] || return 1
    echo "windows-deps: $Name without Debian's changes, from $(basename "$Orig")"
    rm -rf "$Src"
    mkdir -p "$Src"
    tar xf "$Orig" -C "$Src" --strip-components=1
  fi
  mkdir -p "$Prefix/share/licenses/$Name"
  if [[ -f $Src/debian/copyright ]]; then
    cp "$Src/debian/copyright" "$Prefix/share/licenses/$Name/copyright"
  else
    cp "$Src"/COPYING* "$Prefix/share/licenses/$Name/" 2>/dev/null || true
  fi
}

WriteCrossFiles() {
  mkdir -p "$Work"
  cat >"$Work/meson-cross.txt" <<EOF
[binaries]
c = '$Host-gcc-posix'
cpp = '$Host-g++-posix'
ar = '$Host-ar'
strip = '$Host-strip'
windres = '$Host-windres'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = ['$Prefix/lib/pkgconfig']

[built-in options]
c_args = ['-I$Prefix/include']
cpp_args = ['-I$Prefix/include']
c_link_args = ['-L$Prefix/lib']
cpp_link_args = ['-L$Prefix/lib']

[host_machine]
system = 'windows'
cpu_family = '$MesonCpu'
cpu = '$Arch'
endian = 'little'
EOF
  cat >"$Work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $Arch)
set(CMAKE_C_COMPILER $Host-gcc-posix)
set(CMAKE_CXX_COMPILER $Host-g++-posix)
set(CMAKE_RC_COMPILER $Host-windres)
set(CMAKE_FIND_ROOT_PATH $Prefix /usr/$Host)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH $Prefix)
EOF
}

Configure() { ./configure --host="$Host" --prefix="$Prefix" --enable-static --disable-shared "$@"; }
Meson() {
  meson setup _build --cross-file "$Work/meson-cross.txt" --prefix "$Prefix" --libdir lib \
    --buildtype release --default-library static --wrap-mode nodownload "$@"
  ninja -C _build -j"$Jobs"
  ninja -C _build install
}
CMakeBuild() {
  cmake -S . -B _build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$Work/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$Prefix" -DCMAKE_INSTALL_LIBDIR=lib "$@"
  cmake --build _build -j"$Jobs"
  cmake --install _build
}
# Appends words to a field of an installed .pc file (static linking needs what shared libraries hide).
PcAppend() {
  local File=$Prefix/lib/pkgconfig/$1 Field=$2 Words=$3
  if grep -q "^$Field:" "$File"; then
    sed -i "s|^$Field:\(.*\)|$Field:\1 $Words|" "$File"
  else
    echo "$Field: $Words" >>"$File"
  fi
}

Build_zlib() {
  # Debian builds zlib for MinGW-w64 itself; only its static library is copied in.
  install -m644 /usr/$Host/include/zlib.h /usr/$Host/include/zconf.h "$Prefix/include/"
  install -m644 /usr/$Host/lib/libz.a "$Prefix/lib/"
  cat >"$Prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$Prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library
Version: $(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' /usr/$Host/include/zlib.h)
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF
  mkdir -p "$Prefix/share/licenses/zlib"
  cp /usr/share/doc/libz-mingw-w64-dev/copyright "$Prefix/share/licenses/zlib/copyright"
}

Build_libffi() {
  Fetch libffi
  cd "$Src"
  Configure --disable-docs --disable-multi-os-directory
  make -j"$Jobs"
  make install
}

Build_pcre2() {
  Fetch pcre2
  cd "$Src"
  Configure --enable-pcre2-8 --disable-pcre2-16 --disable-pcre2-32 --enable-unicode \
    --disable-pcre2grep-libz --disable-pcre2grep-libbz2
  make -j"$Jobs" libpcre2-8.la
  make install-libLTLIBRARIES install-nodist_includeHEADERS \
    install-pkgconfigDATA
}

Build_libpng() {
  Fetch libpng1.6
  cd "$Src"
  Configure --disable-tools
  make -j"$Jobs" libpng16.la
  make install-libLTLIBRARIES install-pkgincludeHEADERS \
    install-nodist_pkgincludeHEADERS install-pkgconfigDATA install-header-links install-library-links \
    install-libpng-pc
}

Build_freetype() {
  Fetch freetype
  cd "$Src"
  Meson -Dzlib=system -Dpng=enabled -Dbzip2=disabled -Dbrotli=disabled -Dharfbuzz=disabled \
    -Dtests=disabled
}

Build_pixman() {
  Fetch pixman
  cd "$Src"
  Meson -Dgtk=disabled -Dlibpng=disabled -Dtests=disabled -Dopenmp=disabled
}

Build_libintl() {
  # GLib needs gettext's interface; its own fallback would download one.
  cp "$Recipe/libintl/libintl.h" "$Prefix/include/"
  $Host-gcc-posix -O2 -c "$Recipe/libintl/intl.c" -o "$Work/intl.o"
  rm -f "$Prefix/lib/libintl.a"
  $Host-ar rcs "$Prefix/lib/libintl.a" "$Work/intl.o"
}

Build_iconv() {
  # poppler's C++ interface converts between UTF-8 and UTF-16 with iconv, which MinGW-w64 lacks.
  cp "$Recipe/iconv/iconv.h" "$Prefix/include/"
  $Host-gcc-posix -O2 -c "$Recipe/iconv/iconv.c" -o "$Work/iconv.o"
  rm -f "$Prefix/lib/libiconv.a"
  $Host-ar rcs "$Prefix/lib/libiconv.a" "$Work/iconv.o"
  cat >"$Prefix/lib/pkgconfig/iconv.pc" <<EOF
prefix=$Prefix
Name: iconv
Description: UTF-8 and UTF-16 conversion
Version: 1.0
Libs: -L\${prefix}/lib -liconv
Cflags: -I\${prefix}/include
EOF
}

Build_glib() {
  Fetch glib2.0
  cd "$Src"
  Meson -Dtests=false -Dinstalled_tests=false -Dman=false -Dgtk_doc=false -Dlibmount=disabled \
    -Dselinux=disabled -Dxattr=false -Dnls=disabled -Dglib_debug=disabled \
    -Dsysprof=disabled -Dlibelf=disabled
}

Build_cairo() {
  Fetch cairo
  cd "$Src"
  # Debian's patches touch the autotools inputs, but only for Debian's own builds: keep what the
  # release generated, by dating it after its inputs, so that make does not regenerate it.
  find . -exec touch -d '2000-01-01' {} +
  touch -d '2000-01-02' aclocal.m4
  touch -d '2000-01-03' configure config.h.in
  find . -name Makefile.in -exec touch -d '2000-01-04' {} +
  Configure --enable-win32 --enable-win32-font --enable-ft --disable-fc --enable-png --enable-svg --enable-tee \
    --enable-pdf --enable-ps --disable-xlib --disable-xcb --disable-quartz --disable-gl \
    --disable-glesv2 --disable-script --disable-interpreter --disable-trace --disable-gtk-doc \
    --disable-full-testing --disable-valgrind
  make -C src -j"$Jobs"
  make -C src install
  PcAppend cairo.pc Libs.private "-lgdi32 -lmsimg32 -lssp"
}

Build_libjpeg() {
  Fetch libjpeg-turbo
  cd "$Src"
  # Its own install-folder logic takes a relative library folder as relative to the sources.
  CMakeBuild -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF \
    -DCMAKE_INSTALL_LIBDIR="$Prefix/lib"
}

Build_openjpeg() {
  Fetch openjpeg2
  cd "$Src"
  CMakeBuild -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_CODEC=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOC=OFF -DBUILD_JPIP=OFF -DBUILD_JAVA=OFF
  # Without OPJ_STATIC the header declares every function as imported from a DLL.
  sed -i 's|^Cflags:.*|& -DOPJ_STATIC|' "$Prefix/lib/pkgconfig/libopenjp2.pc"
  sed -i '0,/^#define OPENJPEG_H/s//&\n#ifndef OPJ_STATIC\n#define OPJ_STATIC\n#endif/' \
    "$Prefix"/include/openjpeg-2.5/openjpeg.h
}

Build_lcms2() {
  # Its autotools build: the meson one marks a static library as exported from a DLL.
  Fetch lcms2
  cd "$Src"
  Configure --without-jpeg --without-tiff --without-zlib
  make -C src -j"$Jobs"
  make -C src install
  make -C include install
  make install-pkgconfigDATA
}

Build_poppler() {
  Fetch poppler
  cd "$Src"
  CMakeBuild -DBUILD_SHARED_LIBS=OFF -DENABLE_RELOCATABLE=ON -DFONT_CONFIGURATION=win32 \
    -DENABLE_GLIB=ON -DENABLE_CPP=ON -DENABLE_UTILS=OFF -DENABLE_QT5=OFF -DENABLE_QT6=OFF \
    -DENABLE_BOOST=OFF -DENABLE_LIBCURL=OFF -DENABLE_NSS3=OFF -DWITH_NSS3=OFF -DENABLE_UNSTABLE_API_ABI_HEADERS=ON \
    -DWITH_TIFF=OFF -DENABLE_GOBJECT_INTROSPECTION=OFF \
    -DENABLE_GTK_DOC=OFF -DWITH_GTK=OFF -DBUILD_GTK_TESTS=OFF -DBUILD_QT5_TESTS=OFF \
    -DBUILD_QT6_TESTS=OFF -DBUILD_CPP_TESTS=OFF -DBUILD_MANUAL_TESTS=OFF -DENABLE_DCTDECODER=libjpeg \
    -DENABLE_LIBOPENJPEG=openjpeg2 -DENABLE_CMS=lcms2 -DENABLE_ZLIB=ON -DRUN_GPERF_IF_PRESENT=OFF \
    -DCMAKE_CXX_FLAGS=-DOPJ_STATIC -DCMAKE_C_FLAGS=-DOPJ_STATIC
  PcAppend poppler.pc Requires.private "freetype2 libpng zlib libjpeg libopenjp2 lcms2"
  PcAppend poppler.pc Libs.private "-lgdi32"
  PcAppend poppler-glib.pc Requires "gio-2.0"
  PcAppend poppler-cpp.pc Requires.private "iconv"
}

Build_popplerdata() {
  # Data only: Debian's built package has the CMaps that the source package's extra tarballs hold.
  local Deb
  (cd "$Sources" && { apt-get download -qq -o APT::Sandbox::User=root "poppler-data=${Pin[poppler-data]}" ||
    apt-get download -qq -o APT::Sandbox::User=root poppler-data; })
  Deb=$(ls -t "$Sources"/poppler-data_*.deb | head -n1)
  rm -rf "$Work/poppler-data"
  dpkg-deb -x "$Deb" "$Work/poppler-data"
  rm -rf "$Prefix/share/poppler"
  cp -a "$Work/poppler-data/usr/share/poppler" "$Prefix/share/poppler"
  mkdir -p "$Prefix/share/licenses/poppler-data"
  cp "$Work/poppler-data/usr/share/doc/poppler-data/copyright" "$Prefix/share/licenses/poppler-data/"
}

Build_runtime() {
  # The programs link MinGW-w64's runtime and GCC's support libraries statically.
  mkdir -p "$Prefix/share/licenses/mingw-w64" "$Prefix/share/licenses/gcc"
  cp /usr/share/doc/mingw-w64-common/copyright "$Prefix/share/licenses/mingw-w64/copyright"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$Prefix/share/licenses/gcc/copyright"
}

Packages=(zlib libffi pcre2 libintl iconv libpng freetype pixman glib cairo libjpeg openjpeg lcms2
  poppler popplerdata runtime)

EnsureTools
Jobs=${QUIRECAST_WINDEPS_JOBS:-2}
mkdir -p "$Prefix/include" "$Prefix/lib/pkgconfig" "$Stamps" "$Logs" "$Work"
WriteCrossFiles
export PKG_CONFIG_LIBDIR=$Prefix/lib/pkgconfig PKG_CONFIG_PATH="" PKG_CONFIG_SYSROOT_DIR=""
export CC=$Host-gcc-posix CXX=$Host-g++-posix AR=$Host-ar RANLIB=$Host-ranlib STRIP=$Host-strip
export WINDRES=$Host-windres RC=$Host-windres
export CPPFLAGS="-I$Prefix/include" LDFLAGS="-L$Prefix/lib" CFLAGS="-O2" CXXFLAGS="-O2"
export PATH=$Prefix/bin:$PATH

Total=$SECONDS
echo "windows-deps $Arch: building into $Prefix (logs in $Logs)"
for Package in "${Packages[@]}"; do
  [[ -f $Stamps/$Package ]] && continue
  Start=$SECONDS
  # errexit holds inside the subshell only when its status is not tested on the same line.
  set +e
  (set -e; cd "$Work"; "Build_$Package") >"$Logs/$Package.log" 2>&1
  Status=$?
  set -e
  if ((Status != 0)); then
    echo "windows-deps $Arch: $Package FAILED after $((SECONDS - Start)) s; see $Logs/$Package.log" >&2
    tail -n 20 "$Logs/$Package.log" >&2
    exit 1
  fi
  touch "$Stamps/$Package"
  printf 'windows-deps %s: %-12s %4d s\n' "$Arch" "$Package" $((SECONDS - Start))
done
# libtool archives carry the build's paths and are not needed to link.
find "$Prefix/lib" -name '*.la' -delete
rm -rf "$Work"
date -u +%FT%TZ >"$Prefix/.complete"
Link
echo "windows-deps $Arch: done in $((SECONDS - Total)) s"
