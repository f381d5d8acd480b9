#!/usr/bin/python3
"""The telvanto program as a whole on a desktop of the test's own, against tvsim. Environment: TELVANTO, TVSIM,
TELVANTO_CLI (the programs), PANEL_FIXTURE and PANEL_GOLDEN (the stand-in screen-mirroring panel and its dump)."""
import os
import signal
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import SKIP, Accessibility, Session, Skip, Tvsim, X11, need, pair_with_cli, wait_until, write_settings  # noqa: E402

TELVANTO, TVSIM, CLI, FIXTURE = (os.environ.get(name, '') for name in ('TELVANTO', 'TVSIM', 'TELVANTO_CLI', 'PANEL_FIXTURE'))


def same(got, expected, what):
    assert got == expected, f'{what}: {got!r}, expected {expected!r}'


class Tray:
    """The program's tray item and menu over D-Bus, as a panel (watcher and host) reads and clicks them."""

    def __init__(self, session):
        from gi.repository import Gio, GLib
        need('status-notifier-watcher')
        self.GLib, self.bus = GLib, Gio.bus_get_sync(Gio.BusType.SESSION)
        session.start(['status-notifier-watcher'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        host = f'org.kde.StatusNotifierHost-{os.getpid()}'
        wait_until(lambda: self.running('org.kde.StatusNotifierWatcher'), what='the tray watcher')
        self.call(*self.BUS, 'RequestName', '(su)', host, 4)
        self.call(*self.WATCHER, 'RegisterStatusNotifierHost', '(s)', host)

    BUS = ('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus')
    WATCHER = ('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher', 'org.kde.StatusNotifierWatcher')

    def running(self, service):
        return self.call(*self.BUS, 'NameHasOwner', '(s)', service)[0]

    def call(self, service, path, interface, method, signature=None, *args):
        variant = self.GLib.Variant(signature, args) if signature else None
        return self.bus.call_sync(service, path, interface, method, variant, None, 0, -1, None).unpack()

    def get(self, service, path, interface, name):
        return self.call(service, path, 'org.freedesktop.DBus.Properties', 'Get', '(ss)', interface, name)[0]

    def click(self, tv, label):
        """The item (an entry "service/path", or a bare service at the usual path), its menu, and a click on a top entry.
        The watcher keeps listing items of programs that have ended."""
        items = wait_until(lambda: [i for i in self.get(*self.WATCHER, 'RegisteredStatusNotifierItems') if self.running(i.partition('/')[0])],
                           what='the tray item', poll=tv.poll)
        service, _, path = items[0].partition('/')
        menu = self.get(service, '/' + path if path else '/StatusNotifierItem', 'org.kde.StatusNotifierItem', 'Menu')
        nodes = self.call(service, menu, 'com.canonical.dbusmenu', 'GetLayout', '(iias)', 0, -1, [])[1][2]
        entry = next(n for n, props, _ in nodes if props.get('label') == label)
        self.call(service, menu, 'com.canonical.dbusmenu', 'AboutToShow', '(i)', 0)  # the menu opens first
        self.call(service, menu, 'com.canonical.dbusmenu', 'Event', '(isvu)', entry, 'clicked', self.GLib.Variant('i', 0), 0)


def scenario():
    """A fresh profile paired through the window, then its controls, the tray, a second instance, a wake
    and Ctrl+Q, on one program started with -dumpControlCenter; then without buses and without a display.
    Texts, menu items and key tables are the lower tests'; this proves the parts work together."""
    with Session() as session:
        tray, tv = Tray(session), Tvsim(session, TVSIM)
        session.start([FIXTURE, 'Spálňa=on', 'AS-Obývačka'], env=dict(session.env, QT_QPA_PLATFORM='xcb', LANG='C.UTF-8'))
        wait_until(lambda: Accessibility('com.apple.controlcenter').app(), what='the panel on the accessibility bus', poll=tv.poll)
        write_settings(session, tvHost='127.0.0.1')
        dump = session.path('panel dump.txt')
        app = session.telvanto(TELVANTO, tv, '-dumpControlCenter', dump)
        a11y, x = Accessibility(), X11(session.display)

        # Another profile is another instance, with a window of its own.
        other = session.telvanto(TELVANTO, tv, env=dict(session.env, TELVANTO_CONFIG_DIR=session.path('other'), TELVANTO_DATA_DIR=session.path('other')))
        wait_until(lambda: len(x.windows('Telvanto')) == 2, what='a window for each profile', poll=tv.poll)
        # The panel as the program read it at start-up, written to the path given.
        wait_until(lambda: os.path.exists(dump), 30, 'the dump', poll=tv.poll)
        with open(dump) as got, open(os.environ.get('PANEL_GOLDEN', '')) as golden:
            same(got.read().replace(FIXTURE, 'FIXTURE'), golden.read(), 'the dump')
        session.stop(other)

        # Pairing starts by itself (the TV's address is known); the user cancels and starts again.
        a11y.wait('Kód z TV', poll=tv.poll)
        tv.code()
        shown = len(tv.codes())
        a11y.press(a11y.wait('Zrušiť', 'push button'))
        a11y.press(a11y.wait('Spárovať', 'push button', poll=tv.poll))
        x.click(*a11y.centre(a11y.wait('Kód z TV', poll=tv.poll)))
        x.type(text=tv.code(shown))
        a11y.wait('Pripojené', poll=tv.poll)

        # Domov, a tap on the pad, text, an app tile and an arrow key reach the TV in order.
        since = len(tv.events)
        last = lambda what, word: tv.wait(lambda: tv.received(since)[-1:] == [word], what)  # noqa: E731
        a11y.press(a11y.wait('Domov', 'push button'))
        last('home at the TV', 'key home')
        x.click(*a11y.centre(a11y.wait('Touchpad', prefix=True)))
        last('the tap at the TV', 'key center')
        a11y.press(a11y.wait('Klávesnica', 'push button'))
        x.click(*a11y.centre(a11y.wait('Text do TV', poll=tv.poll)))
        x.type(text='Ahoj')
        last('the text at the TV', 'text j')
        # The apps are scrolled out of sight: pressed as an assistive technology does.
        a11y.press(wait_until(lambda: a11y.find('YouTube', 'push button', showing=False), what='the YouTube tile'))
        last('the app at the TV', 'link https://www.youtube.com')
        # With the text row closed the arrow keys drive the TV.
        a11y.press(a11y.find('Klávesnica', 'push button', showing=False))
        wait_until(lambda: not a11y.find('Text do TV'), what='the text row to close')
        x.type('Down')
        last('the arrow key at the TV', 'key down')
        same(tv.received(since), ['key home', 'key center', 'text A', 'text h', 'text o', 'text j', 'link https://www.youtube.com',
                                  'key down'], 'the TV received')

        # Closing the window leaves the program; a second instance (no TV connection of its
        # own, exit 0) and the tray bring the window back, one window each time.
        for reopen in ('second instance', 'tray'):
            x.close(wait_until(lambda: x.windows('Telvanto'), what='the window')[0])
            wait_until(lambda: not x.windows('Telvanto'), what='the window to close')
            assert app.poll() is None, 'closing the window ended the program'
            tv.drain()
            connections = len(tv.remote_connections())
            if reopen == 'tray':
                tray.click(tv, 'Otvoriť ovládač')
            else:
                second = session.telvanto(TELVANTO, tv)
                same(wait_until(lambda: second.poll() is not None and [second.returncode], 20, 'the second instance to leave', tv.poll),
                     [0], 'the second instance\'s exit status')
            wait_until(lambda: x.windows('Telvanto'), what=f'the window back from the {reopen}')
            same(len(x.windows('Telvanto')), 1, 'windows')
            tv.drain()
            same(len(tv.remote_connections()), connections, f'connections after the {reopen}')

        # A stand-in logind on the private system bus: waking from sleep reconnects.
        from gi.repository import Gio, GLib
        system = Gio.DBusConnection.new_for_address_sync(session.env['DBUS_SYSTEM_BUS_ADDRESS'], Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                                                         | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        system.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'RequestName',
                         GLib.Variant('(su)', ('org.freedesktop.login1', 4)), None, 0, -1, None)
        system.emit_signal(None, '/org/freedesktop/login1', 'org.freedesktop.login1.Manager', 'PrepareForSleep', GLib.Variant('(b)', (False,)))
        tv.wait(lambda: len(tv.remote_connections()) > connections, 'a new connection after the wake')
        tv.wait(lambda: a11y.find('Pripojené', showing=False), 'connected again (the header is scrolled away)')

        # Ctrl+Q in the window (focused by a click in its margin) ends the program.
        frame = a11y.find('Telvanto', 'frame').queryComponent().getExtents(a11y.pyatspi.DESKTOP_COORDS)
        x.click(frame.x + 4, frame.y + frame.height // 2)
        x.type('ctrl+q')
        same(wait_until(lambda: app.poll() is not None and [app.returncode], what='the program to end'), [0], 'telvanto\'s exit status')

        # No buses: no tray, single-instance guard or wake; the window and the TV work all the same.
        pair_with_cli(session, CLI, tv)  # a profile paired by the command-line tool serves as well
        gone, since = 'unix:path=' + session.path('no-such-bus'), len(tv.events)
        app = session.telvanto(TELVANTO, tv, env=dict(session.env, DBUS_SESSION_BUS_ADDRESS=gone, DBUS_SYSTEM_BUS_ADDRESS=gone))
        wait_until(lambda: x.windows('Telvanto'), what='the window without buses', poll=tv.poll)
        tv.wait(lambda: any(e.get('msg') == 'setActive' and e.get('dir') == 'in' for e in tv.events[since:]), 'the handshake without buses')
        assert app.poll() is None, 'telvanto ended'
        same(session.stop(app), 0, 'telvanto\'s exit status')
        # Without a display: a clear message and a plain non-zero exit, never an abort.
        bare = {k: v for k, v in session.env.items() if k != 'DISPLAY'}
        for extra, message in (({}, 'no display'), ({'DISPLAY': ':4093'}, 'cannot open the display :4093'),
                               ({'WAYLAND_DISPLAY': 'wayland-404'}, 'no display')):
            done = subprocess.run([TELVANTO], env=dict(bare, **extra), capture_output=True, text=True, timeout=30)
            assert done.returncode == 1 and message in done.stderr, f'{extra}: exit status {done.returncode}, said {done.stderr!r}'


def main():
    # Ended from outside (a ctest timeout, ^C): the desktop and its processes are cleaned up all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        scenario()  # a failure ends the test with its traceback, exit status 1
    except Skip as why:
        print(f'skipped: {why}')
        return SKIP
    return 0


if __name__ == '__main__':
    sys.exit(main())
