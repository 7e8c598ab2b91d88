#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Closes a top-level window by its title as a window manager does for the operator:
a WM_DELETE_WINDOW message. Usage: close_window.py TITLE [SECONDS]. Exit 1 if not found."""
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


def find(d, w, title):
    if title_of(d, w) == title:
        return w
    try:
        children = w.query_tree().children
    except Exception:
        return None
    for c in children:
        r = find(d, c, title)
        if r:
            return r
    return None


def main():
    title = sys.argv[1]
    deadline = time.time() + (float(sys.argv[2]) if len(sys.argv) > 2 else 10.0)
    d = display.Display()
    root = d.screen().root
    while True:
        w = find(d, root, title)
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
