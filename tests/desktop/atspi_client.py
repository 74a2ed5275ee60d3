#!/usr/bin/python3
"""An assistive-technology client of Melodrift over the AT-SPI bus, as a
screen reader reads and works a program: it finds the program by its process
id (calling into no other program on the desktop), checks that every control
it shows has a name, finds controls by role and name, and presses, types and
reads through the accessibility interfaces. Keys go through the registry as
a screen reader's do (XTest under X11).

  /usr/bin/python3 atspi_client.py PID player|prompts|certificate

Prints what it did, one line each; exits non-zero with the reason when a
step fails.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

# Roles of the controls a user works; each must have a name.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_ENTRY, pyatspi.ROLE_PROGRESS_BAR,
}
KEY_TAB, KEY_MENU, KEY_UP, KEY_DOWN, KEY_RETURN = 0xff09, 0xff67, 0xff52, 0xff54, 0xff0d

# What took the focus, newest last, as the program announced it: a screen
# reader follows menus this way (a popup menu is no child of the program's
# tree).
focused = []


class Failure(Exception):
    pass


def say(*parts):
    print(*parts, flush=True)


def on_focus(event):
    if event.detail1:
        focused.append(event.source)


def heard(role, name):
    """Whether the focus last went to that control."""
    return bool(focused) and focused[-1].getRole() == role and name in (focused[-1].name, label_of(focused[-1]))


def wait_for(what, predicate, timeout=15.0):
    deadline = time.monotonic() + timeout
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        # Events arrive through the main loop.
        while context.pending():
            context.iteration(False)
        try:
            value = predicate()
        except Exception:  # a node that went away while it was read
            value = None
        if value:
            return value
        time.sleep(0.1)
    raise Failure('gave up waiting for ' + what)


def app_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        # The process id comes from the bus daemon: no call into the program.
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def label_of(node):
    """The text of the label that names it (Qt on Linux names a combo box by
    its current entry, and gives its label through this relation)."""
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY and relation.getNTargets():
            return relation.getTarget(0).name.rstrip(':')
    return ''


def find(root, role, name, shown=True):
    for node in walk(root):
        if node.getRole() == role and name in (node.name, label_of(node)) and (not shown or showing(node)):
            return node
    return None


def window_of(node):
    while node.parent is not None and node.parent.getRole() != pyatspi.ROLE_APPLICATION:
        node = node.parent
    return node


def check_named(window):
    """Every control the window shows has a name or a label; prints them all."""
    unnamed = []
    for node in walk(window):
        if node.getRole() not in CONTROL_ROLES or not showing(node):
            continue
        # A spin box's own line edit belongs to it, and is read as part of it.
        if node.parent is not None and node.parent.getRole() == pyatspi.ROLE_SPIN_BUTTON:
            continue
        label = label_of(node)
        say('  %s %r%s%s' % (node.getRoleName(), node.name, ' label=%r' % label if label else '',
                            ' desc=%r' % node.description if node.description else ''))
        if not node.name.strip() and not label.strip():
            unnamed.append(node.getRoleName())
    if unnamed:
        raise Failure('unnamed controls in %r: %s' % (window.name, ', '.join(unnamed)))


def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if 'Press' not in names:
        raise Failure('%s %r has no Press action, only %s' % (node.getRoleName(), node.name, names))
    action.doAction(names.index('Press'))
    say('pressed %s %r' % (node.getRoleName(), node.name))


def key(symbol):
    pyatspi.Registry.generateKeyboardEvent(symbol, None, pyatspi.KEY_SYM)


def dialog_named(app, name):
    return lambda: next((w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
                         if w is not None and w.name == name and showing(w)), None)


def player(app):
    play = wait_for('the player', lambda: find(app, pyatspi.ROLE_PUSH_BUTTON, 'Play'))
    window = window_of(play)
    say('player window %r' % window.name)
    check_named(window)
    for role, name in [(pyatspi.ROLE_PUSH_BUTTON, 'Rewind'), (pyatspi.ROLE_PUSH_BUTTON, 'Stop'),
                       (pyatspi.ROLE_PUSH_BUTTON, 'Next in queue'), (pyatspi.ROLE_SLIDER, 'Position'),
                       (pyatspi.ROLE_SLIDER, 'Volume')]:
        if find(window, role, name) is None:
            raise Failure('no %s %r in the player' % (role, name))
    # The button says what a press does; the player plays and pauses.
    press(play)
    pause = wait_for('the button to say Pause', lambda: find(window, pyatspi.ROLE_PUSH_BUTTON, 'Pause'))
    say('playing')
    press(pause)
    wait_for('the button to say Play', lambda: find(window, pyatspi.ROLE_PUSH_BUTTON, 'Play'))
    say('paused')

    # The settings, by keyboard: the menu key on a control of the player,
    # up to the last entry, which is heard, and Return.
    find(window, pyatspi.ROLE_PUSH_BUTTON, 'Play').queryComponent().grabFocus()
    wait_for('the focus on the play button', lambda: heard(pyatspi.ROLE_PUSH_BUTTON, 'Play'), 5)
    key(KEY_MENU)
    time.sleep(0.5)
    key(KEY_UP)
    wait_for('the settings entry heard', lambda: heard(pyatspi.ROLE_MENU_ITEM, 'Settings...'), 5)
    say('heard menu item %r' % focused[-1].name)
    key(KEY_RETURN)
    settings = wait_for('the settings dialog', dialog_named(app, 'Settings'))
    say('dialog %r' % settings.name)
    check_named(settings)
    effects = find(settings, pyatspi.ROLE_COMBO_BOX, 'Audio effect')
    setup = find(settings, pyatspi.ROLE_PUSH_BUTTON, 'Setup')
    if effects is None or setup is None or enabled(setup):
        raise Failure('no audio effect choice with a Setup button that waits for a choice')
    # Tab on through the dialog until the effect choice is heard.
    for _ in range(20):
        if heard(pyatspi.ROLE_COMBO_BOX, 'Audio effect'):
            break
        before = len(focused)
        key(KEY_TAB)
        wait_for('the focus to move on', lambda: len(focused) > before, 5)
    if not heard(pyatspi.ROLE_COMBO_BOX, 'Audio effect'):
        raise Failure('Tab never reached the effect choice')
    key(KEY_DOWN)
    wait_for('an effect chosen', lambda: enabled(setup), 5)
    say('effect %r chosen' % effects.name)
    press(setup)
    configure = wait_for('the effect dialog', dialog_named(app, 'Configure effect'))
    say('dialog %r' % configure.name)
    check_named(configure)
    press(find(configure, pyatspi.ROLE_PUSH_BUTTON, 'Cancel'))
    wait_for('the effect dialog to close', lambda: not dialog_named(app, 'Configure effect')())
    press(find(settings, pyatspi.ROLE_PUSH_BUTTON, 'Cancel'))
    wait_for('the settings to close', lambda: not dialog_named(app, 'Settings')())
    say('settings closed')


def alert_with(app, button):
    def found():
        node = find(app, pyatspi.ROLE_PUSH_BUTTON, button)
        return window_of(node) if node is not None else None
    return wait_for('a prompt with %r' % button, found)


def prompts(app):
    overwrite = alert_with(app, 'Yes')
    say('prompt %r' % overwrite.name)
    check_named(overwrite)
    press(find(overwrite, pyatspi.ROLE_PUSH_BUTTON, 'Yes'))

    login = wait_for('the credentials prompt', dialog_named(app, 'Http authentication required'))
    say('dialog %r' % login.name)
    check_named(login)
    for name, text in [('User name', 'alice'), ('Password', 'secret')]:
        field = find(login, pyatspi.ROLE_TEXT, name) or find(login, pyatspi.ROLE_PASSWORD_TEXT, name)
        if field is None:
            raise Failure('no text field %r' % name)
        field.queryEditableText().setTextContents(text)
        typed = field.queryText()
        say('typed into %r: %r' % (name, typed.getText(0, typed.characterCount)))
    press(find(login, pyatspi.ROLE_PUSH_BUTTON, 'OK'))
    wait_for('the credentials prompt to close', lambda: not dialog_named(app, 'Http authentication required')())


def certificate(app):
    box = alert_with(app, 'Abort')
    say('prompt %r' % box.name)
    check_named(box)
    ignore = find(box, pyatspi.ROLE_PUSH_BUTTON, 'Ignore')
    if ignore is None or not ignore.description:
        raise Failure('the Ignore button does not say what it risks')
    press(find(box, pyatspi.ROLE_PUSH_BUTTON, 'Abort'))


def main():
    pid, scenario = int(sys.argv[1]), sys.argv[2]
    app = None
    pyatspi.Registry.registerEventListener(on_focus, 'object:state-changed:focused')
    try:
        app = wait_for('program %d on the AT-SPI desktop' % pid, lambda: app_of(pid), 30)
        say('found %r (%s %s)' % (app.name, app.get_toolkit_name(), app.get_toolkit_version()))
        {'player': player, 'prompts': prompts, 'certificate': certificate}[scenario](app)
    except Failure as failure:
        say('FAILED: %s' % failure)
        # What the program showed then, for the failure's reader.
        for node in walk(app) if app is not None else []:
            depth, up = 0, node
            while up.parent is not None and up.getRole() != pyatspi.ROLE_APPLICATION:
                depth, up = depth + 1, up.parent
            say('%s%s %r%s' % ('  ' * depth, node.getRoleName(), node.name, '' if showing(node) else ' (hidden)'))
        return 1
    say('done')
    return 0


if __name__ == '__main__':
    sys.exit(main())
