"""Grabs an X display's screen (or part of it) as a PNG file, with the standard library only:
the pixels come from libX11's XGetImage through ctypes and are written with zlib."""

import ctypes
import ctypes.util
import struct
import zlib


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


_ZPIXMAP = 2
_ALL_PLANES = 0xFFFFFFFF


def _xlib():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    lib = ctypes.CDLL(name)
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XDefaultRootWindow.restype = ctypes.c_ulong
    lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    lib.XGetImage.restype = ctypes.POINTER(_XImage)
    lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                              ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    lib.XFree.argtypes = [ctypes.c_void_p]
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    lib.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    return lib


def grab(display, x=0, y=0, width=None, height=None):
    """The pixels of the rectangle as (width, height, rows of RGB bytes). Raises OSError when the
    display cannot be opened or read."""
    lib = _xlib()
    dpy = lib.XOpenDisplay(display.encode())
    if not dpy:
        raise OSError("cannot open display %s" % display)
    try:
        if width is None:
            width = lib.XDisplayWidth(dpy, 0) - x
        if height is None:
            height = lib.XDisplayHeight(dpy, 0) - y
        image = lib.XGetImage(dpy, lib.XDefaultRootWindow(dpy), x, y, width, height, _ALL_PLANES, _ZPIXMAP)
        if not image:
            raise OSError("cannot read the screen of %s" % display)
        img = image.contents
        if img.bits_per_pixel != 32:
            raise OSError("unexpected %d bits per pixel" % img.bits_per_pixel)
        raw = ctypes.string_at(img.data, img.bytes_per_line * img.height)
        rows = []
        for row in range(img.height):
            line = raw[row * img.bytes_per_line: row * img.bytes_per_line + img.width * 4]
            # 32-bit pixels in the server's order (little-endian BGRX on every X server here).
            rgb = bytearray(img.width * 3)
            rgb[0::3] = line[2::4]
            rgb[1::3] = line[1::4]
            rgb[2::3] = line[0::4]
            rows.append(bytes(rgb))
        size = (img.width, img.height)
        lib.XFree(img.data)
        lib.XFree(image)
        return size[0], size[1], rows
    finally:
        lib.XCloseDisplay(dpy)


def write_png(path, width, height, rows, scale=1):
    """Writes RGB rows as an 8-bit PNG; `scale` repeats every pixel (to enlarge small crops)."""
    if scale > 1:
        scaled = []
        for row in rows:
            wide = bytearray()
            for i in range(0, len(row), 3):
                wide += row[i:i + 3] * scale
            scaled.extend([bytes(wide)] * scale)
        rows, width, height = scaled, width * scale, height * scale
    data = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(data, 9)))
        f.write(chunk(b"IEND", b""))


def save(display, path, x=0, y=0, width=None, height=None, scale=1):
    """Grabs the rectangle and writes it to `path`; returns the rows for checks."""
    w, h, rows = grab(display, x, y, width, height)
    write_png(path, w, h, rows, scale)
    return w, h, rows


def _xtest():
    name = ctypes.util.find_library("Xtst") or "libXtst.so.6"
    lib = ctypes.CDLL(name)
    lib.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
    lib.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
    lib.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
    return lib


def input_available():
    """True when synthetic input (the XTEST library) can be used."""
    try:
        _xtest()
        return True
    except OSError:
        return False


def _with_display(display, action):
    lib = _xlib()
    lib.XFlush.argtypes = [ctypes.c_void_p]
    dpy = lib.XOpenDisplay(display.encode())
    if not dpy:
        raise OSError("cannot open display %s" % display)
    try:
        action(lib, _xtest(), dpy)
        lib.XFlush(dpy)
    finally:
        lib.XCloseDisplay(dpy)


def click(display, x, y, button=1):
    """Moves the pointer to (x, y) and presses and releases `button` (1 left, 3 right)."""
    def act(_, xtest, dpy):
        xtest.XTestFakeMotionEvent(dpy, -1, x, y, 0)
        xtest.XTestFakeButtonEvent(dpy, button, 1, 0)
        xtest.XTestFakeButtonEvent(dpy, button, 0, 20)
    _with_display(display, act)


def press_key(display, keysym):
    """Presses and releases the key for `keysym` (0xff1b is Escape)."""
    def act(xlib, xtest, dpy):
        xlib.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xlib.XKeysymToKeycode.restype = ctypes.c_ubyte
        code = xlib.XKeysymToKeycode(dpy, keysym)
        xtest.XTestFakeKeyEvent(dpy, code, 1, 0)
        xtest.XTestFakeKeyEvent(dpy, code, 0, 20)
    _with_display(display, act)
