#!/usr/bin/python3
"""The telvanto program as a whole, on a desktop of the test's own, against tvsim.

usage: app_test.py SCENARIO   (one of the names in SCENARIOS)
environment: TELVANTO, TVSIM, TELVANTO_CLI (the programs), ARTIFACTS (a folder for screenshots)
"""
import os
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (SKIP, Accessibility, Failure, Session, Skip, Tvsim, X11, need, pair_with_cli,
                     start_telvanto, type_text, wait_until, write_settings)

TELVANTO = os.environ.get('TELVANTO', '')
TVSIM = os.environ.get('TVSIM', '')
CLI = os.environ.get('TELVANTO_CLI', '')


def screenshot(session, name):
    """Keeps what the display shows, for a reader of a failed run."""
    folder = os.environ.get('ARTIFACTS')
    if not folder or not all(map(lambda t: subprocess.run(['which', t], capture_output=True).returncode == 0,
                                 ('xwd', 'xwdtopnm', 'pnmtopng'))):
        return
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + '.png'), 'wb') as out:
        subprocess.run(f'xwd -root -display {session.display} | xwdtopnm 2>/dev/null | pnmtopng',
                       shell=True, stdout=out, env=session.env)


def expect(condition, message):
    if not condition:
        raise Failure(message)


def connected_app(session, tv, *extra, pair=True):
    """telvanto on a profile paired with the TV, its window up and connected."""
    write_settings(session, tvHost='127.0.0.1', tvName='Test TV')
    if pair:
        pair_with_cli(session, CLI, tv)
    app = start_telvanto(session, TELVANTO, tv, *extra)
    a11y = Accessibility()
    a11y.wait('Pripojené', poll=tv.poll)
    return app, a11y


def scrolled_to(a11y, x, name, role):
    """The node, after scrolling the window (by the wheel, in its left margin) until it shows."""
    pad_x, pad_y = a11y.centre(a11y.find('Touchpad', prefix=True, showing=False))
    frame = a11y.find('Telvanto', 'frame').queryComponent().getExtents(a11y.pyatspi.DESKTOP_COORDS)
    for down in (True, False):
        for _ in range(20):
            node = a11y.find(name, role)
            if node and frame.y + 30 < a11y.centre(node)[1] < frame.y + frame.height - 30:
                return node
            x.wheel(max(pad_x - 210, 2), pad_y, down)
    raise Failure(f'{name} is not reached by scrolling')


