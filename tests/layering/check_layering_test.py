#!/usr/bin/env python3
"""The layering check on small made-up trees: what it lets through and what it stops."""

import os
import shutil
import tempfile
import unittest

import check_layering


class LayeringTest(unittest.TestCase):
    def tree(self, files):
        """A src folder holding the given files, each with the given lines."""
        root = tempfile.mkdtemp(prefix="quirecast-layering-")
        self.addCleanup(shutil.rmtree, root)
        base = {"common/Failure.h": [], "platform/Platform.h": [], "paths/PathPieces.h": [],
                "paths/Paths.h": [], "cli/CommandLine.h": [], "engine/Conversion.h": [],
                "app/RunSequence.h": []}
        base.update(files)
        for path, lines in base.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as out:
                out.write("".join(line + "\n" for line in lines))
        return root

    def test_allowed_includes_pass(self):
        root = self.tree({
            "app/Main.cpp": ['#include "engine/Conversion.h"', '#include "paths/Paths.h"',
                             '#include "cli/CommandLine.h"', '#include "platform/Platform.h"'],
            "paths/Paths.cpp": ['#include "paths/PathPieces.h"', '#include "platform/Platform.h"'],
            "cli/CommandLine.cpp": ['#include "common/Failure.h"', '#include <vector>'],
            "platform/win32/Platform.cpp": ["#include <windows.h>"],
        })
        self.assertEqual(check_layering.violations(root), [])

    def test_forbidden_includes_are_each_named(self):
        cases = [
            ("engine/Conversion.cpp", '#include "app/RunSequence.h"', "engine includes app"),
            ("cli/CommandLine.cpp", ' #  include "paths/Paths.h"', "cli includes paths"),
            ("engine/Conversion.cpp", '#include "paths/PathPieces.h"', "engine includes pathpieces"),
            ("paths/PathPieces.cpp", '#include "platform/Platform.h"', "pathpieces includes platform"),
            ("paths/PathPieces.cpp", '#include "paths/Paths.h"', "pathpieces includes paths"),
            ("platform/posix/Platform.cpp", '#include "cli/CommandLine.h"', "platform includes cli"),
            ("common/Failure.h", '#include "platform/Platform.h"', "common includes platform"),
            ("cli/CommandLine.cpp", '#include "../app/RunSequence.h"', "not a file of a layer"),
            ("app/Main.cpp", '#include "app/Missing.h"', "not a file of a layer"),
            ("paths/Paths.cpp", "#include <Windows.h>", "belongs in platform/win32/"),
            ("bench/Tool.cpp", "", "in no layer"),
        ]
        for path, line, message in cases:
            with self.subTest(line=line):
                found = check_layering.violations(self.tree({path: ["// x", line]}))
                self.assertEqual(len(found), 1, found)
                self.assertIn(message, found[0])
                if line:
                    self.assertTrue(found[0].startswith(path + ":2: "), found[0])


class EngineLayeringTest(unittest.TestCase):
    def tree(self, files):
        """A converter folder holding the given files, each with the given lines."""
        root = tempfile.mkdtemp(prefix="quirecast-engine-layering-")
        self.addCleanup(shutil.rmtree, root)
        base = {"base/PageModel.h": [], "fonts/GlyphOutline.h": [], "fonts/SharedFonts.h": [],
                "protocol/WorkerProtocol.h": [], "drawing/Pictures.h": [], "drawing/PageDrawing.h": [],
                "drawing/passes/CompactSvg.h": [], "drawing/passes/StyleClasses.h": [],
                "worker/Worker.h": [], "html/Document.h": [], "coordinator/Coordinator.h": [],
                "platform/Platform.h": []}
        base.update(files)
        for path, lines in base.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as out:
                out.write("".join(line + "\n" for line in lines))
        return root

    def test_allowed_includes_pass(self):
        root = self.tree({
            "Engine.cpp": ['#include "coordinator/Coordinator.h"', '#include "worker/Worker.h"'],
            "worker/Worker.cpp": ['#include "drawing/PageDrawing.h"', '#include "protocol/WorkerProtocol.h"',
                                  "#include <poppler.h>"],
            "worker/PdfCore.cpp": ['#include "worker/Worker.h"', "#include <poppler/PDFDoc.h>"],
            "drawing/Passes.cpp": ['#include "drawing/passes/CompactSvg.h"', '#include "drawing/passes/StyleClasses.h"'],
            "drawing/passes/CompactSvg.cpp": ['#include "drawing/passes/CompactSvg.h"', '#include "drawing/Pictures.h"',
                                              '#include "fonts/GlyphOutline.h"', "#include <cairo.h>"],
            "coordinator/Coordinator.cpp": ['#include "html/Document.h"', '#include "fonts/SharedFonts.h"',
                                            '#include "paths/PathPieces.h"', '#include "protocol/WorkerProtocol.h"'],
        })
        self.assertEqual(check_layering.violations(root, check_layering.ENGINE), [])

    def test_the_two_sides_and_the_passes_stay_apart(self):
        cases = [
            ("worker/Worker.cpp", '#include "coordinator/Coordinator.h"', "worker includes coordinator"),
            ("worker/Worker.cpp", '#include "html/Document.h"', "worker includes html"),
            ("drawing/PageDrawing.cpp", '#include "fonts/SharedFonts.h"', "drawing includes sharedfonts"),
            ("html/Document.cpp", '#include "worker/Worker.h"', "html includes worker"),
            ("coordinator/Coordinator.cpp", '#include "drawing/PageDrawing.h"', "coordinator includes drawing"),
            ("drawing/passes/StyleClasses.cpp", '#include "drawing/passes/CompactSvg.h"', "includes another of its layer"),
            ("drawing/passes/StyleClasses.cpp", '#include "drawing/PageDrawing.h"', "pass includes drawing"),
            ("base/Text.cpp", '#include "fonts/GlyphOutline.h"', "base includes fonts"),
            ("coordinator/Coordinator.cpp", "#include <poppler.h>", "belongs in worker/ or drawing/"),
            ("html/Document.cpp", "#include <cairo.h>", "belongs in drawing/"),
            ("worker/PdfDocument.cpp", "#include <poppler/TextOutputDev.h>", "belongs in worker/PdfCore."),
            ("worker/Worker.cpp", '#include "paths/PathPieces.h"', "worker includes pathpieces"),
        ]
        for path, line, message in cases:
            with self.subTest(line=line, path=path):
                found = check_layering.violations(self.tree({path: ["// x", line]}), check_layering.ENGINE)
                self.assertEqual(len(found), 1, found)
                self.assertIn(message, found[0])
                self.assertTrue(found[0].startswith(path + ":2: "), found[0])


if __name__ == "__main__":
    unittest.main(verbosity=2)
