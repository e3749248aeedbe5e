"""A desktop on which Prismor is used as a person uses it, with nobody at the screen.

Xvfb is the X server and openbox the window manager, so that windows get a frame and the
keyboard focus as on a real desktop. Input goes in through the X server's XTest extension
(xdotool), exactly as a keyboard and mouse would give it; what the windows show is read back
through AT-SPI, the interface that screen readers use; scrot saves what the screen shows.

AT-SPI needs a session bus: run the program that uses this module inside `dbus-run-session`,
which ends the bus, and the accessibility bus started on it, when the program ends.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

SCREEN_SIZE = "1024x768x24"
# Generous: the tests run on small machines, sometimes beside a parallel build.
DEFAULT_TIMEOUT = 30.0


class CheckFailed(AssertionError):
    pass


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


def wait_for(what, probe, timeout=DEFAULT_TIMEOUT, interval=0.1):
    """Polls probe() until it gives a true value and returns that value. An AT-SPI call made
    while the application is busy may fail; that counts as not yet."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
            if last:
                return last
        except GLib.Error as error:
            last = f"AT-SPI error: {error.message}"
        if time.monotonic() > deadline:
            raise CheckFailed(f"timed out after {timeout:.0f} s waiting for {what} "
                              f"(last seen: {last!r})")
        time.sleep(interval)


class VirtualDesktop:
    """An X server with a window manager on a free display, for the life of a `with` block."""

    def __init__(self):
        self.display = None
        self._home = tempfile.mkdtemp(prefix="prismor-desktop-")
        self._server = None
        self._window_manager = None

    def __enter__(self):
        try:
            self._start_server()
            self._start_window_manager()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for process in (self._window_manager, self._server):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self._home, ignore_errors=True)

    def kill_server(self):
        """Ends the X server at once, as a crash of the desktop does."""
        self._server.kill()
        self._server.wait()

    def server_running(self):
        return self._server is not None and self._server.poll() is None

    def env(self):
        """What a program started on this desktop needs in its environment."""
        return {"DISPLAY": self.display}

    def _start_server(self):
        # -displayfd lets the server pick a free display and say which once it accepts
        # connections, so parallel runs never race for a display number.
        read_end, write_end = os.pipe()
        self._server_log = os.path.join(self._home, "Xvfb.log")
        with open(self._server_log, "w") as log:
            self._server = subprocess.Popen(
                # -noreset: an X server resets when its last client leaves, and refuses the
                # clients that come meanwhile; the short-lived xdotool and xprop would race it.
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN_SIZE,
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        expect(number.isdigit(), f"Xvfb did not start: {self._log_of_server()}")
        self.display = f":{number}"

    def _log_of_server(self):
        with open(self._server_log) as log:
            return log.read().strip()

    def _start_window_manager(self):
        env = dict(os.environ, DISPLAY=self.display, HOME=self._home,
                   XDG_CONFIG_HOME=os.path.join(self._home, ".config"),
                   XDG_CACHE_HOME=os.path.join(self._home, ".cache"))
        log_path = os.path.join(self._home, "openbox.log")
        with open(log_path, "w") as log:
            self._window_manager = subprocess.Popen(
                ["openbox", "--sm-disable"], env=env, stdout=log, stderr=subprocess.STDOUT)

        def managing():
            if self._window_manager.poll() is not None:
                with open(log_path) as log:
                    raise CheckFailed(f"openbox ended ({self._window_manager.returncode}) "
                                      f"on display {self.display}: {log.read().strip()}; "
                                      f"Xvfb says: {self._log_of_server()}")
            return "window id" in self._x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK")
        wait_for("the window manager", managing)

    def _x(self, *command):
        result = subprocess.run(command, env=dict(os.environ, DISPLAY=self.display),
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise CheckFailed(f"{' '.join(command)} failed: {result.stderr.strip()}")
        return result.stdout

    # Input, through XTest as a keyboard and mouse give it.

    def click(self, x, y):
        self._x("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def key(self, *keys):
        self._x("xdotool", "key", "--delay", "50", *keys)

    def type_text(self, text):
        self._x("xdotool", "type", "--delay", "50", text)

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self._x("scrot", "--overwrite", path)
        return path

    # What the window manager knows of a window.

    def x_window_of(self, pid, title):
        found = wait_for(f"the X window {title!r} of process {pid}", lambda: self._x(
            "xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid),
            "--name", f"^{re.escape(title)}$").split())
        return found[0]

    def frame_extents(self, window):
        """The frame's width left, right, top (the title bar) and bottom of a client window."""
        text = self._x("xprop", "-id", window, "_NET_FRAME_EXTENTS")
        numbers = [int(n) for n in re.findall(r"\d+", text.split("=", 1)[-1])]
        expect(len(numbers) == 4, f"the window manager gave no frame extents: {text!r}")
        return numbers


# Reading windows through AT-SPI.

def children(accessible):
    return [accessible.get_child_at_index(i) for i in range(accessible.get_child_count())]


def descendants(accessible):
    for child in children(accessible):
        yield child
        yield from descendants(child)


def role(accessible):
    return accessible.get_role_name()


def name(accessible):
    return accessible.get_name() or ""


def extents(accessible):
    """(x, y, width, height) on the screen."""
    rect = accessible.get_extents(Atspi.CoordType.SCREEN)
    return rect.x, rect.y, rect.width, rect.height


def centre(accessible):
    x, y, width, height = extents(accessible)
    return x + width // 2, y + height // 2


def has_state(accessible, state):
    return accessible.get_state_set().contains(state)


def application_of(pid, timeout=DEFAULT_TIMEOUT):
    """The accessible application of a process, once it has registered with AT-SPI."""
    def registered():
        desktop = Atspi.get_desktop(0)
        for application in children(desktop):
            if application is not None and application.get_process_id() == pid:
                return application
        return None
    application = wait_for(f"process {pid} to appear on the accessibility bus", registered,
                           timeout)
    # Always ask the application itself, never a copy cached from an earlier answer.
    application.set_cache_mask(Atspi.Cache.NONE)
    return application


def top_level(application, title):
    """The showing top-level window of the application with this title, or None."""
    for window in children(application):
        if window is not None and name(window) == title and \
                has_state(window, Atspi.StateType.SHOWING):
            return window
    return None


def lines_of(text):
    """A label's text as its lines, whichever line ends it was given."""
    lines = re.split(r"\r\n|\r|\n", text)
    if lines and lines[-1] == "":
        lines.pop()
    return lines
