"""Drives headless Chromium over the DevTools pipe to screenshot one page element of an HTML file at a time."""

import base64
import fcntl
import json
import math
import os
import select
import shutil
import subprocess
import tempfile

CHROMIUM_FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--no-first-run",
    "--hide-scrollbars",
    "--mute-audio",
    "--disable-extensions",
    "--font-render-hinting=none",
    "--remote-debugging-pipe",
]

# Runs in the page: brings one page element into view, waits until every image in it
# has been decoded (lazy images load only once near the viewport) and the fonts are
# ready, and returns its box in document coordinates and how long that took.
#
# The scroll waits until the tab is idle and then comes at the start of a frame, where
# Chromium hands a reader's scroll to the page. Started at whatever moment the previous
# screenshot happened to return, the first wait for a frame took anything from 0 to 17 ms,
# and which it took depended on the previous page, not on this one. The show ends where the
# second frame after the images and fonts begins, by that frame's own clock too: the moment its
# callback runs comes later the busier the main thread is with anything at all (a neighbouring
# page's drawing arriving), and that part of a frame decides nothing about when this page
# shows. So a show is a whole number of frames.
_PREPARE_ELEMENT = r"""
(async (id) => {
  const el = document.getElementById(id);
  if (!el) return null;
  await new Promise(r => requestIdleCallback(r, {timeout: 1000}));
  // Timed from the frame's own start, which its callback may come a little after.
  const start = await new Promise(r => requestAnimationFrame(r));
  el.scrollIntoView({block: 'start', inline: 'start'});
  // A page laid out only near the window asks for its fonts in the frame after it comes near.
  await new Promise(r => requestAnimationFrame(r));
  const imgs = Array.from(el.querySelectorAll('img'));
  for (const img of imgs) img.loading = 'eager';
  await Promise.all(imgs.map(img => img.decode().catch(() => null)));
  await document.fonts.ready;
  const end = await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
  const shown = end - start;
  const r = el.getBoundingClientRect();
  return {x: r.left + window.scrollX, y: r.top + window.scrollY,
          width: r.width, height: r.height, shown: shown / 1000};
})
"""


class ChromiumError(Exception):
    pass


class Chromium:
    """One browser process with one tab, talked to over --remote-debugging-pipe."""

    def __init__(self, binary="/usr/bin/chromium", timeout=300):
        self._profile = tempfile.mkdtemp(prefix="bench-chromium-")
        # Chromium reads commands from fd 3 and writes replies to fd 4.
        cmd_read, self._cmd_write = os.pipe()
        self._reply_read, reply_write = os.pipe()

        def wire_pipes():
            # Move both ends clear of 3 and 4 first: either may already sit there.
            high_read = fcntl.fcntl(cmd_read, fcntl.F_DUPFD, 10)
            high_write = fcntl.fcntl(reply_write, fcntl.F_DUPFD, 10)
            os.dup2(high_read, 3)
            os.dup2(high_write, 4)

        self._proc = subprocess.Popen(
            [binary, *CHROMIUM_FLAGS, f"--user-data-dir={self._profile}", "about:blank"],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            pass_fds=(3, 4),
            preexec_fn=wire_pipes,
        )
        os.close(cmd_read)
        os.close(reply_write)
        self._reader = os.fdopen(self._reply_read, "rb", buffering=0)
        self._buffer = b""
        self._next_id = 0
        self._events = []
        self._timeout = timeout
        self._session = None
        target = self._call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self._session = self._call(
            "Target.attachToTarget", {"targetId": target, "flatten": True}
        )["sessionId"]
        self._call("Page.enable")
        self._call("Runtime.enable")

    def close(self):
        try:
            self._call("Browser.close", session=False)
        except (ChromiumError, OSError):
            pass
        try:
            self._proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._proc.kill()
            self._proc.wait()
        try:
            os.close(self._cmd_write)
        except OSError:
            pass
        self._reader.close()
        shutil.rmtree(self._profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _read_message(self):
        while b"\0" not in self._buffer:
            ready, _, _ = select.select([self._reader], [], [], self._timeout)
            if not ready:
                raise ChromiumError(f"Chromium sent nothing for {self._timeout} s")
            chunk = self._reader.read(1 << 20)
            if not chunk:
                raise ChromiumError("Chromium closed its DevTools pipe")
            self._buffer += chunk
        raw, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(raw)

    def _call(self, method, params=None, session=True):
        self._next_id += 1
        msg = {"id": self._next_id, "method": method, "params": params or {}}
        if session and self._session:
            msg["sessionId"] = self._session
        data = json.dumps(msg).encode() + b"\0"
        while data:
            data = data[os.write(self._cmd_write, data):]
        while True:
            reply = self._read_message()
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise ChromiumError(f"{method}: {reply['error'].get('message')}")
                return reply.get("result", {})
            if "method" in reply:
                self._events.append(reply["method"])

    def _wait_event(self, name):
        while name not in self._events:
            reply = self._read_message()
            if "method" in reply:
                self._events.append(reply["method"])
        self._events.clear()

    def _set_viewport(self, width, height, scale):
        self._viewport = (width, height, scale)
        self._call(
            "Emulation.setDeviceMetricsOverride",
            {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": False},
        )

    def open(self, path, scale, width=1600, height=1200):
        """Loads a local HTML file with the given device scale factor."""
        self._set_viewport(width, height, scale)
        self._events.clear()
        self._call("Page.navigate", {"url": "file://" + os.path.abspath(path)})
        self._wait_event("Page.loadEventFired")

    def evaluate(self, expression):
        result = self._call(
            "Runtime.evaluate",
            {"expression": expression, "awaitPromise": True, "returnByValue": True},
        )
        if "exceptionDetails" in result:
            raise ChromiumError(f"script failed: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def element_box(self, element_id):
        """Prepares one page element for a screenshot; None when the page has no such id.

        The box's "shown" is the seconds from scrolling to it until it was painted. The
        screenshot is taken of the viewport only (a capture beyond it re-lays and re-paints
        the whole document, which takes minutes on long image-heavy pages), so the viewport
        grows when a page element does not fit in it; "shown" stays that of the first showing.
        """
        box = self.evaluate(f"{_PREPARE_ELEMENT}({json.dumps(element_id)})")
        if box:
            width, height, scale = self._viewport
            need_w = math.ceil(box["x"] + box["width"]) + 16
            need_h = math.ceil(box["height"]) + 16
            if need_w > width or need_h > height:
                self._set_viewport(max(width, need_w), max(height, need_h), scale)
                shown = box["shown"]
                box = self.evaluate(f"{_PREPARE_ELEMENT}({json.dumps(element_id)})")
                if box:
                    box["shown"] = shown
        return box

    def screenshot(self, box):
        """PNG bytes of a box in document coordinates, at the current device scale."""
        clip = {
            "x": box["x"],
            "y": box["y"],
            "width": box["width"],
            "height": box["height"],
            "scale": 1,
        }
        shot = self._call(
            "Page.captureScreenshot",
            {"format": "png", "clip": clip, "captureBeyondViewport": False, "fromSurface": True,
             "optimizeForSpeed": True},
        )
        return base64.b64decode(shot["data"])
