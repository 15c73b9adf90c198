#!/usr/bin/env python3
"""Runs the built front end as a user runs it, with the stand-in engine beside it, and checks
the bytes on standard output, the exit code, the folders made and how the engine was started.

Natively the front end gets an argv; with --wine the Windows build gets an exact raw command
line through RawRun.exe under wine64 (under wine32 with --bits 32), since wine re-quotes a Unix
argv."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
from winehost import Wine, wine32_missing  # noqa: E402

OPTIONS = None  # set from the command line in main()
# ctest's code for a test that could not run here.
SKIPPED = 77
# How qemu-user reports a fault in the program it emulates.
EMULATOR_FAULT = b"qemu: uncaught target signal"
# A run under wine32 takes seconds (tens on a busy machine); one that takes this long has hung.
RUN_SECONDS = 180

USAGE_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "app",
                          "UsageText.inc")


def usage_lines():
    """The usage lines as the program holds them: a comment, then one C string literal a line,
    with no escapes but backslash-backslash and backslash-quote."""
    lines = []
    with open(USAGE_FILE, encoding="latin-1") as source:
        for line in source.read().splitlines():
            if line.startswith("//"):
                continue
            match = re.fullmatch(r'"((?:[^"\\]|\\[\\"])*)",', line)
            if not match:
                raise ValueError("%s: not a plain string literal: %r" % (USAGE_FILE, line))
            lines.append(re.sub(r'\\(.)', r"\1", match.group(1)).encode("latin-1"))
    return lines


class Host:
    """What both platforms share: the programs under test and how the engine's record reads."""

    def __init__(self, options):
        self.frontend = options.frontend
        self.standin = options.standin
        # Why the platform stopped running programs, which skips the tests still to come.
        self.unusable = None

    def engine_saw(self, record):
        return [record["arg1"], record["arg2"]]


class NativeHost(Host):
    sep = "/"
    eol = b"\n"
    exe = ""

    def path(self, unix_path):
        return unix_path

    def encode(self, text, codepage):
        return text.encode("utf-8")

    def run(self, frontend, args, cwd, env):
        result = subprocess.run([frontend] + args, cwd=cwd, env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=60)
        return result.returncode, result.stdout, result.stderr


class WineHost(Host):
    sep = "\\"
    eol = b"\r\n"
    exe = ".exe"

    def __init__(self, options):
        super().__init__(options)
        self.rawrun = options.rawrun
        # A prefix of the build's is kept for the next run; a temporary one goes.
        self.own_prefix = not options.prefix
        self.wine = Wine(options.prefix or tempfile.mkdtemp(prefix="quirecast-wine-"), bits=options.bits)
        self.base_env = self.wine.env
        self.unusable = self.wine.unusable

    def close(self):
        self.wine.close()
        if self.own_prefix:
            shutil.rmtree(self.wine.prefix, ignore_errors=True)

    def path(self, unix_path):
        return "Z:" + unix_path.replace("/", "\\")

    def encode(self, text, codepage):
        return text.encode(codepage)

    def run(self, frontend, args, cwd, env):
        line = '"%s"' % self.path(frontend) + "".join(' "%s"' % arg for arg in args)
        return self.run_raw(line.encode("cp1252"), cwd, env)

    def run_raw(self, line, cwd, env):
        try:
            return self.wine.run_raw(self.rawrun, line, cwd=cwd, env=env, timeout=RUN_SECONDS)
        except subprocess.TimeoutExpired:
            # The prefix's processes go with the hung one, or they could hold up the next run.
            self.wine.restart()
            raise Hung()


class Hung(Exception):
    """A run under wine that did not end in time."""


HOST = None


def read_records(log_path):
    """The stand-in's records, oldest first, each a dict of its key=value lines."""
    if not os.path.exists(log_path):
        return []
    records, current = [], {}
    with open(log_path, "rb") as log:
        for raw in log.read().split(b"\n"):
            line = raw.rstrip(b"\r").decode("latin-1")
            if line == "end":
                records.append(current)
                current = {}
            elif "=" in line:
                key, value = line.split("=", 1)
                current[key] = value
    return records


class FrontEndTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        if HOST.unusable:
            self.skipTest(HOST.unusable)
        self.root = tempfile.mkdtemp(prefix="quirecast-e2e-")
        self.addCleanup(shutil.rmtree, self.root)
        self.install_dir = self.install("inst")
        self.log = os.path.join(self.root, "engine.log")
        with open(os.path.join(self.root, "s1.pdf"), "wb") as pdf:
            pdf.write(b"%PDF-1.4\n")

    def install(self, folder, engine=True):
        """Copies the front end, and the stand-in as its engine, into a folder of the test."""
        target = os.path.join(self.root, folder)
        os.makedirs(target, exist_ok=True)
        shutil.copy(HOST.frontend, os.path.join(target, "Quirecast" + HOST.exe if HOST.exe else "quirecast"))
        if engine:
            shutil.copy(HOST.standin, os.path.join(target, "pdf" + HOST.exe))
        return target

    def frontend_in(self, folder):
        return os.path.join(folder, "Quirecast" + HOST.exe if HOST.exe else "quirecast")

    def env(self, mode="write", extra=None):
        env = dict(getattr(HOST, "base_env", os.environ), QUIRECAST_STANDIN=mode,
                   QUIRECAST_STANDIN_LOG=self.log)
        env.update(extra or {})
        return env

    def run_frontend(self, args, mode="write", folder=None, cwd=None):
        frontend = self.frontend_in(folder or self.install_dir)
        code, out, err = self.retried(lambda: HOST.run(frontend, args, cwd or self.root, self.env(mode)))
        self.assertEqual(err.decode("latin-1"), "", "nothing goes to standard error")
        return code, out

    def retried(self, run):
        """Runs the front end through `run`, up to three times where wine failed the run itself:
        wine did not start the program (exit code 1 with nothing written; the front end's 1
        always comes with the usage), qemu-user reported a fault of one of wine's threads, wine's
        loader was ended by a signal (a Windows program's exit code never is one; once, under
        qemu-user, after the front end had written its whole line), or a process waited for ever. The engine's records of a failed run are taken back; a fault of
        the program's own recurs every time and still fails. When every run hangs and wine's own
        programs hang too, the machine's wine cannot run programs, and the test is skipped."""
        logged = os.path.getsize(self.log) if os.path.exists(self.log) else 0
        for _ in range(3):
            try:
                result = run()
                if result != (1, b"", b"") and not result[2].startswith(EMULATOR_FAULT) and result[0] >= 0:
                    return result
            except Hung:
                result = None
            if os.path.exists(self.log):
                os.truncate(self.log, logged)
        if result is None:
            if not HOST.wine.starts_programs():
                HOST.unusable = f"wine{OPTIONS.bits} stopped running programs on this machine: " \
                                "its own command interpreter hangs as well"
                self.skipTest(HOST.unusable)
            self.fail(f"the front end hung three times (each given {RUN_SECONDS} s)")
        return result

    def p(self, *parts):
        """A path under the test's folder, as the program sees it."""
        return HOST.path(os.path.join(self.root, *parts))

    def lines(self, *texts):
        return b"".join(text.encode("latin-1") + HOST.eol for text in texts)

    # The checks of the command line.

    def test_usage_and_parameter_errors(self):
        usage = HOST.eol.join(usage_lines()) + HOST.eol
        cases = [
            ([], 1, None),
            (["/?"], 1, None),
            (["-?"], 1, None),
            (["?", "out"], 1, None),
            (["?", "2", "3", "4", "5", "6", "7"], 2,
             self.lines("Parameters error! Please run Quirecast to get help.")),
            ([self.p("none.pdf"), self.p("out")], 4,
             self.lines("Input file does not found: " + self.p("none.pdf"))),
            ([self.p("s1.pdf"), self.p("o1"), "-L101"], 6,
             self.lines("Loop count must be in the range 1-100.")),
            ([self.p("s1.pdf"), self.p("o1"), "-v01"], 7, self.lines("Verbose level must be in [0,1,2].")),
            ([self.p("s1.pdf"), self.p("o1"), "-X10000"], 8,
             self.lines("Pixel width must be in the range 1-9999.")),
            ([self.p("s1.pdf"), self.p("o1"), "-y10000"], 9,
             self.lines("Pixel height must be in the range 1-9999.")),
            ([self.p("s1.pdf"), self.p("o1"), "-L"], 99,
             self.lines("Unexpected error: '' is not a valid integer value.")),
        ]
        for args, code, expected in cases:
            with self.subTest(args=args):
                got_code, out = self.run_frontend(args)
                self.assertEqual((got_code, out), (code, usage if expected is None else expected))
        self.assertFalse(os.path.exists(os.path.join(self.root, "out")), "no folder for a missing input")
        self.assertTrue(os.path.isdir(os.path.join(self.root, "o1", "s1")), "made before the options failed")
        self.assertEqual(read_records(self.log), [], "no failed check starts the engine")

    # The conversion run and its report.

    def test_typical_run_hands_the_engine_exact_paths(self):
        out_folder = self.p("out") + HOST.sep
        code, out = self.run_frontend([self.p("s1.pdf"), out_folder])
        self.assertEqual((code, out), (0, self.lines("Convert to: %s [Success]" % out_folder)))
        self.assertTrue(os.path.isfile(os.path.join(self.root, "out", "s1", "s1.html")))
        [record] = read_records(self.log)
        output_base = out_folder + HOST.sep + "s1" + HOST.sep + "s1"
        self.assertEqual(HOST.engine_saw(record), [self.p("s1.pdf"), output_base])
        self.assertEqual(record["cwd"], HOST.path(self.root))
        if HOST.exe:
            engine = HOST.path(os.path.join(self.install_dir, "pdf.exe"))
            self.assertEqual(record["cmdline"], '%s   "%s"  "%s"' % (engine, self.p("s1.pdf"), output_base))
            self.assertEqual((record["flags"], record["show"]), ("1", "0"), "STARTF_USESHOWWINDOW, SW_HIDE")

    def test_relative_paths_and_names_with_dots(self):
        os.makedirs(os.path.join(self.root, "in"))
        shutil.copy(os.path.join(self.root, "s1.pdf"), os.path.join(self.root, "in", "a.b.pdf"))
        code, out = self.run_frontend([HOST.sep.join(["in", "a.b.pdf"]), HOST.sep.join(["rel", "out"])])
        self.assertEqual((code, out), (0, self.lines("Convert to: %s [Success]" % HOST.sep.join(["rel", "out"]))))
        self.assertTrue(os.path.isfile(os.path.join(self.root, "rel", "out", "a.b", "a.b.html")))

    def test_engine_outcomes(self):
        cases = [
            ("write", "Success"),
            ("write-fail", "Success"),  # its exit status is not read
            ("sleep", "Success"),  # writes only after a pause: the front end waited
            ("print", "Success"),  # its output must not reach ours
            ("fail", "Failed"),
        ]
        for index, (mode, verdict) in enumerate(cases):
            with self.subTest(mode=mode):
                out_folder = self.p("out%d" % index)
                code, out = self.run_frontend([self.p("s1.pdf"), out_folder], mode=mode)
                self.assertEqual((code, out), (0, self.lines("Convert to: %s [%s]" % (out_folder, verdict))))

    def test_engine_is_only_looked_for_beside_the_front_end(self):
        bare = self.install("bare", engine=False)
        shutil.copy(HOST.standin, os.path.join(self.root, "pdf" + HOST.exe))  # in the current folder
        code, out = self.run_frontend([self.p("s1.pdf"), self.p("out")], folder=bare)
        self.assertEqual((code, out), (0, self.lines("Convert to: %s [Failed]" % self.p("out"))))
        self.assertEqual(read_records(self.log), [])

    def test_folder_with_a_space_never_runs_a_shorter_prefix(self):
        spaced = self.install("my tools")
        decoy = os.path.join(self.root, "my" + HOST.exe)
        shutil.copy(HOST.standin, decoy)
        code, out = self.run_frontend([self.p("s1.pdf"), self.p("out")], folder=spaced)
        self.assertEqual((code, out), (0, self.lines("Convert to: %s [Success]" % self.p("out"))))
        records = read_records(self.log)
        self.assertEqual([r["self"] for r in records], [HOST.path(os.path.join(spaced, "pdf" + HOST.exe))])
        self.assertEqual(HOST.engine_saw(records[0]), [self.p("s1.pdf"), HOST.sep.join([self.p("out"), "s1", "s1"])])

    def test_command_line_longer_than_512(self):
        # Each path stays within what the file functions take; together they are long.
        deep = os.path.join(*(["d" * 30] * 5))
        install = self.install(os.path.join(deep, "inst"))
        os.makedirs(os.path.join(self.root, deep, "in"))
        pdf = os.path.join(self.root, deep, "in", "n" * 20 + ".pdf")
        shutil.copy(os.path.join(self.root, "s1.pdf"), pdf)
        out_folder = self.p(deep, "out")
        code, out = self.run_frontend([HOST.path(pdf), out_folder], folder=install)
        self.assertEqual((code, out), (0, self.lines("Convert to: %s [Success]" % out_folder)))
        [record] = read_records(self.log)
        if HOST.exe:
            self.assertGreater(len(record["cmdline"]), 600)
        self.assertEqual(HOST.engine_saw(record)[1], HOST.sep.join([out_folder, "n" * 20, "n" * 20]))

    def test_a_leftover_file_is_not_this_runs_success(self):
        args = [self.p("s1.pdf"), self.p("out")]
        self.assertEqual(self.run_frontend(args, mode="write")[1], self.lines("Convert to: %s [Success]" % self.p("out")))
        self.assertEqual(self.run_frontend(args, mode="fail")[1], self.lines("Convert to: %s [Failed]" % self.p("out")))
        self.assertTrue(os.path.isfile(os.path.join(self.root, "out", "s1", "s1.html")), "nothing is deleted")
        self.assertEqual(self.run_frontend(args, mode="write")[1], self.lines("Convert to: %s [Success]" % self.p("out")))

    def test_one_argument_makes_no_folder(self):
        name = "quirecast-e2e-no-output-folder"
        pdf = os.path.join(self.root, name + ".pdf")
        shutil.copy(os.path.join(self.root, "s1.pdf"), pdf)
        before = sorted(os.listdir(self.root))
        code, out = self.run_frontend([HOST.path(pdf)])
        self.assertEqual((code, out), (0, self.lines("Convert to:  [Failed]")))
        self.assertEqual(sorted(os.listdir(self.root)), sorted(before + ["engine.log"]))
        self.assertFalse(os.path.exists("/" + name))

    # Raw command lines: what only the Windows build splits itself.

    def run_raw(self, tail, mode="write", extra_env=None, codepage="cp1252"):
        line = HOST.encode(HOST.path(self.frontend_in(self.install_dir)), codepage) + tail
        return self.retried(lambda: HOST.run_raw(line, self.root, self.env(mode, extra_env)))

    @unittest.skipUnless("--wine" in sys.argv, "raw command lines are the Windows build's")
    def test_raw_command_lines(self):
        s1, out = self.p("s1.pdf").encode(), self.p("o").encode()
        cases = [
            # An empty pair is dropped; the backslash before a closing quote stays.
            (b' "" "' + s1 + b'" "' + out + b'\\"', b"Convert to: " + out + b"\\ [Success]"),
            (b'\t' + s1 + b'\t\t' + out + b'2', b"Convert to: " + out + b"2 [Success]"),
            (b' "' + s1 + b'" ' + out + b'3 -l101', b"Loop count must be in the range 1-100."),
            # A leading space hides the value, not the option: -L is then empty.
            (b' ' + s1 + b' ' + out + b'4 " -L5"', b"Unexpected error: '' is not a valid integer value."),
            (b' ' + s1 + b' ' + out + b'5 " -L5" -L7', b"Convert to: " + out + b"5 [Success]"),
            (b' ' + s1 + b' "' + out + b'6', b"Convert to: " + out + b"6 [Success]"),
        ]
        for tail, expected in cases:
            with self.subTest(tail=tail):
                code, stdout, _ = self.run_raw(tail)
                self.assertEqual(stdout, expected + b"\r\n")

    @unittest.skipUnless("--wine" in sys.argv, "the ANSI code page is Windows'")
    def test_double_byte_name_ending_in_a_trail_backslash(self):
        # U+8868 is 0x95 0x5C in code page 932: its trail byte is a backslash.
        name = "a\u8868"
        with open(os.path.join(self.root, name + ".pdf"), "wb") as pdf:
            pdf.write(b"%PDF-1.4\n")
        tail = b' "' + HOST.encode(self.p(name + ".pdf"), "cp932") + b'" "' + self.p("out").encode() + b'"'
        code, stdout, _ = self.run_raw(tail, extra_env={"LC_ALL": "ja_JP.UTF-8"}, codepage="cp932")
        self.assertEqual((code, stdout), (0, b"Convert to: " + self.p("out").encode() + b" [Success]\r\n"))
        self.assertTrue(os.path.isfile(os.path.join(self.root, "out", name, name + ".html")))
        [record] = read_records(self.log)
        expected_base = self.p("out") + "\\" + name + "\\" + name
        self.assertEqual(record["arg2"].encode("latin-1"), expected_base.encode("cp932"))


def main():
    global OPTIONS, HOST
    parser = argparse.ArgumentParser()
    parser.add_argument("--frontend", required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--rawrun")
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64, help="the Windows build's")
    parser.add_argument("--prefix", help="a wine prefix to make once and keep (default: a temporary one)")
    OPTIONS, rest = parser.parse_known_args()
    if OPTIONS.wine and OPTIONS.bits == 32 and wine32_missing():
        print(f"skipped: {wine32_missing()}")
        sys.exit(SKIPPED)
    for name in ("frontend", "standin", "rawrun"):
        if getattr(OPTIONS, name):
            setattr(OPTIONS, name, os.path.abspath(getattr(OPTIONS, name)))
    HOST = WineHost(OPTIONS) if OPTIONS.wine else NativeHost(OPTIONS)
    try:
        program = None
        if not HOST.unusable:
            program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        if OPTIONS.wine:
            HOST.close()
    if program and not program.result.wasSuccessful():
        sys.exit(1)
    if HOST.unusable:
        print(f"skipped: {HOST.unusable}")
        sys.exit(SKIPPED)
    sys.exit(0)


if __name__ == "__main__":
    main()
