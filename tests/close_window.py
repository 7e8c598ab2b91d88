#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Closes a top-level window by its title as a window manager does for the operator:
a WM_DELETE_WINDOW message. Usage: close_window.py TITLE [SECONDS] [--class INSTANCE], where
INSTANCE is the first part of the window's WM_CLASS. Exit 1 if not found."""
import sys
import time

from Xlib import X, display, protocol


def title_of(d, w):
    for prop in ("_NET_WM_NAME", "WM_NAME"):
        try:
            atom = d.intern_atom(prop)
            p = w.get_full_property(atom, X.AnyPropertyType)
        except Exception:
            continue
        if p and p.value:
            v = p.value
            return v.decode("utf-8", "replace") if isinstance(v, bytes) else str(v)
    return None


def class_of(w):
    try:
        c = w.get_wm_class()
    except Exception:
        return None
    return c[0] if c else None


def find(d, w, title, klass=None):
    if title_of(d, w) == title and (klass is None or class_of(w) == klass):
        return w
    try:
        children = w.query_tree().children
    except Exception:
        return None
    for c in children:
        r = find(d, c, title, klass)
        if r:
            return r
    return None


def main():
    args = sys.argv[1:]
    klass = None
    if "--class" in args:
        i = args.index("--class")
        klass = args[i + 1]
        del args[i:i + 2]
    title = args[0]
    deadline = time.time() + (float(args[1]) if len(args) > 1 else 10.0)
    d = display.Display()
    root = d.screen().root
    while True:
        w = find(d, root, title, klass)
        if w:
            break
        if time.time() > deadline:
            return 1
        time.sleep(0.1)
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    ev = protocol.event.ClientMessage(window=w, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(ev)
    d.sync()  # a round trip: the message has reached the server before this process ends
    return 0


sys.exit(main())