def scenario_pair_and_drive():
    """A fresh profile: the pairing view, the code typed, then the controls reach the TV in order."""
    with Session() as session:
        need('xdotool')
        tv = Tvsim(session, TVSIM)
        write_settings(session, tvHost='127.0.0.1')
        app = start_telvanto(session, TELVANTO, tv)
        a11y = Accessibility()
        x = X11(session.display)
        try:
            # With the TV's address known, pairing starts by itself and the code is asked for;
            # the user cancels and starts again with "Spárovať".
            a11y.wait('Kód z TV', poll=tv.poll)
            tv.code()
            shown = len(tv.codes())
            a11y.press(a11y.wait('Zrušiť', 'push button'))
            pair = a11y.wait('Spárovať', 'push button', poll=tv.poll)
            screenshot(session, 'pairing-view')
            a11y.press(pair)
            code = tv.code(shown)
            field = a11y.wait('Kód z TV', poll=tv.poll)
            x.click(*a11y.centre(field))
            type_text(session, code)
            a11y.wait('Pripojené', poll=tv.poll)
            # The mirroring card above the touchpad, with nothing found to mirror to.
            for name, role in (('Obrazovka Macu na TV', None), ('AirScreen sa spustí na TV', None),
                               ('Zrkadliť obrazovku', 'radio button'), ('Druhý monitor', 'radio button'),
                               ('Zobraziť na TV', 'push button')):
                a11y.wait(name, role)
            screenshot(session, 'connected')
            since = len(tv.events)

            a11y.press(a11y.wait('Domov', 'push button'))
            tv.wait(lambda: tv.received(since)[-1:] == ['key home'], 'home at the TV')
            pad = a11y.wait('Touchpad', prefix=True)
            x.click(*a11y.centre(pad))
            tv.wait(lambda: tv.received(since)[-1:] == ['key center'], 'the tap at the TV')
            a11y.press(a11y.wait('Klávesnica', 'push button'))
            text = a11y.wait('Text do TV', poll=tv.poll)
            x.click(*a11y.centre(text))
            type_text(session, 'Ahoj')
            tv.wait(lambda: ''.join(r[5:] for r in tv.received(since) if r.startswith('text ')) == 'Ahoj',
                    'the text at the TV')
            screenshot(session, 'text-row')
            # The window is taller than its screen share: the apps are below, as for a user.
            x.click(*a11y.centre(scrolled_to(a11y, x, 'YouTube', 'push button')))
            tv.wait(lambda: tv.received(since)[-1:] == ['link https://www.youtube.com'], 'the app at the TV')
            # Typing keeps its keys while the text field has the focus; with the row closed the
            # arrow keys drive the TV.
            x.click(*a11y.centre(scrolled_to(a11y, x, 'Klávesnica', 'push button')))
            wait_until(lambda: not a11y.find('Text do TV'), what='the text row to close')
            x.key('Down')
            tv.wait(lambda: tv.received(since)[-1:] == ['key down'], 'the arrow key at the TV')

            got = tv.received(since)
            expected = ['key home', 'key center', 'text A', 'text h', 'text o', 'text j',
                        'link https://www.youtube.com', 'key down']
            expect(got == expected, f'the TV received {got}, expected {expected}')
        except Failure:
            screenshot(session, 'failure-pair-and-drive')
            sys.stderr.write('showing: ' + ', '.join(a11y.names()) + '\n')
            raise
        expect(session.stop(app) == 0, 'telvanto did not end cleanly')


def _tray(session):
    """The status-area side of a desktop: a watcher and a host, as panels register them."""
    from gi.repository import Gio, GLib
    need('status-notifier-watcher')
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    session.start(['status-notifier-watcher'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def owned(name):
        reply = bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'NameHasOwner',
                              GLib.Variant('(s)', (name,)), None, 0, -1, None)
        return reply.unpack()[0]

    wait_until(lambda: owned('org.kde.StatusNotifierWatcher'), what='the tray watcher')
    host = f'org.kde.StatusNotifierHost-{os.getpid()}'
    bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'RequestName',
                  GLib.Variant('(su)', (host, 4)), None, 0, -1, None)
    bus.call_sync('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher', 'org.kde.StatusNotifierWatcher',
                  'RegisterStatusNotifierHost', GLib.Variant('(s)', (host,)), None, 0, -1, None)
    return bus


class TrayMenu:
    """The program's tray item and its menu, read and clicked over D-Bus as a panel does."""

    def __init__(self, bus, tv):
        from gi.repository import GLib
        self.GLib, self.bus, self.tv = GLib, bus, tv

        def items():
            reply = bus.call_sync('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher',
                                  'org.freedesktop.DBus.Properties', 'Get',
                                  GLib.Variant('(ss)', ('org.kde.StatusNotifierWatcher', 'RegisteredStatusNotifierItems')),
                                  None, 0, -1, None)
            return reply.unpack()[0]

        item = wait_until(lambda: items(), what='the tray item', poll=tv.poll)[0]
        # An entry is "service/path", or a bare service at the usual path.
        self.service, _, path = item.partition('/')
        self.item_path = '/' + path if path else '/StatusNotifierItem'
        self.menu_path = self.item_property('Menu')

    def item_property(self, name):
        reply = self.bus.call_sync(self.service, self.item_path, 'org.freedesktop.DBus.Properties', 'Get',
                                   self.GLib.Variant('(ss)', ('org.kde.StatusNotifierItem', name)), None, 0, -1, None)
        return reply.unpack()[0]

    def _call(self, method, args, signature):
        return self.bus.call_sync(self.service, self.menu_path, 'com.canonical.dbusmenu', method,
                                  self.GLib.Variant(signature, args), None, 0, -1, None).unpack()

    def layout(self):
        """{label: (id, properties, submenu layout)} of the top level."""
        _, (_, _, children) = self._call('GetLayout', (0, -1, []), '(iias)')

        def walk(nodes):
            out = {}
            for node_id, props, subs in nodes:
                if props.get('type') == 'separator':
                    continue
                out[props.get('label', '')] = (node_id, props, walk(subs))
            return out
        return walk(children)

    def labels(self):
        _, (_, _, children) = self._call('GetLayout', (0, -1, []), '(iias)')
        return ['-' if p.get('type') == 'separator' else p.get('label', '') for _, p, _ in children]

    def opens(self):
        self._call('Event', (0, 'opened', self.GLib.Variant('i', 0), 0), '(isvu)')
        self._call('AboutToShow', (0,), '(i)')

    def click(self, *path):
        layout = self.layout()
        for label in path[:-1]:
            layout = layout[label][2]
        self._call('Event', (layout[path[-1]][0], 'clicked', self.GLib.Variant('i', 0), 0), '(isvu)')

    def checked(self, label):
        return self.layout()[label][1].get('toggle-state') == 1


