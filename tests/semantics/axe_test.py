"""Tests the axe-core runner on a page that meets the checked rules and on one laid out as lines only."""

import json
import os
import shutil
import subprocess
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
NODE = shutil.which("node")


def RunAxe(*args):
    result = subprocess.run([NODE, os.path.join(HERE, "axe.js"), *args], capture_output=True,
                            text=True, timeout=300, cwd=HERE)
    report = json.loads(result.stdout) if result.returncode in (0, 1) else None
    return result.returncode, report, result.stderr


def Fixture(name):
    return os.path.join(HERE, "fixtures", name)


class AxeRunner(unittest.TestCase):
    def test_pages(self):
        code, report, stderr = RunAxe(Fixture("accessible.html"), Fixture("lines-only.html"))
        self.assertEqual(code, 1, stderr)
        good, lines = report
        self.assertEqual((good["violations"], good["failing"]), ([], []))
        # What a page of positioned lines lacks: a language, a main landmark, a heading, content
        # inside landmarks, and a name for a link box without text.
        self.assertEqual(sorted(v["rule"] for v in lines["violations"]),
                         ["html-has-lang", "landmark-one-main", "link-name", "page-has-heading-one",
                          "region"])
        self.assertEqual(sorted(lines["failing"]), sorted(v["rule"] for v in lines["violations"]))

    def test_exit_status_follows_the_rules_asked_for(self):
        # Every run starts a browser: one run for the rules a page keeps (a page that breaks
        # others), the run above for one that breaks them.
        code, report, stderr = RunAxe("--fail-on", "list,image-alt", Fixture("lines-only.html"))
        self.assertEqual(code, 0, stderr)
        self.assertEqual(report[0]["failing"], [])
        self.assertTrue(report[0]["violations"])
        code, _, stderr = RunAxe(Fixture("no-such-page.html"))
        self.assertEqual(code, 2)
        self.assertIn("no such file", stderr)


if __name__ == "__main__":
    unittest.main()
