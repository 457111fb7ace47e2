"""What the benchmarks do on the X server, through Xlib's own libraries (ctypes, no extra package):
find top-level windows by title, click and press keys as real input (XTest), and watch windows
being mapped, painted (DAMAGE) and faded (_NET_WM_WINDOW_OPACITY) with the time each happened.
"""
import ctypes
import ctypes.util
import threading
import time

_x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
_xdamage = ctypes.CDLL(ctypes.util.find_library("Xdamage") or "libXdamage.so.1")

_x11.XInitThreads()
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XInternAtom.restype = ctypes.c_ulong
_x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                            ctypes.POINTER(ctypes.c_uint)]
_x11.XFree.argtypes = [ctypes.c_void_p]
_x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long,
                                    ctypes.c_long, ctypes.c_int, ctypes.c_ulong,
                                    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
                                    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_void_p)]
_x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x11.XPending.argtypes = [ctypes.c_void_p]
_x11.XFlush.argtypes = [ctypes.c_void_p]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_x11.XKeysymToKeycode.restype = ctypes.c_ubyte
_x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
_x11.XSetErrorHandler.restype = ctypes.c_void_p
_xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xdamage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                           ctypes.POINTER(ctypes.c_int)]
_xdamage.XDamageCreate.restype = ctypes.c_ulong
_xdamage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
_xdamage.XDamageSubtract.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormaps", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


_x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_XWindowAttributes)]

# A window may go between listing it and asking about it: ignore X errors instead of exiting.
_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
_x11.XSetErrorHandler(_ERROR_HANDLER)

MAP_NOTIFY = 19
PROPERTY_NOTIFY = 28
IS_VIEWABLE = 2
KEY_HOME, KEY_RETURN, KEY_DOWN, KEY_UP = 0xff50, 0xff0d, 0xff54, 0xff52


def now_us():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 1000