def scenario_tray():
    """The tray menu over D-Bus: its items, Domov at the TV, start at login, the closed window."""
    with Session() as session:
        need('status-notifier-watcher')
        bus = _tray(session)
        tv = Tvsim(session, TVSIM)
        app, a11y = connected_app(session, tv)
        x = X11(session.display)
        try:
            menu = TrayMenu(bus, tv)
            expect(menu.item_property('Title') == 'Telvanto', 'the tray item is titled ' + menu.item_property('Title'))
            labels = menu.labels()
            expected = ['Zobraziť Mac na TV', 'Režim', '-', 'Zapnúť / vypnúť TV', 'Domov', 'Prehrať / pauza', 'Spustiť aplikáciu', '-',
                        'Spúšťať pri prihlásení', 'Otvoriť ovládač', 'Ukončiť']
            # Qt may drop a separator at the top of an exported menu.
            expect(labels == expected, f'the tray menu reads {labels}')
            modes = list(menu.layout()['Režim'][2])
            expect(modes == ['Zrkadliť obrazovku', 'Druhý monitor'], f'the mode submenu reads {modes}')
            shortcut = menu.layout()['Zobraziť Mac na TV'][1].get('shortcut')
            expect(shortcut == [['Control', 'Shift', 'M']], f'the mirroring item\'s shortcut is {shortcut}')
            apps = list(menu.layout()['Spustiť aplikáciu'][2])
            expect(apps == ['YouTube', 'Netflix', 'VOYO', 'HBO Max', 'Disney+', 'SmartTube', 'Spotify', 'AirScreen'],
                   f'the app submenu reads {apps}')

            since = len(tv.events)
            menu.click('Domov')
            tv.wait(lambda: tv.received(since) == ['key home'], 'home from the tray at the TV')
            menu.click('Spustiť aplikáciu', 'Netflix')
            tv.wait(lambda: tv.received(since)[-1:] == ['link https://www.netflix.com/title'], 'Netflix from the tray')

            entry = os.path.join(session.env['XDG_CONFIG_HOME'], 'autostart', 'telvanto.desktop')
            # (action, file there afterwards, check shown after the menu opens again)
            steps = [('opens', False, False), ('click', True, True), ('click', False, False),
                     ('outside-on', True, True), ('outside-off', False, False)]
            for action, present, shown in steps:
                if action == 'click':
                    menu.click('Spúšťať pri prihlásení')
                elif action == 'outside-on':
                    os.makedirs(os.path.dirname(entry), exist_ok=True)
                    with open(entry, 'w') as f:
                        f.write('[Desktop Entry]\nType=Application\nExec=telvanto\n')
                elif action == 'outside-off':
                    os.remove(entry)
                menu.opens()
                expect(os.path.exists(entry) == present, f'after {action} the entry is there: {os.path.exists(entry)}')
                wait_until(lambda: menu.checked('Spúšťať pri prihlásení') == shown, 5, f'the check after {action}')

            window = wait_until(lambda: [w for w in x.windows('Telvanto') if x.viewable(w)], what='the window')[0]
            x.close(window)
            wait_until(lambda: not x.shown('Telvanto'), what='the window to close')
            expect(app.poll() is None, 'closing the window ended the program')
            menu.click('Otvoriť ovládač')
            wait_until(lambda: x.shown('Telvanto'), what='the window back from the tray')

            menu.click('Ukončiť')
            wait_until(lambda: app.poll() is not None, what='the program to end')
            expect(app.returncode == 0, f'telvanto ended with {app.returncode}')
        except Failure:
            screenshot(session, 'failure-tray')
            raise
        finally:
            session.stop(app)


