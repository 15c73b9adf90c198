#!/usr/bin/env python3
"""Checks that the front end's includes run one way: app on top; cli, engine and paths below
it and blind to each other; the platform layer and the small shared types at the bottom; the
path pieces, which the conversion engine links too, on the shared types alone.

Usage: check_layering.py SRC_FOLDER. Prints each forbidden include and exits 1 if there is one."""

import os
import re
import sys

# Each layer: the paths (under src/) of its files, and the layers it may include besides itself.
# A file belongs to the layer with the longest matching prefix.
LAYERS = {
    "common": (["common/"], []),
    "platform": (["platform/"], ["common"]),
    "pathpieces": (["paths/PathPieces."], ["common"]),
    "paths": (["paths/"], ["common", "platform", "pathpieces"]),
    "cli": (["cli/"], ["common", "platform"]),
    "engine": (["engine/"], ["common", "platform"]),
    "app": (["app/"], ["common", "platform", "pathpieces", "paths", "cli", "engine"]),
}

# System headers that only one part of the platform layer may include.
SYSTEM_ONLY_IN = {"windows.h": "platform/win32/"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
SOURCE_ENDINGS = (".h", ".hpp", ".c", ".cpp", ".inc")


def layer_of(path):
    best, best_length = None, -1
    for layer, (prefixes, _) in LAYERS.items():
        for prefix in prefixes:
            if path.startswith(prefix) and len(prefix) > best_length:
                best, best_length = layer, len(prefix)
    return best


def violations(src):
    """Every forbidden include under src, as 'file:line: message' texts."""
    found = []
    for folder, _, files in sorted(os.walk(src)):
        for name in sorted(files):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            path = os.path.relpath(os.path.join(folder, name), src).replace(os.sep, "/")
            own = layer_of(path)
            if own is None:
                found.append("%s: in no layer" % path)
                continue
            with open(os.path.join(folder, name), encoding="latin-1") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    kind, target = match.groups()
                    where = "%s:%d: " % (path, number)
                    if kind == "<":
                        only_in = SYSTEM_ONLY_IN.get(target.lower())
                        if only_in and not path.startswith(only_in):
                            found.append(where + "<%s> belongs in %s" % (target, only_in))
                        continue
                    other = layer_of(target)
                    if other is None or not os.path.isfile(os.path.join(src, target)):
                        found.append(where + '"%s" is not a file of a layer under src' % target)
                    elif other != own and other not in LAYERS[own][1]:
                        found.append(where + '%s includes %s ("%s")' % (own, other, target))
    return found


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    found = violations(sys.argv[1])
    for text in found:
        print(text)
    print("%d forbidden include%s" % (len(found), "" if len(found) == 1 else "s"))
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