class Display:
    """One connection, used from one thread."""

    def __init__(self, name):
        self.d = _x11.XOpenDisplay(name.encode())
        if not self.d:
            raise RuntimeError("cannot open display " + name)
        self.root = _x11.XDefaultRootWindow(self.d)
        self._atoms = {}

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = _x11.XInternAtom(self.d, name.encode(), 0)
        return self._atoms[name]

    def _property(self, window, name, type_name):
        actual_type = ctypes.c_ulong()
        fmt = ctypes.c_int()
        count = ctypes.c_ulong()
        after = ctypes.c_ulong()
        data = ctypes.c_void_p()
        if _x11.XGetWindowProperty(self.d, window, self.atom(name), 0, 1024, 0, self.atom(type_name),
                                   ctypes.byref(actual_type), ctypes.byref(fmt), ctypes.byref(count),
                                   ctypes.byref(after), ctypes.byref(data)) != 0 or not data.value:
            return None
        try:
            if fmt.value == 8:
                return ctypes.string_at(data.value, count.value)
            if fmt.value == 32 and count.value:
                return ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[0]
            return None
        finally:
            _x11.XFree(data)

    def title(self, window):
        raw = self._property(window, "_NET_WM_NAME", "UTF8_STRING")
        return raw.decode("utf-8", "replace") if raw is not None else ""

    def opacity(self, window):
        return self._property(window, "_NET_WM_WINDOW_OPACITY", "CARDINAL")

    def geometry(self, window):
        a = _XWindowAttributes()
        if not _x11.XGetWindowAttributes(self.d, window, ctypes.byref(a)):
            return None
        return a

    def windows(self):
        """Viewable top-level windows: (id, title, x, y, width, height)."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        n = ctypes.c_uint()
        if not _x11.XQueryTree(self.d, self.root, ctypes.byref(root), ctypes.byref(parent),
                               ctypes.byref(children), ctypes.byref(n)):
            return []
        ids = [children[i] for i in range(n.value)]
        if children:
            _x11.XFree(children)
        out = []
        for w in ids:
            a = self.geometry(w)
            if a is None or a.map_state != IS_VIEWABLE:
                continue
            out.append((w, self.title(w), a.x, a.y, a.width, a.height))
        return out

    def wait_window(self, match, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for w in self.windows():
                if match(w[1]):
                    return w
            time.sleep(0.01)
        return None

    def gone(self, match, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if not any(match(w[1]) for w in self.windows()):
                return True
            time.sleep(0.01)
        return False

    def move(self, x, y):
        _xtst.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        _x11.XFlush(self.d)

    def click(self, x, y):
        self.move(x, y)
        _xtst.XTestFakeButtonEvent(self.d, 1, 1, 0)
        _xtst.XTestFakeButtonEvent(self.d, 1, 0, 0)
        _x11.XSync(self.d, 0)

    def key(self, keysym):
        code = _x11.XKeysymToKeycode(self.d, keysym)
        _xtst.XTestFakeKeyEvent(self.d, code, 1, 0)
        _xtst.XTestFakeKeyEvent(self.d, code, 0, 0)
        _x11.XSync(self.d, 0)


class Watcher(threading.Thread):
    """Notes, on a connection of its own, when each top-level window is mapped, first painted after
    its mapping, and when its opacity changes: a list of (µs, kind, window, title)."""

    def __init__(self, display_name):
        super().__init__(daemon=True)
        self.x = Display(display_name)
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not _xdamage.XDamageQueryExtension(self.x.d, ctypes.byref(event_base), ctypes.byref(error_base)):
            raise RuntimeError("the X server has no DAMAGE extension")
        self.damage_event = event_base.value  # XDamageNotify is event 0 of the extension
        self.events = []
        self.lock = threading.Lock()
        self._stop = False
        self._damages = {}
        self._painted = set()
        _x11.XSelectInput(self.x.d, self.x.root, 1 << 19)  # SubstructureNotifyMask
        _x11.XFlush(self.x.d)

    def stop(self):
        self._stop = True

    def _note(self, t, kind, window):
        with self.lock:
            self.events.append((t, kind, window, self.x.title(window)))

    def find(self, kind, title_match, after=0):
        with self.lock:
            for e in self.events:
                if e[1] == kind and e[0] >= after and title_match(e[3]):
                    return e
        return None

    def all(self, kind, window):
        with self.lock:
            return [e for e in self.events if e[1] == kind and e[2] == window]

    def run(self):
        import select
        event = (ctypes.c_long * 24)()
        fd = _x11.XConnectionNumber(self.x.d)
        while not self._stop:
            if not _x11.XPending(self.x.d):
                select.select([fd], [], [], 0.05)
                continue
            _x11.XNextEvent(self.x.d, event)
            t = now_us()
            raw = ctypes.cast(event, ctypes.POINTER(ctypes.c_int))
            kind = raw[0]
            words = ctypes.cast(event, ctypes.POINTER(ctypes.c_ulong))
            if kind == MAP_NOTIFY:
                # XMapEvent: type, serial, send_event, display, event, window, override_redirect
                window = words[5]
                self._painted.discard(window)
                if window not in self._damages:
                    self._damages[window] = _xdamage.XDamageCreate(self.x.d, window, 3)  # ReportNonEmpty
                    _x11.XSelectInput(self.x.d, window, 1 << 22)  # PropertyChangeMask
                self._note(t, "map", window)
            elif kind == self.damage_event:
                # XDamageNotifyEvent: type, serial, send_event, display, drawable, damage, ...
                window, damage = words[4], words[5]
                _xdamage.XDamageSubtract(self.x.d, damage, 0, 0)
                if window not in self._painted:
                    self._painted.add(window)
                    self._note(t, "paint", window)
            elif kind == PROPERTY_NOTIFY:
                # XPropertyEvent: type, serial, send_event, display, window, atom, time, state
                window, atom = words[4], words[5]
                if atom == self.x.atom("_NET_WM_WINDOW_OPACITY"):
                    self._note(t, "opacity", window)
            _x11.XFlush(self.x.d)