def scenario_dump():
    """-dumpControlCenter PATH writes the fixture panel's dump there; as the last argument it
    writes nothing, and the program runs on either way."""
    fixture = os.environ.get('PANEL_FIXTURE', '')
    with open(os.environ.get('PANEL_GOLDEN', '')) as f:
        golden = f.read()
    with Session() as session:
        tv = Tvsim(session, TVSIM)
        panel = session.start([fixture, 'Spálňa=on', 'AS-Obývačka'], env=dict(session.env, QT_QPA_PLATFORM='xcb', LANG='C.UTF-8'))
        panel_a11y = Accessibility('com.apple.controlcenter')
        wait_until(lambda: panel_a11y.app() is not None, what='the panel on the accessibility bus', poll=tv.poll)
        x = X11(session.display)
        # Two programs at once: each its own profile (and so its own single-instance name).
        idle = os.path.join(session.dir, 'idle')
        os.makedirs(idle)
        without = session.start([TELVANTO, '--pair-port', str(tv.pairing_port), '--remote-port', str(tv.remote_port),
                                 '-dumpControlCenter'], cwd=idle, env=dict(session.env, TELVANTO_CONFIG_DIR=session.path('other')),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: x.shown('Telvanto'), what='the first window', poll=tv.poll)
        dump = session.path('panel dump.txt')
        app = start_telvanto(session, TELVANTO, tv, '-dumpControlCenter', dump)
        try:
            wait_until(lambda: os.path.exists(dump), 30, 'the dump', poll=tv.poll)
            with open(dump) as f:
                got = f.read().replace(fixture, 'FIXTURE')
            expect(got == golden, f'the dump reads:\n{got}')
            expect(app.poll() is None and without.poll() is None, 'a program ended after the dump')
            # The program without a path started first and had the same time to write.
            expect(os.listdir(idle) == [], f'without a path something was written: {os.listdir(idle)}')
        finally:
            session.stop(app)
            session.stop(without)
            session.stop(panel)


def scenario_second_instance():
    """A second telvanto brings the first one's closed window back and leaves with 0."""
    with Session() as session:
        tv = Tvsim(session, TVSIM)
        app, a11y = connected_app(session, tv)
        x = X11(session.display)
        window = wait_until(lambda: [w for w in x.windows('Telvanto') if x.viewable(w)], what='the window')[0]
        x.close(window)
        wait_until(lambda: not x.shown('Telvanto'), what='the window to close')
        tv.drain()
        connections = len(tv.remote_connections())
        second = start_telvanto(session, TELVANTO, tv)
        wait_until(lambda: second.poll() is not None, 20, 'the second instance to leave', tv.poll)
        expect(second.returncode == 0, f'the second instance ended with {second.returncode}')
        wait_until(lambda: x.shown('Telvanto'), what='the first window to come back')
        expect(len([w for w in x.windows('Telvanto') if x.viewable(w)]) == 1, 'a second window opened')
        tv.drain()
        expect(len(tv.remote_connections()) == connections, 'the second instance talked to the TV')
        expect(app.poll() is None, 'the first instance ended')
        expect(session.stop(app) == 0, 'telvanto did not end cleanly')


