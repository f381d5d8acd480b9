"""A desktop of the test's own for the telvanto program: a virtual X display, private session
and system buses, the simulated TV, and ways to see and drive the window as a user or an
assistive technology would (AT-SPI, synthesized X input). Shared by the tests and the
benchmark script. Needs Debian's /usr/bin/python3 (python3-pyatspi).
"""
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


class Skip(Exception):
    pass


class Failure(AssertionError):
    pass


def need(*tools):
    for tool in tools:
        if not shutil.which(tool):
            raise Skip(f'{tool} is not installed')


def wait_until(condition, timeout=20.0, what='condition', poll=None):
    """Returns the condition's first true value; fails after the timeout. poll(seconds) waits
    for something to happen (an event from the TV), or for a short while at most."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        left = deadline - time.monotonic()
        if left <= 0:
            raise Failure(f'timed out waiting for {what}')
        (poll or _pause)(min(0.05, left))


def _pause(seconds):
    selectors.DefaultSelector().select(seconds)


class Session:
    """Xvfb on a display it picks itself, a session bus and a stand-in system bus, and a home
    for the program's files. Everything started here is ended here, by its process id."""

    def __init__(self, display=True):
        need('dbus-daemon')
        if display:
            need('Xvfb')
        self.dir = tempfile.mkdtemp(prefix='telvanto-desktop-')
        self.procs = []
        self.env = dict(os.environ)
        for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM', 'DBUS_SESSION_BUS_ADDRESS',
                     'DBUS_SYSTEM_BUS_ADDRESS', 'XDG_RUNTIME_DIR'):
            self.env.pop(name, None)
        runtime = self.path('runtime')
        os.makedirs(runtime, mode=0o700)
        self.env.update({
            'XDG_RUNTIME_DIR': runtime,
            'XDG_CONFIG_HOME': self.path('xdg-config'),
            'XDG_DATA_HOME': self.path('xdg-data'),
            'XDG_STATE_HOME': self.path('xdg-state'),
            'TELVANTO_DATA_DIR': self.path('client'),
            'TELVANTO_CONFIG_DIR': self.path('config'),
            'QT_LINUX_ACCESSIBILITY_ALWAYS_ON': '1',
            'NO_AT_BRIDGE': '0',
        })
        try:
            self.env['DBUS_SESSION_BUS_ADDRESS'] = self._bus('session')
            self.env['DBUS_SYSTEM_BUS_ADDRESS'] = self._bus('system')
            if display:
                self.display = self._xvfb()
                self.env['DISPLAY'] = self.display
            # This process talks to the same buses and display (AT-SPI, D-Bus calls).
            os.environ.update({k: self.env[k] for k in ('DBUS_SESSION_BUS_ADDRESS', 'XDG_RUNTIME_DIR')})
            if display:
                os.environ['DISPLAY'] = self.display
        except BaseException:
            self.close()
            raise

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def start(self, args, env=None, **kwargs):
        """A process of the test, in its own process group so that its helpers end with it."""
        proc = subprocess.Popen(args, env=env or self.env, start_new_session=True, **kwargs)
        self.procs.append(proc)
        return proc

    def _bus(self, name):
        folder = self.path(name + '-bus')
        os.makedirs(folder)
        bus = self.start(['dbus-daemon', '--session', '--nofork', '--nopidfile', '--print-address=1',
                          '--address=unix:dir=' + folder], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        address = _read_line(bus.stdout, 10, 'the ' + name + ' bus')
        return address.decode().strip()

    def _xvfb(self):
        read, write = os.pipe()
        self.start(['Xvfb', '-displayfd', str(write), '-noreset', '-nolisten', 'tcp',
                    '-screen', '0', '1280x1024x24'], pass_fds=(write,), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = _read_line(pipe, 20, 'Xvfb').strip()
        if not number:
            raise Failure('Xvfb did not start')
        return ':' + number

    def stop(self, proc, timeout=10):
        """Ends a process of the test politely, then firmly; returns its exit status."""
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        return proc.returncode

    def close(self):
        for proc in reversed(self.procs):
            self.stop(proc, 5)
            # Helpers the process started (bus-activated services) leave with its group.
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def _read_line(stream, timeout, what):
    selector = selectors.DefaultSelector()
    selector.register(stream, selectors.EVENT_READ)
    if not selector.select(timeout):
        raise Failure(f'{what} said nothing')
    return stream.readline()


class Tvsim:
    """The simulated TV on loopback at free ports; its event log arrives on our pipe."""

    def __init__(self, session, binary, *extra):
        self.session = session
        self.events = []  # JSON objects, as logged
        self.lines = []   # the other lines: "code X", "paired", "app P"
        self.proc = session.start([binary, '--bind', '127.0.0.1', '--pair-port', '0', '--remote-port', '0',
                                   '--state-dir', session.path('tv'), '--code-file', session.path('tv-code'),
                                   '--log', '-', *extra],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.set_blocking(self.proc.stdout.fileno(), False)
        self._buffer = b''
        self._selector = selectors.DefaultSelector()
        self._selector.register(self.proc.stdout, selectors.EVENT_READ)
        started = wait_until(lambda: self._find_event('started'), 20, 'tvsim to listen', self.poll)
        self.pairing_port = started['pairingPort']
        self.remote_port = started['remotePort']

    def poll(self, seconds):
        """Waits up to the time for the TV to say something, and takes in what it said."""
        if self._selector.select(seconds):
            chunk = self.proc.stdout.read() or b''
            self._buffer += chunk
            *complete, self._buffer = self._buffer.split(b'\n')
            for raw in complete:
                line = raw.decode('utf-8', 'replace')
                if line.startswith('{'):
                    self.events.append(json.loads(line))
                elif line:
                    self.lines.append(line)
            if not chunk and self.proc.poll() is not None:
                raise Failure('tvsim ended')

    def _find_event(self, name):
        return next((e for e in self.events if e.get('event') == name), None)

    def wait(self, condition, what, timeout=20.0):
        return wait_until(condition, timeout, what, self.poll)

    def drain(self):
        """Takes in everything the TV has said so far."""
        before = -1
        while before != len(self.events) + len(self.lines):
            before = len(self.events) + len(self.lines)
            self.poll(0)

    def codes(self):
        return [l.split()[1] for l in self.lines if l.startswith('code ')]

    def code(self, after=0):
        """The pairing code the TV shows, once it has shown more than `after` codes."""
        return self.wait(lambda: self.codes()[after:][-1:], 'the TV to show a code')[0]

    def received(self, since=0):
        """What reached the TV on remote connections: 'key home', 'text A', 'link URL'."""
        out = []
        for e in self.events[since:]:
            if e.get('dir') != 'in' or e.get('port') != 'remote':
                continue
            if e['msg'] == 'key':
                out.append('key ' + e['key'])
            elif e['msg'] == 'imeBatch':
                out.append('text ' + e['text'])
            elif e['msg'] == 'appLink':
                out.append('link ' + e['link'])
        return out

    def remote_connections(self):
        """Ids of remote connections the TV has seen configured, in order."""
        seen = []
        for e in self.events:
            if e.get('dir') == 'in' and e.get('port') == 'remote' and e['msg'] == 'configure' and e['conn'] not in seen:
                seen.append(e['conn'])
        return seen

    def command(self, line):
        self.proc.stdin.write((line + '\n').encode())
        self.proc.stdin.flush()


def write_settings(session, **values):
    """The program's settings file, as the program itself keeps it."""
    os.makedirs(session.path('config'), exist_ok=True)
    with open(session.path('config', 'telvanto.conf'), 'w') as f:
        f.write('[General]\n')
        for key, value in values.items():
            f.write(f'{key}={value}\n')


def pair_with_cli(session, cli, tv):
    """Pairs the profile with the TV through telvanto-cli, typing the code the TV shows."""
    proc = session.start([cli, '--pair-port', str(tv.pairing_port), '--remote-port', str(tv.remote_port),
                          '--host', '127.0.0.1', 'pair'], stdin=subprocess.PIPE,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    code = tv.code(len(tv.codes()))
    proc.stdin.write((code + '\n').encode())
    proc.stdin.close()
    tv.wait(lambda: proc.poll() is not None, 'telvanto-cli to pair')
    if proc.returncode != 0:
        raise Failure(f'telvanto-cli pair ended with {proc.returncode}')


def start_telvanto(session, binary, tv, *extra, env=None):
    return session.start([binary, '--pair-port', str(tv.pairing_port), '--remote-port', str(tv.remote_port), *extra],
                         env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


# --- AT-SPI: the window as a screen reader sees it ---

class Accessibility:
    def __init__(self, app_name='telvanto'):
        try:
            import pyatspi  # after the session's bus is in the environment
        except ImportError:
            raise Skip('python3-pyatspi is not installed (for /usr/bin/python3)')
        self.pyatspi = pyatspi
        self.app_name = app_name

    def app(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            child = desktop.getChildAtIndex(i)
            if child is not None and (child.name or '').lower() == self.app_name:
                child.clearCache()
                return child
        return None

    def find(self, name, role=None, prefix=False, showing=True):
        """The first node, depth first, with this accessible name (and role name)."""
        app = self.app()
        if app is None:
            return None
        stack = [app]
        while stack:
            node = stack.pop()
            try:
                node_name = node.name or ''
                hit = node_name.startswith(name) if prefix else node_name == name
                if hit and (role is None or node.getRoleName() == role):
                    if not showing or node.getState().contains(self.pyatspi.STATE_SHOWING):
                        return node
                stack.extend(reversed([node.getChildAtIndex(i) for i in range(node.childCount)]))
            except Exception:  # a node that went away while we looked
                continue
        return None

    def wait(self, name, role=None, prefix=False, timeout=20.0, poll=None):
        return wait_until(lambda: self.find(name, role, prefix), timeout, f'"{name}" on screen', poll)

    def names(self):
        """Every name showing, for failure messages."""
        out = []
        app = self.app()
        stack = [app] if app else []
        while stack:
            node = stack.pop()
            try:
                if node.name and node.getState().contains(self.pyatspi.STATE_SHOWING):
                    out.append(f'{node.getRoleName()}:{node.name}')
                stack.extend(node.getChildAtIndex(i) for i in range(node.childCount))
            except Exception:
                continue
        return out

    def press(self, node):
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ('Press', 'press', 'click', 'Toggle', 'toggle'):
                action.doAction(i)
                return
        raise Failure(f'"{node.name}" has no press action')

    def centre(self, node):
        box = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return box.x + box.width // 2, box.y + box.height // 2


# --- X11: input as a user makes it, and the window as the X server knows it ---

class _ClientMessage(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [('client', _ClientMessage), ('pad', ctypes.c_long * 24)]


class _Attributes(ctypes.Structure):
    _fields_ = [('x', ctypes.c_int), ('y', ctypes.c_int), ('width', ctypes.c_int), ('height', ctypes.c_int),
                ('border_width', ctypes.c_int), ('depth', ctypes.c_int), ('visual', ctypes.c_void_p),
                ('root', ctypes.c_ulong), ('class_', ctypes.c_int), ('bit_gravity', ctypes.c_int),
                ('win_gravity', ctypes.c_int), ('backing_store', ctypes.c_int), ('backing_planes', ctypes.c_ulong),
                ('backing_pixel', ctypes.c_ulong), ('save_under', ctypes.c_int), ('colormap', ctypes.c_ulong),
                ('map_installed', ctypes.c_int), ('map_state', ctypes.c_int), ('all_event_masks', ctypes.c_long),
                ('your_event_mask', ctypes.c_long), ('do_not_propagate_mask', ctypes.c_long),
                ('override_redirect', ctypes.c_int), ('screen', ctypes.c_void_p)]


class X11:
    IS_VIEWABLE = 2

    def __init__(self, display):
        self.x = ctypes.CDLL('libX11.so.6')
        self.xtst = ctypes.CDLL('libXtst.so.6')
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XInternAtom.restype = ctypes.c_ulong
        self.x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        self.x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_void_p,
                                      ctypes.c_void_p, ctypes.c_void_p]
        self.x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XStringToKeysym.restype = ctypes.c_ulong
        self.x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        # Windows come and go under us (Qt destroys a closed window's X window): a request
        # about one that is gone answers "not there" instead of ending the test.
        handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda display, error: 0)
        self._error_handler = handler
        self.x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
        self.x.XSetErrorHandler(ctypes.cast(handler, ctypes.c_void_p))
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise Failure(f'cannot open {display}')

    def shown(self, title):
        """Whether a top-level window with this title is on screen."""
        return any(self.viewable(w) for w in self.windows(title))

    def windows(self, title):
        """Top-level windows with this title."""
        root = self.x.XDefaultRootWindow(self.dpy)
        root_ret, parent_ret = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x.XQueryTree(self.dpy, root, ctypes.byref(root_ret), ctypes.byref(parent_ret), ctypes.byref(children),
                          ctypes.byref(count))
        out = []
        for i in range(count.value):
            name = ctypes.c_char_p()
            if self.x.XFetchName(self.dpy, children[i], ctypes.byref(name)) and name.value is not None:
                if name.value.decode('utf-8', 'replace') == title:
                    out.append(children[i])
                self.x.XFree(name)
        if children:
            self.x.XFree(children)
        return out

    def viewable(self, window):
        attributes = _Attributes()
        if not self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attributes)):
            return False
        return attributes.map_state == self.IS_VIEWABLE

    def close(self, window):
        """What a window manager does when the user closes the window."""
        event = _Event()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = self.x.XInternAtom(self.dpy, b'WM_PROTOCOLS', 0)
        event.client.format = 32
        event.client.data[0] = self.x.XInternAtom(self.dpy, b'WM_DELETE_WINDOW', 0)
        self.x.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(event))
        self.x.XFlush(self.dpy)

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x.XSync(self.dpy, 0)

    def click(self, x, y, sync=True):
        """Press and release of the first button at the point; returns the CLOCK_MONOTONIC
        time at which both went to the server."""
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        sent = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        self.x.XFlush(self.dpy)
        if sync:
            self.x.XSync(self.dpy, 0)
        return sent

    def wheel(self, x, y, down=True):
        """One notch of the mouse wheel at the point."""
        button = 5 if down else 4
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, button, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, button, 0, 0)
        self.x.XSync(self.dpy, 0)

    def key(self, keysym):
        """A key without modifiers, by its keysym name ("Down", "Return")."""
        code = self.x.XKeysymToKeycode(self.dpy, self.x.XStringToKeysym(keysym.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x.XSync(self.dpy, 0)


def type_text(session, text):
    """Types as a keyboard would, into whatever has the focus (xdotool picks the shifts)."""
    subprocess.run(['xdotool', 'type', '--delay', '30', text], env=session.env, check=True)
