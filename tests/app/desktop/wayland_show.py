#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
'''Plays a show in the real program on a Wayland compositor, driven through
its accessibility tree (the compositor has no input devices to drive it by):
choose the picture folder in the folder browser, press Play, see the
slideshow cover the screen with the preparing panel, the error report of a
broken picture come up, and after it is answered a picture; then
wait for the show to end at the end of its list and the program with it.

    wayland_show.py <kalvio executable> <picture folder> <screenshot folder>

Runs on the compositor and session bus of its environment; exits non-zero
with a message on the first failure.
'''

import os
import subprocess
import sys
import tempfile
import time

import gi
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi  # noqa: E402


# The outer limit of a wait for something the program does: only a hang
# reaches it, whatever the machine's load.
HANG_S = 300


def fail(message):
    print('FAIL: ' + message)
    sys.exit(1)


def wait_for(what, check, seconds=HANG_S):
    end = time.monotonic() + seconds
    while True:
        found = check()
        if found:
            return found
        if time.monotonic() > end:
            fail(what)
        time.sleep(0.2)


def children(node):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield child


def find(node, role, name=None, starts=None):
    '''The first node below `node` (depth first) of this role and name.'''
    for child in children(node):
        child_name = child.get_name() or ''
        if child.get_role_name() == role and (name is None or child_name == name) \
                and (starts is None or child_name.startswith(starts)):
            return child
        found = find(child, role, name, starts)
        if found:
            return found
    return None


def press(node):
    Atspi.Action.do_action(node, 0)


def text_of(node):
    return Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node))


def program():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app.get_name() == 'kalvio':
            return app
    return None


def window(app, role, name):
    return next((w for w in children(app) if w.get_role_name() == role and w.get_name() == name), None)


def slideshow_window(app):
    return next((w for w in children(app) if find(w, 'label', '播放准备中，请稍等...')), None)


def screenshot(folder, name):
    '''The compositor's whole output (weston-screenshooter names its own file).'''
    with tempfile.TemporaryDirectory() as shot_dir:
        subprocess.run(['weston-screenshooter'], cwd=shot_dir, check=True, timeout=HANG_S)
        shots = os.listdir(shot_dir)
        if len(shots) != 1:
            fail('no screenshot taken')
        path = os.path.join(folder, name + '.png')
        os.replace(os.path.join(shot_dir, shots[0]), path)
        return path


def differing(a, b):
    '''Pixels that differ clearly between two screenshots.'''
    result = subprocess.run(['compare', '-metric', 'AE', '-fuzz', '10%', a, b, 'null:'],
                            capture_output=True, text=True)
    return int(float(result.stderr.split()[0]))


def main():
    kalvio, pictures, shots = sys.argv[1:4]
    Atspi.get_desktop(0)   # the accessibility bus is up before the program looks for it
    run = subprocess.Popen([kalvio])
    try:
        app = wait_for('the program did not show up in the accessibility tree', program)
        settings = wait_for('no settings window captioned Kalvio', lambda: window(app, 'filler', 'Kalvio'))

        # The folder browser, in Chinese; the folder typed into its path box.
        press(find(settings, 'push button', '选择文件夹...'))
        browser = wait_for('the folder browser did not open', lambda: window(app, 'dialog', '查找目录'))
        Atspi.EditableText.set_text_contents(find(browser, 'text'), pictures)
        press(find(browser, 'push button', starts='选择'))
        wait_for('the folder browser did not close', lambda: not window(app, 'dialog', '查找目录'))
        folder_box = find(settings, 'text')
        if text_of(folder_box) != pictures:
            fail('the picture folder box shows ' + repr(text_of(folder_box)))

        before = screenshot(shots, 'settings')
        press(find(settings, 'push button', '播放'))
        slide = wait_for('no slideshow window after Play', lambda: slideshow_window(app))
        def full_screen():
            size = Atspi.Component.get_size(slide)
            return (size.x, size.y) == (1024, 768)
        wait_for('the slideshow window does not cover the whole 1024 x 768 output', full_screen)

        # The preparing panel covers the screen until the first tick.
        def preparing_shown():
            shot = screenshot(shots, 'preparing')
            return shot if differing(before, shot) >= 400000 else None
        preparing = wait_for('the preparing panel does not cover the screen', preparing_shown)

        # The first tick (one interval, 6 s, after Play) meets the broken
        # picture: its report comes up, answered with its Chinese OK button.
        # (Weston 10 maps a new dialog of a full-screen window below it, so the
        # report is not seen on this compositor's screen; how other
        # compositors stack it is checked by hand.)
        def report():
            return next((w for w in children(app) if find(w, 'push button', '确定')), None)
        box = wait_for('the broken picture was not reported', report)
        screenshot(shots, 'report')
        press(find(box, 'push button', '确定'))
        wait_for('the error report did not close', lambda: not report())

        # The next picture arrives one interval later.
        def picture_shown():
            shot = screenshot(shots, 'picture')
            return differing(preparing, shot) > 100000
        wait_for('no picture arrived', picture_shown)

        # At the end of the list (no loop) the next tick ends the show and the program.
        code = run.wait(timeout=HANG_S)
        if code != 0:
            fail(f'the program exited with {code}')
    finally:
        if run.poll() is None:
            run.kill()
    print('wayland: folder chosen in the Chinese folder browser, show full screen, broken picture '
          'reported, picture shown, program ended with 0')


main()