def scenario_wake():
    """A stand-in logind on the private system bus: waking from sleep reconnects at once."""
    from gi.repository import Gio, GLib
    with Session() as session:
        tv = Tvsim(session, TVSIM)
        app, a11y = connected_app(session, tv)
        try:
            system = Gio.DBusConnection.new_for_address_sync(
                session.env['DBUS_SYSTEM_BUS_ADDRESS'],
                Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
            system.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'RequestName',
                             GLib.Variant('(su)', ('org.freedesktop.login1', 4)), None, 0, -1, None)

            def emit(sleeping):
                system.emit_signal(None, '/org/freedesktop/login1', 'org.freedesktop.login1.Manager', 'PrepareForSleep',
                                   GLib.Variant('(b)', (sleeping,)))
                system.flush_sync(None)

            first = tv.wait(lambda: tv.remote_connections(), 'the first connection')
            # Going to sleep changes nothing; the next reconnection is the wake's.
            emit(True)
            emit(False)
            woke = time.monotonic()
            tv.wait(lambda: len(tv.remote_connections()) > len(first), 'a new connection after the wake')
            took = time.monotonic() - woke
            # The first back-off step is 1 s; the wake does not wait for it.
            expect(took < 0.9, f'the reconnection took {took:.3f} s')
            expect(len(tv.remote_connections()) == len(first) + 1, 'more than one reconnection')
            a11y.wait('Pripojené', poll=tv.poll)
        finally:
            status = session.stop(app)
        expect(status == 0, f'telvanto ended with {status}')


def scenario_no_buses():
    """No session bus and no system bus: no tray, no single-instance guard, no wake; the window
    and the TV connection work all the same."""
    with Session() as session:
        tv = Tvsim(session, TVSIM)
        write_settings(session, tvHost='127.0.0.1', tvName='Test TV')
        pair_with_cli(session, CLI, tv)
        gone = 'unix:path=' + session.path('no-such-bus')
        env = dict(session.env, DBUS_SESSION_BUS_ADDRESS=gone, DBUS_SYSTEM_BUS_ADDRESS=gone)
        app = start_telvanto(session, TELVANTO, tv, env=env)
        x = X11(session.display)
        wait_until(lambda: x.shown('Telvanto'), what='the window', poll=tv.poll)
        tv.wait(lambda: tv.remote_connections(), 'the connection to the TV')
        tv.wait(lambda: any(e.get('msg') == 'setActive' and e.get('dir') == 'in' for e in tv.events), 'the handshake')
        expect(app.poll() is None, 'telvanto ended')
        status = session.stop(app)
        expect(status == 0, f'telvanto ended with {status}')


def scenario_no_display():
    """Without a display: a clear message and a plain non-zero exit, never an abort."""
    with Session(display=False) as session:
        rows = [
            ({}, 'no display'),
            ({'DISPLAY': ':4093'}, 'cannot open the display :4093'),
            ({'WAYLAND_DISPLAY': 'wayland-404'}, 'no display'),
        ]
        for extra, message in rows:
            env = dict(session.env, **extra)
            done = subprocess.run([TELVANTO], env=env, capture_output=True, text=True, timeout=30)
            expect(done.returncode == 1, f'{extra}: exit status {done.returncode}, stderr {done.stderr!r}')
            expect(message in done.stderr, f'{extra}: said {done.stderr!r}')


SCENARIOS = {
    'pair-and-drive': scenario_pair_and_drive,
    'tray': scenario_tray,
    'dump': scenario_dump,
    'second-instance': scenario_second_instance,
    'wake': scenario_wake,
    'no-buses': scenario_no_buses,
    'no-display': scenario_no_display,
}


def main():
    # Ended from outside (a ctest timeout, ^C): the desktop and its processes are cleaned up all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    if len(sys.argv) != 2 or sys.argv[1] not in SCENARIOS:
        sys.stderr.write(__doc__)
        return 2
    try:
        for program in (TELVANTO, TVSIM, CLI):
            if not os.access(program, os.X_OK):
                raise Failure(f'not a program: {program!r}')
        SCENARIOS[sys.argv[1]]()
    except Skip as why:
        print(f'skipped: {why}')
        return SKIP
    except Failure as failure:
        print(f'FAILED: {failure}')
        return 1
    print('passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
