#!/usr/bin/python3
"""tst_access.py BIN_DIR LOCALE TEXTS: the real program as a screen reader and a keyboard user meet it,
under Xvfb beside a private accessibility bus, read with pyatspi and driven by keys alone (xdotool).
TEXTS: "russian" (the tabs and buttons carry the program's Russian texts) or "latin" (no name in the
window holds a Cyrillic letter). Controls are found by their place, so the rest holds in any language."""
import ctypes, os, re, shutil, signal, subprocess, sys, tempfile, time

from gi.repository import Gio, GLib

bin_dir, locale, texts = sys.argv[1:4]
CONTROLS = {'push button', 'check box', 'combo box', 'text', 'spin button', 'page tab', 'link', 'slider', 'menu item'}
work = tempfile.mkdtemp(prefix='ondavo-access-')
procs, passed = [], []


def start(args, **kw):
    # Each goes with this script, however it ends, and none holds on to its output.
    die_with_parent = lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    kw = {'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL, **kw}
    procs.append(subprocess.Popen(args, stdin=subprocess.DEVNULL, preexec_fn=die_with_parent, **kw))
    return procs[-1]


def check(ok, what):
    if not ok:
        print('FAILED:', what)
        print(f'{len(passed)} passed, 1 failed')
        sys.exit(1)
    passed.append(what)
    print('ok:', what)


def wait(condition, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump()
        value = condition()
        if value:
            check(True, what)
            return value
        time.sleep(0.05)
    check(False, what + f' (not within {seconds} s)')


def pump():
    while GLib.MainContext.default().iteration(False):
        pass


def on_bus(address, name):
    bus = Gio.DBusConnection.new_for_address_sync(address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                                                  Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    return lambda: bus.call_sync('org.freedesktop.DBus', '/', 'org.freedesktop.DBus', 'NameHasOwner',
                                 GLib.Variant('(s)', (name,)), None, 0, 1000, None).unpack()[0]


def setup():
    env = os.environ
    for d in ('config', 'data', 'cache', 'run', 'bin'):
        os.makedirs(f'{work}/{d}', mode=0o700)
    env.update(XDG_CONFIG_HOME=f'{work}/config', XDG_DATA_HOME=f'{work}/data', XDG_CACHE_HOME=f'{work}/cache',
               XDG_RUNTIME_DIR=f'{work}/run', LANG=locale, LC_ALL=locale, TZ='UTC',
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY='1',
               QTWEBENGINE_DISABLE_SANDBOX='1', PATH=f'{work}/bin:' + env['PATH'])
    env.pop('LANGUAGE', None)
    env.pop('QT_QPA_PLATFORM', None)
    # The desktop's opener, as the about page's links call it: it writes down what it was given.
    with open(f'{work}/bin/xdg-open', 'w') as f:
        f.write(f'#!/bin/sh\necho "$@" >> {work}/opened\n')
    os.chmod(f'{work}/bin/xdg-open', 0o755)
    r, w = os.pipe()
    start(['Xvfb', '-displayfd', str(w), '-screen', '0', '1024x700x24', '-nolisten', 'tcp'], pass_fds=(w,))
    os.close(w)
    env['DISPLAY'] = ':' + os.read(r, 16).decode().strip()
    bus = start(['dbus-daemon', '--session', '--nofork', '--print-address=1'], stdout=subprocess.PIPE)
    address = bus.stdout.readline().decode().strip()
    # One bus stands in for the session's and the system's.
    env.update(DBUS_SESSION_BUS_ADDRESS=address, DBUS_SYSTEM_BUS_ADDRESS=address)
    start(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'])
    wait(on_bus(address, 'org.a11y.Bus'), 10, 'the accessibility bus is up')


focused = [None]


def on_focus(event):
    if event.detail1:
        focused[0] = event.source


def has(obj, state):
    return obj.getState().contains(state)


def walk(obj, enclosing=''):
    """Every object of the window but the web pages' content, with the title of the panel around it."""
    if obj is None or obj.getRoleName() == 'document web':
        return
    yield obj, enclosing
    for child in obj:
        yield from walk(child, obj.name if obj.getRoleName() == 'panel' else enclosing)


def key(*keys):
    subprocess.run(['xdotool', 'key', '--delay', '60'] + list(keys), check=True)


def press_until_focus(k, target, presses=12):
    """Presses k until the focus is on target; what the focus met on the way, in order."""
    met = []
    for _ in range(presses):
        if focused[0] == target:
            return met
        before = focused[0]
        key(k)
        moved = lambda: focused[0] != before and focused[0]
        end = time.monotonic() + 0.4
        while time.monotonic() < end and not moved():
            pump()
            time.sleep(0.02)
        if moved():
            check(has(focused[0], pyatspi.STATE_SHOWING) and focused[0].name, f'{k} lands on a named control that '
                  f'shows: [{focused[0].getRoleName()}] {focused[0].name!r}')
            met.append(focused[0])
    if focused[0] == target:
        return met
    check(False, f'{k} reaches {target.name!r}')


try:
    setup()
    import pyatspi  # it reaches the accessibility bus of the environment it finds

    pyatspi.Registry.registerEventListener(on_focus, 'object:state-changed:focused')
    start([f'{bin_dir}/ondavo'])
    began = time.monotonic()
    program = lambda: next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == 'Ondavo'), None)
    frame = wait(lambda: program() and next((w for w in program() if w.getRoleName() == 'frame' and
                                             has(w, pyatspi.STATE_SHOWING)), None), 30, 'the window is on screen')
    tabs_widget, status_bar = frame[0], frame[1]
    tabs = list(next(c for c in tabs_widget if c.getRoleName() == 'page tab list'))
    timer_page = tabs_widget[0][2][0]  # the stack, the timer page, its group box
    page_ctrl = lambda role: [o for o, _ in walk(timer_page) if o.getRoleName() == role]
    date, set_btn, reset_btn, actions = (page_ctrl('spin button')[0], page_ctrl('push button')[0],
                                         page_ctrl('push button')[1], page_ctrl('combo box')[0])
    # The engine reports the radio page, and the page has the focus at start.
    page = lambda: pyatspi.findDescendant(tabs_widget[0][0], lambda o: o.getRoleName() == 'document web')
    document = wait(lambda: page() and page().name and has(page(), pyatspi.STATE_FOCUSED) and page(), 20,
                    'the radio pane reports its page, which has the focus')
    print(f'   the radio page reads: {document.name!r}')

    everything = list(walk(frame))
    controls = [(o, around) for o, around in everything if o.getRoleName() in CONTROLS]
    check(all(o.name for o, _ in controls), f'all {len(controls)} controls of the window have a name: ' +
          str([o.name for o, _ in controls if not o.name]))
    check(not [o.name for o, around in controls if o.name == around], 'none is named after its group box')
    check(len(tabs) == 4 and sum(has(t, pyatspi.STATE_SELECTED) for t in tabs) == 1,
          'four tabs, one selected, no scroll buttons: ' + ' | '.join(t.name for t in tabs))
    if texts == 'russian':
        check([t.name for t in tabs] == ['Радио', 'Часы', 'Таймер', 'О программе'] and
              (set_btn.name, reset_btn.name) == ('Установить', 'Снять'), 'the tabs and buttons carry their texts')
    else:
        cyrillic = [o.name for o, _ in everything if re.search('[\u0400-\u04ff]', o.name)]
        check(not cyrillic, f'no name of the window holds a Cyrillic letter: {cyrillic}')

    xid = subprocess.run(['xdotool', 'search', '--sync', '--onlyvisible', '--name', '^Ondavo'],
                         capture_output=True, text=True, timeout=20).stdout.split()[0]
    subprocess.run(['xdotool', 'windowfocus', '--sync', xid], check=True)
    press_until_focus('ctrl+Tab', tabs[2], 3)
    check(has(tabs[2], pyatspi.STATE_SELECTED), f'Ctrl+Tab from the radio page reaches the selected tab '
          f'{tabs[2].name!r}')
    press_until_focus('Tab', date, 1)
    day = date.queryText().getText(0, -1)
    key('Up')
    moved = wait(lambda: date.queryText().getText(0, -1) != day and date.queryText().getText(0, -1), 3,
                 'Up moves the date')
    met = press_until_focus('Tab', set_btn)
    check(actions in met, 'Tab meets the action list before the set button: ' +
          ' → '.join(o.name for o in [date] + met))
    key('Return')
    wait(lambda: has(reset_btn, pyatspi.STATE_SENSITIVE) and not has(set_btn, pyatspi.STATE_SENSITIVE), 3,
         'Return on the set button arms')
    left = wait(lambda: re.fullmatch(r'(\d\d):(\d\d):(\d\d)', status_bar[0].name), 3, 'the countdown runs')
    seconds = int(left[1]) * 3600 + int(left[2]) * 60 + int(left[3])
    check(24 * 3600 - 120 < seconds <= 24 * 3600, f'Up moved the date a day: {day} → {moved}, {left[0]} left')
    press_until_focus('Tab', reset_btn, 3)
    key('Return')
    wait(lambda: has(set_btn, pyatspi.STATE_SENSITIVE) and not has(reset_btn, pyatspi.STATE_SENSITIVE) and
         not status_bar[0].name, 3, 'Return on the reset button disarms')

    press_until_focus('shift+Tab', actions)
    key('shift+F10', 'Down')
    item = wait(lambda: focused[0] != actions and focused[0], 3, "Shift+F10 opens the window's menu")
    check(item.getRoleName() == 'check box', f'its first item says it can be ticked: [{item.getRoleName()}] '
          f'{item.name!r}')
    key('Escape')
    wait(lambda: focused[0] == actions, 3, 'Escape closes the menu, the window stays')

    press_until_focus('ctrl+Tab', tabs[3], 2)
    key('Tab')
    link = wait(lambda: focused[0].getRoleName() == 'link' and focused[0], 3, 'Tab reaches a link on the about page')
    key('Return')
    opened = wait(lambda: os.path.exists(f'{work}/opened') and open(f'{work}/opened').read().strip(), 5,
                  'Return opens the link')
    check('subact=download' in opened, f'{link.name!r} opens its page: {opened}')
    print(f'{locale}: {len(passed)} passed, 0 failed in {time.monotonic() - began:.1f} s')
finally:
    for p in reversed(procs):
        p.terminate()
    for p in reversed(procs):
        try:
            p.wait(5)
        except subprocess.TimeoutExpired:
            p.kill()
    shutil.rmtree(work, ignore_errors=True)
