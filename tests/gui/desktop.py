"""A desktop of the test's own for the telvanto program (Xvfb, private session and system buses,
tvsim), seen and driven as a user or an assistive technology would. Needs Debian's /usr/bin/python3."""
import ctypes
import json
import os
import selectors
import shutil
import signal
import subprocess
import tempfile
import time

SKIP = 77  # ctest's skip status
Skip, Failure = type('Skip', (Exception,), {}), type('Failure', (AssertionError,), {})


def need(*tools):
    for tool in filter(lambda t: not shutil.which(t), tools):
        raise Skip(f'{tool} is not installed')


def wait_until(condition, timeout=20.0, what='condition', poll=None):
    """The condition's first true value; poll(seconds) waits for an event (from the TV) or a short while."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if deadline <= time.monotonic():
            raise Failure(f'timed out waiting for {what}')
        (poll or selectors.DefaultSelector().select)(min(0.05, deadline - time.monotonic()))
    return value


def _read_line(stream, what):
    selector = selectors.DefaultSelector()
    selector.register(stream, selectors.EVENT_READ)
    if not (line := stream.readline().strip() if selector.select(20) else b''):
        raise Failure(f'{what} said nothing')
    return line.decode()


class Session:
    """Xvfb, a session bus, a stand-in system bus and a home for the program's files; everything
    started here is ended here, by its process group."""

    def __init__(self):
        need('dbus-daemon', 'Xvfb')
        self.dir, self.procs = tempfile.mkdtemp(prefix='telvanto-desktop-'), []
        drop = ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM', 'DBUS_SESSION_BUS_ADDRESS', 'DBUS_SYSTEM_BUS_ADDRESS')
        self.env = {k: v for k, v in os.environ.items() if k not in drop}
        os.makedirs(self.path('runtime'), mode=0o700)
        self.env.update(XDG_RUNTIME_DIR=self.path('runtime'), XDG_CONFIG_HOME=self.path('xdg-config'), XDG_DATA_HOME=self.path('xdg-data'),
                        XDG_STATE_HOME=self.path('xdg-state'), TELVANTO_DATA_DIR=self.path('client'), TELVANTO_CONFIG_DIR=self.path('config'),
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', NO_AT_BRIDGE='0')
        try:
            for bus in ('session', 'system'):
                os.makedirs(self.path(bus))
                daemon = self.start(['dbus-daemon', '--session', '--nofork', '--nopidfile', '--print-address=1', '--address=unix:dir='
                                     + self.path(bus)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                self.env[f'DBUS_{bus.upper()}_BUS_ADDRESS'] = _read_line(daemon.stdout, f'the {bus} bus')
            read, write = os.pipe()
            self.start(['Xvfb', '-displayfd', str(write), '-noreset', '-nolisten', 'tcp', '-screen', '0', '1280x1024x24'],
                       pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write)
            with os.fdopen(read, 'rb') as pipe:
                self.display = self.env['DISPLAY'] = ':' + _read_line(pipe, 'Xvfb')
            # This process talks to the same buses and display (AT-SPI, D-Bus calls).
            os.environ.update({k: self.env[k] for k in ('DBUS_SESSION_BUS_ADDRESS', 'XDG_RUNTIME_DIR', 'DISPLAY')})
        except BaseException:
            self.close()
            raise

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def start(self, args, env=None, **kwargs):
        self.procs.append(subprocess.Popen(args, env=env or self.env, start_new_session=True, **kwargs))
        return self.procs[-1]

    def stop(self, proc):
        for sig in (signal.SIGTERM, signal.SIGKILL):  # the group: helpers (bus-activated services) leave with it
            try:
                os.killpg(proc.pid, sig)
                proc.wait(5)
            except (ProcessLookupError, PermissionError, subprocess.TimeoutExpired):
                pass
        return proc.wait()

    def close(self):
        for proc in reversed(self.procs):
            self.stop(proc)
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def telvanto(self, binary, tv, *extra, env=None):
        return self.start([binary, '--pair-port', str(tv.pairing_port), '--remote-port', str(tv.remote_port), *extra], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class Tvsim:
    """The simulated TV on loopback at free ports: its JSON events and other lines ("code X") from our pipe."""

    def __init__(self, session, binary):
        self.events, self.lines, self._buffer = [], [], b''
        self.proc = session.start([binary, '--bind', '127.0.0.1', '--pair-port', '0', '--remote-port', '0', '--state-dir', session.path('tv'),
                                   '--code-file', session.path('tv-code'), '--log', '-'],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.set_blocking(self.proc.stdout.fileno(), False)
        self._selector = selectors.DefaultSelector()
        self._selector.register(self.proc.stdout, selectors.EVENT_READ)
        started = self.wait(lambda: next((e for e in self.events if e.get('event') == 'started'), None), 'tvsim to listen')
        self.pairing_port, self.remote_port = started['pairingPort'], started['remotePort']

    def poll(self, seconds):
        if self._selector.select(seconds):
            chunk = self.proc.stdout.read() or b''
            *complete, self._buffer = (self._buffer + chunk).split(b'\n')
            for line in filter(None, (raw.decode('utf-8', 'replace') for raw in complete)):
                if line.startswith('{'):
                    self.events.append(json.loads(line))
                else:
                    self.lines.append(line)
            if not chunk and self.proc.poll() is not None:
                raise Failure('tvsim ended')

    def wait(self, condition, what, timeout=20.0):
        return wait_until(condition, timeout, what, self.poll)

    def drain(self):
        while self._selector.select(0):
            self.poll(0)

    def codes(self):
        return [line.split()[1] for line in self.lines if line.startswith('code ')]

    def code(self, after=0):
        """The pairing code the TV shows, once it has shown more than `after` codes."""
        return self.wait(lambda: self.codes()[after:][-1:], 'the TV to show a code')[0]

    def _remote(self, since=0):
        return [e for e in self.events[since:] if e.get('dir') == 'in' and e.get('port') == 'remote']

    def received(self, since=0):
        """'key home', 'text A', 'link URL' as they reached the TV."""
        words = {'key': 'key', 'imeBatch': 'text', 'appLink': 'link'}
        return [f"{words[e['msg']]} {e[words[e['msg']]]}" for e in self._remote(since) if e['msg'] in words]

    def remote_connections(self):
        return list(dict.fromkeys(e['conn'] for e in self._remote() if e['msg'] == 'configure'))


def write_settings(session, **values):
    os.makedirs(session.path('config'), exist_ok=True)
    with open(session.path('config', 'telvanto.conf'), 'w') as f:
        f.write('[General]\n' + ''.join(f'{key}={value}\n' for key, value in values.items()))


def pair_with_cli(session, cli, tv):
    proc = session.start([cli, '--pair-port', str(tv.pairing_port), '--remote-port', str(tv.remote_port), '--host', '127.0.0.1', 'pair'],
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    proc.stdin.write((tv.code(len(tv.codes())) + '\n').encode())
    proc.stdin.close()
    if tv.wait(lambda: proc.poll() is not None, 'telvanto-cli to pair') and proc.returncode:
        raise Failure(f'telvanto-cli pair ended with {proc.returncode}')


class Accessibility:

    def __init__(self, app_name='telvanto'):
        try:
            import pyatspi  # after the session's bus is in the environment
        except ImportError:
            raise Skip('python3-pyatspi is not installed (for /usr/bin/python3)')
        self.pyatspi, self.app_name = pyatspi, app_name

    def app(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        app = next((c for c in map(desktop.getChildAtIndex, range(desktop.childCount)) if c and (c.name or '').lower() == self.app_name), None)
        if app:
            app.clearCache()
        return app

    def find(self, name, role=None, prefix=False, showing=True):
        """Depth first; nodes that go away while we look are passed over (pyatspi drops their errors)."""
        wanted = lambda n: ((n.name.startswith(name) if prefix else n.name == name) and (role is None or n.getRoleName() == role)  # noqa: E731
                            and (not showing or n.getState().contains(self.pyatspi.STATE_SHOWING)))
        return (app := self.app()) and self.pyatspi.findDescendant(app, wanted)

    def wait(self, name, role=None, prefix=False, poll=None):
        return wait_until(lambda: self.find(name, role, prefix), 20, f'"{name}" on screen', poll)

    def press(self, node):
        action = node.queryAction()
        action.doAction(next(i for i in range(action.nActions) if action.getName(i).lower() in ('press', 'click', 'toggle')))

    def centre(self, node):
        box = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return box.x + box.width // 2, box.y + box.height // 2


class X11:
    """Input as a user makes it (XTest), and the top-level windows as the X server knows them."""

    def __init__(self, display):
        need('xdotool')
        x, tst, p, u, i = ctypes.CDLL('libX11.so.6'), ctypes.CDLL('libXtst.so.6'), ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
        for fn, result, args in ((x.XOpenDisplay, p, [ctypes.c_char_p]), (x.XInternAtom, u, [p, ctypes.c_char_p, i]),
                                 (x.XSendEvent, i, [p, u, i, ctypes.c_long, p]), (x.XSync, i, [p, i]), (x.XSetErrorHandler, p, [p]),
                                 (tst.XTestFakeMotionEvent, i, [p, i, i, i, u]), (tst.XTestFakeButtonEvent, i, [p, ctypes.c_uint, i, u])):
            fn.restype, fn.argtypes = result, args
        # Qt destroys a closed window's X window: a request about one that is gone must not end the test.
        self._on_error = ctypes.CFUNCTYPE(i, p, p)(lambda display, error: 0)
        x.XSetErrorHandler(ctypes.cast(self._on_error, p))
        self.display, self.x, self.tst, self.dpy = display, x, tst, x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise Failure(f'cannot open {display}')

    def xdotool(self, *args):
        return subprocess.run(['xdotool', *args], capture_output=True, text=True, env=dict(os.environ, DISPLAY=self.display)).stdout

    def windows(self, title):
        return [int(w) for w in self.xdotool('search', '--onlyvisible', '--name', f'^{title}$').split()]

    def close(self, window):
        """What a window manager does when the user closes the window: WM_DELETE_WINDOW."""
        event = (ctypes.c_long * 24)()  # an XClientMessageEvent: type, ..., window, message type, format, data
        event[0], event[4], event[6] = 33, window, 32
        event[5], event[7] = (self.x.XInternAtom(self.dpy, name, 0) for name in (b'WM_PROTOCOLS', b'WM_DELETE_WINDOW'))
        self.x.XSendEvent(self.dpy, window, 0, 0, event)
        self.x.XSync(self.dpy, 0)

    def click(self, x, y):
        """The left button pressed and released; returns the CLOCK_MONOTONIC ns at which both went out."""
        self.tst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.tst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.tst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        sent = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        self.x.XSync(self.dpy, 0)
        return sent

    def type(self, *keys, text=None):
        """Keys by keysym ("Down"), or text as a keyboard types it (xdotool picks the shifts)."""
        self.xdotool(*(['type', '--delay', '30', text] if text else ['key', *keys]))
