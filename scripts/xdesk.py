#!/usr/bin/env python3
"""Small X11 chores for taking pictures on a private display (Xlib through ctypes, no packages):

    xdesk.py pointer X Y       moves the pointer to the root-window point (X, Y)
    xdesk.py backdrop RRGGBB   gives the root window a solid colour that compositing managers show
    xdesk.py key KEYSYM        presses and releases a key (an X keysym name such as Tab) through XTest

The display is $DISPLAY. Exit code 1 when the display cannot be opened.
"""
import ctypes
import ctypes.util
import sys


def main(argv):
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        print("xdesk: cannot open the display", file=sys.stderr)
        return 1
    root = x11.XDefaultRootWindow(display)
    if argv[1] == "pointer":
        x11.XWarpPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                     ctypes.c_int, ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_int]
        x11.XWarpPointer(display, 0, root, 0, 0, 0, 0, int(argv[2]), int(argv[3]))
    elif argv[1] == "backdrop":
        colour = int(argv[2], 16)
        x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
        screen = x11.XDefaultScreen(display)
        x11.XDisplayWidth.argtypes = x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XDefaultDepth.argtypes = [ctypes.c_void_p, ctypes.c_int]
        width, height = x11.XDisplayWidth(display, screen), x11.XDisplayHeight(display, screen)
        x11.XCreatePixmap.restype = ctypes.c_ulong
        x11.XCreatePixmap.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.c_uint,
                                      ctypes.c_uint]
        pixmap = x11.XCreatePixmap(display, root, width, height, x11.XDefaultDepth(display, screen))
        x11.XCreateGC.restype = ctypes.c_void_p
        x11.XCreateGC.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_void_p]
        gc = x11.XCreateGC(display, pixmap, 0, None)
        x11.XSetForeground.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_ulong]
        x11.XSetForeground(display, gc, colour)  # a 24-bit TrueColor visual: 0xRRGGBB is the pixel
        x11.XFillRectangle.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_int,
                                       ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
        x11.XFillRectangle(display, pixmap, gc, 0, 0, width, height)
        x11.XSetWindowBackgroundPixmap.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
        x11.XSetWindowBackgroundPixmap(display, root, pixmap)
        x11.XClearWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XClearWindow(display, root)
        # Compositing managers paint the root from the pixmap this property names.
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        atom = x11.XInternAtom(display, b"_XROOTPMAP_ID", 0)
        value = ctypes.c_ulong(pixmap)
        x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                        ctypes.c_int, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        x11.XChangeProperty(display, root, atom, 20, 32, 0, ctypes.byref(value), 1)  # XA_PIXMAP, replace
        x11.XSetCloseDownMode.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XSetCloseDownMode(display, 1)  # RetainPermanent: the pixmap outlives this connection
    elif argv[1] == "key":
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(argv[2].encode()))
        if not code:
            print("xdesk: no key for " + argv[2], file=sys.stderr)
            return 1
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        xtst.XTestFakeKeyEvent(display, code, 1, 0)
        xtst.XTestFakeKeyEvent(display, code, 0, 0)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XSync(display, 0)
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay(display)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv) if len(sys.argv) >= 3 else 2)
