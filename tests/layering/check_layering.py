#!/usr/bin/env python3
"""Checks that includes run one way, in the front end (src/) or in the conversion engine (converter/).

Front end: app on top; cli, engine and paths below it and blind to each other; the platform layer
and the small shared types at the bottom; the path pieces, which the conversion engine links too,
on the shared types alone.

Engine: the entry above both sides of the process boundary. On the coordinator's side, the
coordinator over the HTML writer and the shared fonts; on the worker's side, the worker over the
drawing, its passes and the pictures and areas they share. Neither side sees the other; both see
the protocol, the fonts' code and the base. A pass never includes another pass. poppler and
cairo are for the worker's side alone: the coordinator never reads the document; poppler's
core classes (<poppler/...>) are for worker/PdfCore alone.

Usage: check_layering.py [--engine] FOLDER. Prints each forbidden include and exits 1 if there is one."""

import os
import re
import sys

# Each layer: the paths of its files (under the folder checked), and the layers it may include
# besides itself. A file belongs to the layer with the longest matching prefix.
FRONT_END = {
    "layers": {
        "common": (["common/"], []),
        "platform": (["platform/"], ["common"]),
        "pathpieces": (["paths/PathPieces."], ["common"]),
        "paths": (["paths/"], ["common", "platform", "pathpieces"]),
        "cli": (["cli/"], ["common", "platform"]),
        "engine": (["engine/"], ["common", "platform"]),
        "app": (["app/"], ["common", "platform", "pathpieces", "paths", "cli", "engine"]),
    },
    # Includes of another tree, by the layer they count as.
    "outside": {},
    # System headers that only some files may include.
    "system_only_in": {"windows.h": ["platform/win32/"]},
    # Layers whose files include nothing of the same layer but their own header.
    "apart": [],
}

ENGINE = {
    "layers": {
        "base": (["base/"], []),
        "platform": (["platform/"], []),
        "fonts": (["fonts/"], ["base"]),
        "sharedfonts": (["fonts/SharedFonts."], ["base", "fonts"]),
        "protocol": (["protocol/"], ["base"]),
        "drawingparts": (["drawing/Pictures.", "drawing/PaintedArea.", "drawing/BlankPage."], ["base", "fonts"]),
        "pass": (["drawing/passes/"], ["base", "fonts", "drawingparts"]),
        "drawing": (["drawing/"], ["base", "fonts", "drawingparts", "pass"]),
        "worker": (["worker/"], ["base", "fonts", "drawing", "drawingparts", "protocol", "platform"]),
        "html": (["html/"], ["base", "fonts", "sharedfonts"]),
        "coordinator": (["coordinator/"],
                        ["base", "fonts", "sharedfonts", "protocol", "html", "drawingparts", "platform", "pathpieces"]),
        "entry": (["Engine.", "Main."], ["base", "platform", "protocol", "worker", "coordinator"]),
    },
    "outside": {"paths/PathPieces.h": "pathpieces"},
    "system_only_in": {
        "windows.h": ["platform/win32/"],
        "poppler.h": ["worker/", "drawing/"],
        "poppler/": ["worker/PdfCore."],
        "cairo": ["drawing/"],
    },
    "apart": ["pass"],
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
SOURCE_ENDINGS = (".h", ".hpp", ".c", ".cpp", ".inc")


def layer_of(rules, path):
    best, best_length = None, -1
    for layer, (prefixes, _) in rules["layers"].items():
        for prefix in prefixes:
            if path.startswith(prefix) and len(prefix) > best_length:
                best, best_length = layer, len(prefix)
    return best


def stem(path):
    return os.path.splitext(path)[0]


def system_rule(rules, target):
    """The folders that may include the system header target, or None for any."""
    name = target.lower()
    for header, folders in rules["system_only_in"].items():
        if name == header or (header.endswith("/") and name.startswith(header)) or (
                not header.endswith(".h") and not header.endswith("/") and name.startswith(header)):
            return header, folders
    return None, None


def check_include(rules, src, path, own, kind, target):
    """The message for a forbidden include, or None."""
    if kind == "<":
        header, folders = system_rule(rules, target)
        if folders and not any(path.startswith(folder) for folder in folders):
            return "<%s> belongs in %s" % (target, " or ".join(folders))
        return None
    other = rules["outside"].get(target)
    if other is None:
        other = layer_of(rules, target)
        if other is None or not os.path.isfile(os.path.join(src, target)):
            return '"%s" is not a file of a layer under the folder' % target
    if other == own:
        if own in rules["apart"] and stem(target) != stem(path):
            return '%s includes another of its layer ("%s")' % (path, target)
        return None
    if other not in rules["layers"][own][1]:
        return '%s includes %s ("%s")' % (own, other, target)
    return None


def violations(src, rules=FRONT_END):
    """Every forbidden include under src, as 'file:line: message' texts."""
    found = []
    for folder, _, files in sorted(os.walk(src)):
        for name in sorted(files):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            path = os.path.relpath(os.path.join(folder, name), src).replace(os.sep, "/")
            own = layer_of(rules, path)
            if own is None:
                found.append("%s: in no layer" % path)
                continue
            with open(os.path.join(folder, name), encoding="latin-1") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    message = check_include(rules, src, path, own, *match.groups())
                    if message:
                        found.append("%s:%d: %s" % (path, number, message))
    return found


def main():
    args = sys.argv[1:]
    rules = FRONT_END
    if args[:1] == ["--engine"]:
        rules, args = ENGINE, args[1:]
    if len(args) != 1:
        sys.exit(__doc__)
    found = violations(args[0], rules)
    for text in found:
        print(text)
    print("%d forbidden include%s" % (len(found), "" if len(found) == 1 else "s"))
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
