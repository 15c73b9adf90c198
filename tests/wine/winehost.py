"""A wine64 prefix for running the Windows build's programs in tests: made once under the build
folder, served by a persistent wineserver, and run with files (not pipes) for the output."""

import os
import shutil
import subprocess
import tempfile

WINE = "/usr/lib/wine/wine64"


class Wine:
    def __init__(self, prefix, locale="C.UTF-8"):
        self.prefix = os.path.abspath(prefix)
        os.makedirs(self.prefix, exist_ok=True)
        # No Mono or Gecko: their installers would only slow the prefix's first start.
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL=locale, LANG=locale)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        # Make the prefix first, so its set-up messages are not taken for a program's; then a
        # persistent server keeps each start well under a second.
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            subprocess.run([WINE, "wineboot", "--init"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env)

    @staticmethod
    def path(unix_path):
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

    def fonts_folder(self):
        return os.path.join(self.prefix, "drive_c", "windows", "Fonts")

    def install_font(self, font_file, name=None):
        """Copies a font into the prefix's Fonts folder, where Windows programs look for fonts,
        under its own name or the one given."""
        os.makedirs(self.fonts_folder(), exist_ok=True)
        target = os.path.join(self.fonts_folder(), name or os.path.basename(font_file))
        if not os.path.exists(target):
            shutil.copyfile(font_file, target)

    def run(self, args, cwd=None, env=None, timeout=300):
        """Runs a Windows program; returns its exit code, standard output and error as bytes.
        Output goes through files: wine's helper processes may hold a pipe open long after the
        program ends."""
        with tempfile.TemporaryDirectory(prefix="quirecast-wine-run-") as work:
            stdout_path = os.path.join(work, "stdout")
            stderr_path = os.path.join(work, "stderr")
            with open(stdout_path, "wb") as stdout, open(stderr_path, "wb") as stderr:
                code = subprocess.run([WINE] + list(args), cwd=cwd, env=env or self.env,
                                      stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                      timeout=timeout).returncode
            with open(stdout_path, "rb") as stdout, open(stderr_path, "rb") as stderr:
                return code, stdout.read(), stderr.read()

    def run_raw(self, rawrun, line, cwd=None, env=None, timeout=300):
        """Runs an exact Windows command line (bytes in the ANSI code page) through RawRun.exe,
        since wine re-quotes a Unix argv."""
        with tempfile.TemporaryDirectory(prefix="quirecast-raw-") as work:
            command_file = os.path.join(work, "cmd")
            with open(command_file, "wb") as out:
                out.write(line)
            return self.run([rawrun, self.path(command_file)], cwd=cwd, env=env, timeout=timeout)
