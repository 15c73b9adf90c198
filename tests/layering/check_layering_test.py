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


if __name__ == "__main__":
    unittest.main(verbosity=2)
