#!/usr/bin/env python3
"""Makes the Windows ZIP with CPack and checks that it holds what a user needs: both programs and
no DLLs, poppler's data where pdf.exe looks for it, the project's licence and README, and the
licence text of every library linked in."""

import argparse
import os
import shutil
import subprocess
import sys
import zipfile

# Source packages whose code is linked into pdf.exe, plus the compiler's runtime.
LINKED = ["cairo", "cld2", "freetype", "gcc", "glib2.0", "lcms2", "libffi", "libjpeg-turbo", "libpng1.6",
          "mingw-w64", "openjpeg2", "pcre2", "pixman", "poppler", "poppler-data", "zlib"]


def problems(names, sizes, with_engine):
    roots = {name.split("/", 1)[0] for name in names}
    if len(roots) != 1:
        return [f"expected one top folder, found {sorted(roots)}"]
    inside = {name.split("/", 1)[1]: sizes[name] for name in names if "/" in name}
    wanted = ["Quirecast.exe", "LICENSE", "README.md",
              "share/poppler/cMap/Adobe-Japan1/UniJIS-UCS2-V"]
    if with_engine:
        wanted.append("pdf.exe")
    lines = [f"missing {path}" for path in wanted if not inside.get(path)]
    for library in LINKED:
        if not any(path.startswith(f"licenses/{library}/") and size > 0 for path, size in inside.items()):
            lines.append(f"no licence text for {library}")
    programs = sorted(p for p in inside if p.lower().endswith((".exe", ".dll")))
    expected = sorted(["Quirecast.exe"] + (["pdf.exe"] if with_engine else []))
    if programs != expected:
        lines.append(f"programs {programs}, expected {expected}")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--config", required=True, help="the build's CPackConfig.cmake")
    parser.add_argument("--work", required=True)
    parser.add_argument("--with-engine", action="store_true")
    options = parser.parse_args()
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    subprocess.run([options.cpack, "--config", options.config, "-B", options.work], check=True,
                   stdout=subprocess.DEVNULL)
    [package] = [f for f in os.listdir(options.work) if f.endswith(".zip")]
    with zipfile.ZipFile(os.path.join(options.work, package)) as archive:
        infos = [info for info in archive.infolist() if not info.is_dir()]
    failures = problems([i.filename for i in infos], {i.filename: i.file_size for i in infos},
                        options.with_engine)
    for line in failures:
        print(f"{package}: {line}", file=sys.stderr)
    if not failures:
        print(f"{package}: {len(infos)} files, all that a user needs")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
