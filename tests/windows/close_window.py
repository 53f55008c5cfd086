#!/usr/bin/env python3
"""Asks an X window to close as a window manager does: a WM_PROTOCOLS client message carrying
WM_DELETE_WINDOW (Wine turns it into WM_CLOSE). Usage: close_window.py WINDOW_ID"""
import sys

from Xlib import X, display
from Xlib.protocol import event

screen = display.Display()
window = screen.create_resource_object("window", int(sys.argv[1]))
protocols = screen.intern_atom("WM_PROTOCOLS")
delete = screen.intern_atom("WM_DELETE_WINDOW")
window.send_event(event.ClientMessage(window=window, client_type=protocols,
                                      data=(32, [delete, X.CurrentTime, 0, 0, 0])),
                  event_mask=X.NoEventMask)
screen.flush()
