"""Headless Chromium driven over the DevTools protocol through a pipe
(--remote-debugging-pipe: JSON messages ending in a NUL byte on file descriptors 3
and 4), with the standard library only. Used by the replay page's browser test and
its load benchmark.

The browser gets no network: a proxy that does not exist, a host resolver that
finds nothing, and every request the page makes is recorded so a caller can check
that none left the file. WebGL runs on the software renderer (SwiftShader), so no
GPU and no display are needed.
"""
import base64
import fcntl
import json
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import time


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class ChromiumError(RuntimeError):
    pass


class Chromium:
    def __init__(self, width=1000, height=700, timeout=60.0, exe=None):
        self.exe = exe or find_chromium()
        if self.exe is None:
            raise ChromiumError("no chromium on PATH (scripts/install-deps.sh installs Debian's chromium)")
        self.timeout = timeout
        self.width, self.height = width, height
        self.profile = tempfile.mkdtemp(prefix="rg-chromium-")
        to_child_r, self._to_child = os.pipe()
        self._from_child, from_child_w = os.pipe()
        # high copies first, so that moving them to 3 and 4 cannot overwrite each other
        hi_r = fcntl.fcntl(to_child_r, fcntl.F_DUPFD, 20)
        hi_w = fcntl.fcntl(from_child_w, fcntl.F_DUPFD, 20)
        for fd in (to_child_r, from_child_w):
            os.close(fd)

        def pipes_at_3_and_4():
            os.dup2(hi_r, 3)
            os.dup2(hi_w, 4)

        args = [self.exe, "--headless=new", "--no-sandbox", "--remote-debugging-pipe",
                "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--ignore-gpu-blocklist",
                "--user-data-dir=" + self.profile, "--no-first-run", "--no-default-browser-check",
                "--disable-extensions", "--disable-background-networking", "--disable-sync",
                "--disable-component-update", "--mute-audio", "--hide-scrollbars",
                "--proxy-server=127.0.0.1:9", "--proxy-bypass-list=<-loopback>",
                "--host-resolver-rules=MAP * ~NOTFOUND",
                "--window-size=%d,%d" % (width, height), "about:blank"]
        self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, pass_fds=(3, 4),
                                     preexec_fn=pipes_at_3_and_4)
        os.close(hi_r)
        os.close(hi_w)
        self._next_id = 0
        self._replies = {}
        self._events = queue.Queue()
        self._cond = threading.Condition()
        self._closed = False
        self.requests = []  # URLs the page asked for
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._stderr = []
        threading.Thread(target=lambda: self._stderr.append(self.proc.stderr.read()), daemon=True).start()
        self.session = None

    # --- the pipe ---------------------------------------------------------------
    def _read(self):
        buf = b""
        while True:
            chunk = os.read(self._from_child, 1 << 16)
            if not chunk:
                break
            buf += chunk
            while b"\0" in buf:
                raw, buf = buf.split(b"\0", 1)
                msg = json.loads(raw)
                if "id" in msg:
                    with self._cond:
                        self._replies[msg["id"]] = msg
                        self._cond.notify_all()
                else:
                    if msg.get("method") == "Network.requestWillBeSent":
                        self.requests.append(msg["params"]["request"]["url"])
                    self._events.put(msg)
        with self._cond:
            self._closed = True
            self._cond.notify_all()

    def call(self, method, params=None, session=True, timeout=None):
        self._next_id += 1
        mid = self._next_id
        msg = {"id": mid, "method": method, "params": params or {}}
        if session and self.session:
            msg["sessionId"] = self.session
        os.write(self._to_child, json.dumps(msg).encode() + b"\0")
        deadline = time.monotonic() + (timeout or self.timeout)
        with self._cond:
            while mid not in self._replies:
                left = deadline - time.monotonic()
                if self._closed or left <= 0:
                    raise ChromiumError("no reply to %s (%s)" % (
                        method, "browser ended" if self._closed else "timed out"))
                self._cond.wait(left)
            reply = self._replies.pop(mid)
        if "error" in reply:
            raise ChromiumError("%s: %s" % (method, reply["error"]))
        return reply.get("result", {})

    def wait_event(self, method, timeout=None):
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise ChromiumError("no %s event" % method)
            try:
                msg = self._events.get(timeout=left)
            except queue.Empty:
                continue
            if msg.get("method") == method:
                return msg.get("params", {})

    # --- a page -------------------------------------------------------------------
    def open(self, url):
        """Opens url in a new page of the given size and waits for its load event."""
        target = self.call("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True},
                                 session=False)["sessionId"]
        self.call("Page.enable")
        self.call("Network.enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": self.width, "height": self.height, "deviceScaleFactor": 1, "mobile": False})
        self.call("Page.navigate", {"url": url})
        self.wait_event("Page.loadEventFired")

    def evaluate(self, expression, timeout=None):
        """The value of a JavaScript expression (awaited when it is a promise), by JSON."""
        r = self.call("Runtime.evaluate", {"expression": "(async () => JSON.stringify(await (%s)))()" % expression,
                                           "awaitPromise": True, "returnByValue": True}, timeout=timeout)
        if "exceptionDetails" in r:
            d = r["exceptionDetails"]
            raise ChromiumError("page script failed: %s" % d.get("exception", {}).get("description", d.get("text")))
        value = r["result"].get("value")
        return None if value is None else json.loads(value)

    def screenshot(self):
        """The page as PNG bytes."""
        return base64.b64decode(self.call("Page.captureScreenshot", {"format": "png"})["data"])

    def close(self):
        try:
            if self.proc.poll() is None:
                try:
                    self.call("Browser.close", session=False, timeout=10)
                except ChromiumError:
                    pass
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        finally:
            os.close(self._to_child)
            shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
