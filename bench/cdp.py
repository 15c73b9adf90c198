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
    # Frames as soon as the last one is done rather than at 60 Hz: a page is then presented
    # when its work is done, not at the next whole frame, so a show time is not a count of frames.
    "--disable-frame-rate-limit",
    "--remote-debugging-pipe",
]

# Enough to see each frame the tab's compositor presents (PipelineReporter) and the page's marks.
TRACE_CATEGORIES = ["blink.user_timing", "disabled-by-default-devtools.timeline.frame"]
PRESENTED = ("STATE_PRESENTED_ALL", "STATE_PRESENTED_PARTIAL")

# Runs in the page: brings one page element into view, waits until every image in it
# has been decoded (lazy images load only once near the viewport) and the fonts are
# ready, and returns its box in document coordinates.
#
# When timed (a mark is given), the page is first put well out of view, with room added after
# the document's end where it is too short for that: a page already on the screen shows
# nothing new when scrolled to, and one just beside the window may have been drawn already.
# Then, once that has settled, marks before the scroll and once the page has settled bound
# the window in which the trace is read for the frames the scroll caused (`show_time`).
# Settled: images decoded, fonts loaded, two frames begun after that (a frame cannot begin
# while the tiles of the one before are still being rastered), the main thread idle, and a
# little quiet after it.
_PREPARE_ELEMENT = r"""
(async (id, mark) => {
  const el = document.getElementById(id);
  if (!el) return null;
  const settle = async () => {
    await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
    await new Promise(r => requestIdleCallback(r, {timeout: 1000}));
    await new Promise(r => setTimeout(r, 100));
  };
  if (mark) {
    const gap = 3 * innerHeight;
    const top = el.getBoundingClientRect().top + scrollY;
    let away = top - gap - innerHeight;
    if (away < 0) {
      away = top + el.offsetHeight + gap;
      let room = document.getElementById('bench-room');
      if (!room) {
        room = document.createElement('div');
        room.id = 'bench-room';
        document.body.appendChild(room);
      }
      room.style.height = Math.max(room.offsetHeight, away + innerHeight) + 'px';
    }
    window.scrollTo(0, away);
    await settle();
  }
  await new Promise(r => requestIdleCallback(r, {timeout: 1000}));
  if (mark) performance.mark(mark + '-scroll');
  el.scrollIntoView({block: 'start', inline: 'start'});
  // A page laid out only near the window asks for its fonts in the frame after it comes near.
  await new Promise(r => requestAnimationFrame(r));
  const imgs = Array.from(el.querySelectorAll('img'));
  for (const img of imgs) img.loading = 'eager';
  await Promise.all(imgs.map(img => img.decode().catch(() => null)));
  await document.fonts.ready;
  if (mark) {
    await settle();
    performance.mark(mark + '-settled');
  }
  const r = el.getBoundingClientRect();
  return {x: r.left + window.scrollX, y: r.top + window.scrollY, width: r.width, height: r.height};
})
"""


def presented_frames(events, pid):
    """(begin, end) trace times in microseconds of every frame the given renderer presented.

    A frame's PipelineReporter is an async event whose begin carries the frame's fate and
    whose end comes when the frame reached the screen; the ends of frames that were dropped
    or had nothing new are of no interest. Begins and ends pair up by id, in order.
    """
    pending = {}
    frames = []
    reporters = [e for e in events if e.get("name") == "PipelineReporter" and e.get("pid") == pid
                 and e.get("ph") in ("b", "e")]
    # At one time stamp an end closes the frame before a begin with the same id opens the next.
    for e in sorted(reporters, key=lambda e: (e["ts"], e["ph"] == "b")):
        key = json.dumps(e.get("id2") or e.get("id"), sort_keys=True)
        if e["ph"] == "b":
            pending.setdefault(key, []).append(e)
        elif pending.get(key):
            begin = pending[key].pop(0)
            state = begin.get("args", {}).get("frame_reporter", {}).get("state")
            if state in PRESENTED:
                frames.append((begin["ts"], e["ts"]))
    return frames


def show_time(events, mark):
    """Seconds from the mark `MARK-scroll` to the end of the last frame presented before `MARK-settled`.

    That last frame is the one that put the page's final content on the screen: every frame
    the scroll caused (layout, fonts arriving, images decoded, tiles rastered) comes before
    the page settles, and an idle page presents none. None when the marks are missing or no
    frame was presented in between (nothing changed on the screen).
    """
    marks = {e["name"]: e for e in events if e.get("name") in (mark + "-scroll", mark + "-settled")}
    start, settled = marks.get(mark + "-scroll"), marks.get(mark + "-settled")
    if not start or not settled:
        return None
    ends = [end for _, end in presented_frames(events, start["pid"]) if start["ts"] < end <= settled["ts"]]
    return (max(ends) - start["ts"]) / 1e6 if ends else None


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
        self._trace = []
        self._marks = 0
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
                self._note(reply)

    def _note(self, event):
        if event["method"] == "Tracing.dataCollected":
            self._trace.extend(event["params"]["value"])
        else:
            self._events.append(event["method"])

    def _wait_event(self, name):
        while name not in self._events:
            reply = self._read_message()
            if "method" in reply:
                self._note(reply)
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

    def traced(self, expression):
        """Evaluates an expression while the tab is traced; returns its value and the trace's events."""
        self._trace = []
        self._call("Tracing.start", {"traceConfig": {"includedCategories": TRACE_CATEGORIES,
                                                     "recordMode": "recordAsMuchAsPossible"},
                                     "transferMode": "ReportEvents"})
        try:
            value = self.evaluate(expression)
        finally:
            self._events.clear()
            self._call("Tracing.end")
            self._wait_event("Tracing.tracingComplete")
        events, self._trace = self._trace, []
        return value, events

    def element_box(self, element_id, timed=True):
        """Prepares one page element for a screenshot; None when the page has no such id.

        With `timed`, the box's "shown" is the seconds from scrolling to it until the frame
        that presented its content (`show_time`), None when no frame was presented. The
        screenshot is taken of the viewport only (a capture beyond it re-lays and re-paints the
        whole document, which takes minutes on long image-heavy pages), so the viewport grows
        when a page element does not fit in it; "shown" stays that of the first showing.
        """
        mark = None
        if timed:
            self._marks += 1
            mark = f"bench-show-{self._marks}"
        call = f"{_PREPARE_ELEMENT}({json.dumps(element_id)}, {json.dumps(mark)})"
        if timed:
            box, events = self.traced(call)
            if box:
                box["shown"] = show_time(events, mark)
        else:
            box = self.evaluate(call)
        if box:
            width, height, scale = self._viewport
            need_w = math.ceil(box["x"] + box["width"]) + 16
            need_h = math.ceil(box["height"]) + 16
            if need_w > width or need_h > height:
                self._set_viewport(max(width, need_w), max(height, need_h), scale)
                shown = box.get("shown")
                box = self.evaluate(f"{_PREPARE_ELEMENT}({json.dumps(element_id)}, null)")
                if box and timed:
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
