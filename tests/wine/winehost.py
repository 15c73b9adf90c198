"""A wine prefix for running the Windows build's programs in tests: made once under the build
folder, served by a persistent wineserver, and run with files (not pipes) for the output.

The 64-bit build runs under wine64. The 32-bit build runs under wine32 in a 32-bit prefix, as on
32-bit Windows; where the kernel runs no i386 programs, wine32's own Linux half runs under
qemu-user (see scripts/wine32.sh)."""

import os
import re
import shutil
import signal
import subprocess
import tempfile

LOADERS = {64: "/usr/lib/wine/wine64", 32: "/usr/lib/wine/wine"}

# qemu-user gives an i386 program 4 GiB of address space by default, and wine, started without
# its preloader, probes the half above 2 GiB in 64 KiB steps, each a slow search through qemu's
# page table: 45 s of CPU for every process start. Keeping the space just above wine's shared page
# at 0x7ffe0000 brings a start down to about 2 s. A 32-bit program then has the 2 GiB of 32-bit
# Windows; the kernel ignores the variable where it runs i386 programs itself.
QEMU_ADDRESS_SPACE = "0x81000000"


def wine32_missing():
    """Why 32-bit Windows programs cannot run here, or None when they can."""
    if not os.path.exists(LOADERS[32]):
        return "wine32 is not installed (scripts/wine32.sh installs it)"
    try:
        result = subprocess.run([LOADERS[32], "--version"], stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired) as error:
        return f"wine32 does not start: {error}"
    if result.returncode != 0:
        return ("wine32 does not start (this kernel runs no i386 programs and qemu-user is not "
                "registered for them; scripts/wine32.sh does that)")
    return None


class Wine:
    def __init__(self, prefix, locale="C.UTF-8", bits=64):
        self.prefix = os.path.abspath(prefix)
        self.bits = bits
        self.loader = LOADERS[bits]
        os.makedirs(self.prefix, exist_ok=True)
        # No Mono or Gecko: their installers would only slow the prefix's first start.
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL=locale, LANG=locale)
        if bits == 32:
            self.env.update(WINEARCH="win32", QEMU_RESERVED_VA=QEMU_ADDRESS_SPACE)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        # Why programs cannot run in this prefix, or None once one has run.
        self.unusable = self._prepare()

    def _prepare(self, rounds=2):
        """Makes the prefix, unless an earlier run left one, and checks that it runs a program:
        under qemu-user a prefix whose set-up hung may hang every later start, and a server may
        be left wedged. Each round after the first makes the prefix again from nothing. Returns
        None once a program ran, or why none did, for the caller to skip its tests."""
        for attempt in range(rounds):
            if attempt:
                self.close()
                shutil.rmtree(self.prefix, ignore_errors=True)
                os.makedirs(self.prefix)
            # Made first, so that its set-up messages are not taken for a program's.
            if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                self._make_prefix()
            self._serve()
            if self.starts_programs():
                return None
        return (f"wine{self.bits} hangs starting its own programs on this machine, even in a "
                f"prefix made again from nothing ({rounds} times)")

    def _serve(self):
        """Starts a persistent server, which keeps each start short (under a second for wine64, a
        few seconds for wine32 under qemu-user)."""
        # The server outlives the test when a test ends without close(): it must not hold the
        # test's output, or whoever reads that output to its end waits for ever.
        # A server left running for this prefix by an earlier run serves as well: its refusal
        # to start a second is no failure.
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _make_prefix(self, boot_seconds=240, settle_seconds=90):
        """Runs wineboot. Now and then, under qemu-user, wineboot or one of the processes it leaves
        behind hangs for good and the server never ends: its processes are ended, and whether the
        prefix serves is then for starts_programs to tell."""
        try:
            subprocess.run([self.loader, "wineboot", "--init"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=boot_seconds)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=settle_seconds)
        except subprocess.TimeoutExpired:
            self.close()

    def starts_programs(self, seconds=180):
        """Whether wine's command interpreter, started here, starts a second one and ends with
        that one's exit code in time: the shape of a run of the front end and its engine."""
        try:
            code, _, _ = self.run(["cmd", "/c", "cmd /c exit 3"], timeout=seconds)
        except subprocess.TimeoutExpired:
            return False
        return code == 3

    def restart(self):
        """Ends every process of the prefix, a hung one among them, and starts a new server. A
        program then starts wine's own services again, which under qemu-user takes tens of
        seconds: one of wine's programs pays for that here, not the next run."""
        self.close()
        self._serve()
        self.starts_programs()

    def close(self):
        """Ends the prefix's server and programs: through the server, and where it does not answer
        or a program outlives it, by signal to every process started for this prefix."""
        try:
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        except subprocess.TimeoutExpired:
            pass
        for pid in self.processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def processes(self):
        """The processes started with this prefix in their environment: its server and its
        programs (under qemu-user, the emulator running them)."""
        marker = b"WINEPREFIX=" + self.prefix.encode() + b"\0"
        for name in os.listdir("/proc"):
            if not name.isdigit() or int(name) == os.getpid():
                continue
            try:
                with open(f"/proc/{name}/environ", "rb") as environ:
                    if (b"\0" + environ.read()).find(b"\0" + marker) >= 0:
                        yield int(name)
            except OSError:
                continue

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
                code = subprocess.run([self.loader] + list(args), cwd=cwd, env=env or self.env,
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

    def keeps_thread_identity(self, program):
        """Runs ThreadIdentity.exe; returns (kept, what it printed). Where a thread goes on with
        another's identity, the probe may also wait for ever: that is an answer too."""
        seconds = 180
        try:
            code, stdout, stderr = self.run([program], timeout=seconds)
        except subprocess.TimeoutExpired:
            return False, f"no answer within {seconds} s: the interrupted thread waits as another"
        line = stdout.decode("utf-8", "replace").strip()
        found = re.search(r"thread (\d+), interrupted by thread \d+, is thread (\d+) afterwards", line)
        return bool(found) and found.group(1) == found.group(2), line or f"exit {code}, {stderr!r}"
