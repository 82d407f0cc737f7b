#!/usr/bin/env python3
# check_ui.py - checks the interface definitions in resources/main against what the program needs.
#
# The program finds its windows, controls and menu items only by name and number, so a slip in a
# .ui file (a missing control, a wrong class, a slider range the code does not expect, a menu item
# out of place, a shortcut that steals one of the editor's keys) fails silently at run time. This
# script parses every definition and lists each such problem; it exits with status 1 when there is
# any, 0 when there is none.
#
# Usage: python3 tools/check_ui.py [folder]      (default: resources/main beside this script)
# Python 3 standard library only.

import os
import re
import sys
import xml.etree.ElementTree as ET

# -------------------------------------------------------------------------------------------------
# Shared vocabulary

CUSTOM_BASES = {  # custom classes made by the platform layer, and the Qt class each one extends
    "LittleArrows": "QWidget",
    "TabControl": "QWidget",
    "SegmentedControl": "QWidget",
    "ImageView": "QLabel",
    "UserPane": "QWidget",
}
CUSTOM_HEADER = "platform_widgets.h"
QT_CLASSES = {"QWidget", "QLabel", "QPushButton", "QCheckBox", "QComboBox", "QSlider", "QLineEdit",
              "QFrame", "QMainWindow", "QMenuBar", "QMenu"}
# Classes whose controls send a command when operated; the others (texts, panes) never do.
SENDING = {"QPushButton", "QCheckBox", "QComboBox", "QSlider", "QLineEdit", "ImageView", "UserPane",
           "LittleArrows", "TabControl", "SegmentedControl"}

# Letters the editor uses as plain keys (with or without Ctrl or Alt); a menu shortcut or a
# mnemonic on one of them would take the key away from the canvas.
FORBIDDEN_LETTERS = set("ASDFCBWRTOLM")
FORBIDDEN_KEYS = {"LEFT", "RIGHT", "UP", "DOWN", "DEL", "DELETE", "BACKSPACE", "PGUP", "PGDOWN",
                  "PAGEUP", "PAGEDOWN", "PAGE UP", "PAGE DOWN", "+", "-", "NUM++", "NUM+-"}
# The only shortcuts the menu bar may carry, by the command of their item ("quit": standard Quit).
ALLOWED_SHORTCUTS = {"pwop": "Ctrl+P", "pwip": "Ctrl+I", "pwsa": "Ctrl+K", "pwss": "Ctrl+Shift+K",
                     "help": "F1", "quit": "Ctrl+Q"}

GLOBAL_COMMANDS = ["pwop", "pwip", "pwsa", "pwss", "pwex", "sFnt", "sOtc", "sThe", "sPrv", "welp",
                   "updt", "help", "faqs", "mweb", "mst1", "mth1"]

# Controls that take turns at the same place (the code shows one and hides the other).
ALTERNATES = {frozenset((921, 922)), frozenset((543, 544)), frozenset((829, 830))}

# -------------------------------------------------------------------------------------------------
# What each window must hold: number -> expectations.
#   cls      widget class
#   text     exact text (buttons, check boxes)
#   range    (minimum, maximum) of sliders and little arrows
#   incr     little arrows' increment
#   items    exact popup items ([] = empty, filled at run time)
#   command  the command it must send: "" = none; default "p" + number for sending classes
#   checkable, size ((wmin, wmax), (hmin, hmax))


def push(text, **kw):
    return dict(cls="QPushButton", text=text, **kw)


def check(text, **kw):
    return dict(cls="QCheckBox", text=text, **kw)


def slider(lo, hi, **kw):
    return dict(cls="QSlider", range=(lo, hi), **kw)


def arrows(lo, hi, incr):
    return dict(cls="LittleArrows", range=(lo, hi), incr=incr, command="")


def popup(items=()):
    return dict(cls="QComboBox", items=list(items))


LABEL = dict(cls="QLabel")
ANCHOR = dict(cls="QPushButton", checkable=True, size=((16, 28), (16, 28)))

TOOLS = {
    100: popup(), 101: popup(), 106: popup(),
    102: slider(25, 200), 107: slider(-180, 180), 112: slider(10, 500), 114: slider(0, 100),
    122: slider(10, 500),
    104: LABEL, 108: LABEL, 113: LABEL, 115: LABEL, 123: LABEL,
    103: push("Restore Original"), 105: push("Write into Theme"), 109: push("Delete"),
    110: push("Up"), 111: push("Down"), 116: push("Reset"), 151: push("Duplicate"),
    125: popup(["Minimum", "Low", "Normal", "High", "Maximum"]),
    184: dict(cls="SegmentedControl", segments="Editable;All", commands="pPre;pAll"),
    192: push("Remove All Layers"),
    290: check("Snap new layers to anchor"), 291: check("Lock aspect"),
    301: push("Export..."),
    556: push("Colors"), 557: push("Text"), 558: push("Alpha"), 559: push("Filter"),
    560: push("Extras"), 561: check("Snap lock"),
    800: push("Mirror"), 801: push("Flip"), 802: push("Fit"),
    828: dict(cls="TabControl", tabs="Layer;Project", command=""),
    829: dict(cls="QFrame"), 830: dict(cls="QFrame"),
    840: push("Open Project..."), 841: push("Save Project As..."), 842: push("Save Project"),
    843: push("Import Project..."),
    901: arrows(-180, 180, 1),
    921: push("Crop"), 922: push("End Crop"),
}
for _n in range(280, 289):
    TOOLS[_n] = ANCHOR
# Where the Tools window's controls live: on the layer tab, on the project tab, or above/below
# the tabs (always visible).
TOOLS_LAYER_TAB = set(range(106, 124)) - {117, 118, 119, 120, 121} | set(range(280, 289)) | {
    290, 291, 800, 801, 802, 901, 921, 922, 151, 192, 561}
TOOLS_PROJECT_TAB = {840, 841, 842, 843, 301, 125, 105, 103}
TOOLS_OUTSIDE = {100, 101, 184, 102, 104, 556, 557, 558, 559, 560}

DRAWER_TEXT = {
    567: popup(), 568: check("Outlined"), 569: push("New Text"),
    570: dict(cls="UserPane", size=((30, 60), (18, 32))),
    571: dict(cls="QLineEdit", default="60"),
    572: dict(cls="QLineEdit", default="Hello World", command=""),
    573: push("Apply"),
}
DRAWER_FILTER = {
    567: popup(), 568: LABEL, 569: slider(0, 100, command=""), 570: LABEL,
    571: slider(0, 100, command=""), 575: push("Confirm"), 576: push("Undo"),
}
DRAWER_COLORS = {
    600: slider(0, 360), 602: slider(0, 200), 604: slider(-100, 100),
    601: LABEL, 603: LABEL, 605: LABEL,
    901: arrows(0, 360, 1), 903: arrows(0, 200, 1), 905: arrows(-100, 100, 1),
    152: push("Fill with Color..."),
}
DRAWER_EXTRAS = {
    260: check("Frame"), 261: slider(1, 50), 263: dict(cls="UserPane", size=((24, 60), (18, 40))),
    117: check("Shadow"), 160: slider(0, 360), 170: slider(0, 100, command=""), 180: slider(0, 100),
    182: push("Reflection"), 183: slider(10, 100, command=""),
    543: push("Start Live Video"), 544: push("Stop Live Video"),
}
DRAWER_ALPHA = {
    206: push("Remove Mask"), 205: push("Apply Mask"), 207: check("Fit to layer"),
    202: slider(10, 300, command=""), 203: slider(-180, 180, command=""),
    204: arrows(-180, 180, 5), 201: LABEL,
}
for _n in range(300, 324):
    DRAWER_ALPHA[_n] = dict(cls="ImageView", size=((32, 48), (32, 48)))
WELCOME = {123: check("Show this window at start-up"), 124: push("Browse themes...")}

# name -> (controls, (width min, max), (height min, max)); a None bound is filled in later.
WINDOWS = {
    "Tools": (TOOLS, (250, 300), (300, 700)),
    "DrawerText": (DRAWER_TEXT, None, (60, 320)),
    "DrawerFilter": (DRAWER_FILTER, None, (60, 320)),
    "DrawerColors": (DRAWER_COLORS, None, (60, 320)),
    "DrawerExtras": (DRAWER_EXTRAS, None, (60, 320)),
    "DrawerAlpha": (DRAWER_ALPHA, None, (60, 320)),
    "preview": ({}, (160, 400), (120, 400)),
    "Window": (WELCOME, (360, 480), (180, 260)),
}

# -------------------------------------------------------------------------------------------------
# Reading Designer files


class Widget:
    def __init__(self, elem, parent):
        self.elem = elem
        self.cls = elem.get("class", "")
        self.name = elem.get("name", "")
        self.parent = parent
        self.props = read_props(elem)
        self.children = []
        g = self.props.get("geometry")
        self.geo = g if isinstance(g, tuple) and len(g) == 4 else None

    def number(self):
        m = re.fullmatch(r"tool_(\d{3})", self.name)
        return int(m.group(1)) if m else None

    def ancestors(self):
        p = self.parent
        while p is not None:
            yield p
            p = p.parent

    def abs_origin(self):
        x = y = 0
        w = self
        while w is not None and w.parent is not None:
            if w.geo:
                x += w.geo[0]
                y += w.geo[1]
            w = w.parent
        return x, y


def read_value(v):
    tag = v.tag
    if tag == "string":
        return v.text or ""
    if tag == "number":
        return int(v.text.strip())
    if tag == "bool":
        return v.text.strip() == "true"
    if tag in ("enum", "set", "cstring"):
        return (v.text or "").strip()
    if tag == "rect":
        return tuple(int(v.find(k).text) for k in ("x", "y", "width", "height"))
    if tag == "size":
        return tuple(int(v.find(k).text) for k in ("width", "height"))
    return ("<%s>" % tag)


def read_props(elem):
    props = {}
    for p in elem.findall("property"):
        if len(p):
            props[p.get("name")] = read_value(p[0])
    return props


def build_tree(elem, parent, out):
    w = Widget(elem, parent)
    out.append(w)
    for child in elem:
        if child.tag == "widget":
            w.children.append(build_tree(child, w, out))
        elif child.tag == "layout":
            for sub in child.iter("widget"):
                if sub is not child:
                    w.children.append(build_tree(sub, w, out))
    return w


def rects_overlap(a, b):
    ax, ay, aw, ah = a
    bx, by, bw, bh = b
    return ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah


def shortcut_problems(seq):
    """Problems with one key sequence string as Designer stores it ("Ctrl+Shift+K")."""
    found = []
    for chord in [s.strip() for s in seq.split(",") if s.strip()]:
        parts = chord.split("+")
        if chord.endswith("++"):  # "Ctrl++" or "Num++": the key itself is "+"
            parts = parts[:-2] + ["+"]
        key = parts[-1].strip().upper()
        if "NUM" in [p.strip().upper() for p in parts[:-1]]:
            key = "NUM+" + key
        if key in FORBIDDEN_LETTERS:
            found.append("shortcut %r uses the editor's key %s" % (seq, key))
        elif key in FORBIDDEN_KEYS or key.startswith("NUM+") and key[4:] in ("+", "-"):
            found.append("shortcut %r uses the editor's key %s" % (seq, key))
    return found


def mnemonic_problems(text):
    found = []
    for m in re.finditer(r"&(.)", text.replace("&&", "")):
        if m.group(1).upper() in FORBIDDEN_LETTERS:
            found.append("text %r has a mnemonic on the editor's key %s" % (text, m.group(1).upper()))
    return found


class Checker:
    def __init__(self, folder):
        self.folder = folder
        self.problems = []

    def bad(self, where, msg):
        self.problems.append("%s: %s" % (where, msg))

    def parse(self, name):
        path = os.path.join(self.folder, name + ".ui")
        if not os.path.isfile(path):
            self.bad(name + ".ui", "file is missing")
            return None
        try:
            root = ET.parse(path).getroot()
        except ET.ParseError as e:
            self.bad(name + ".ui", "not well-formed XML: %s" % e)
            return None
        if root.tag != "ui" or root.get("version") != "4.0":
            self.bad(name + ".ui", 'root element must be <ui version="4.0">')
        cls = root.find("class")
        if cls is None or (cls.text or "").strip() != name:
            self.bad(name + ".ui", "<class> must be %r" % name)
        return root

    # --- checks shared by the windows and the menu bar
    def check_customs(self, where, root, widgets):
        declared = {}
        for cw in root.findall("customwidgets/customwidget"):
            c = (cw.findtext("class") or "").strip()
            declared[c] = cw
            if c not in CUSTOM_BASES:
                self.bad(where, "unknown custom class %r declared" % c)
                continue
            if (cw.findtext("extends") or "").strip() != CUSTOM_BASES[c]:
                self.bad(where, "custom class %s must extend %s" % (c, CUSTOM_BASES[c]))
            if (cw.findtext("header") or "").strip() != CUSTOM_HEADER:
                self.bad(where, "custom class %s must name header %s" % (c, CUSTOM_HEADER))
        used = {w.cls for w in widgets}
        for c in used:
            if c in CUSTOM_BASES and c not in declared:
                self.bad(where, "custom class %s is used but not declared in <customwidgets>" % c)
            elif c not in CUSTOM_BASES and c not in QT_CLASSES:
                self.bad(where, "unexpected widget class %s" % c)
        for c in declared:
            if c in CUSTOM_BASES and c not in used:
                self.bad(where, "custom class %s is declared but not used" % c)

    def check_texts(self, where, widgets):
        for w in widgets:
            for key in ("text", "title", "windowTitle"):
                v = w.props.get(key)
                if isinstance(v, str):
                    for p in mnemonic_problems(v):
                        self.bad(where, "%s: %s" % (w.name, p))
            if "shortcut" in w.props and w.cls != "QAction":
                self.bad(where, "%s: windows carry no shortcuts" % w.name)

    # --- windows
    def check_window(self, name, spec, wrange, hrange):
        where = name + ".ui"
        root = self.parse(name)
        if root is None:
            return None
        tops = root.findall("widget")
        if len(tops) != 1:
            self.bad(where, "must hold exactly one top-level widget")
            return None
        widgets = []
        top = build_tree(tops[0], None, widgets)
        if top.cls != "QWidget" or top.name != name:
            self.bad(where, "top-level widget must be a QWidget named %r (is %s %r)" % (name, top.cls, top.name))
        if not top.props.get("windowTitle"):
            self.bad(where, "window title is missing")
        if top.geo is None:
            self.bad(where, "window geometry is missing")
            return None
        tw, th = top.geo[2], top.geo[3]
        if wrange and not wrange[0] <= tw <= wrange[1]:
            self.bad(where, "width %d outside %d..%d" % (tw, wrange[0], wrange[1]))
        if hrange and not hrange[0] <= th <= hrange[1]:
            self.bad(where, "height %d outside %d..%d" % (th, hrange[0], hrange[1]))
        for k in ("minimumSize", "maximumSize"):
            if top.props.get(k) != (tw, th):
                self.bad(where, "%s must equal the window size %dx%d (fixed size)" % (k, tw, th))

        self.check_customs(where, root, widgets)
        self.check_texts(where, widgets)

        # names: unique, numbered controls spelled tool_NNN
        seen = {}
        for w in widgets:
            if w.name in seen:
                self.bad(where, "object name %r used twice" % w.name)
            seen[w.name] = w
            if w.name.startswith("tool_") and w.number() is None:
                self.bad(where, "%r is not of the form tool_<three digits>" % w.name)
        numbered = {w.number(): w for w in widgets[1:] if w.number() is not None}

        # layout sanity: inside the parent, no sibling overlaps except controls taking turns
        for w in widgets[1:]:
            if w.geo is None:
                if w.parent is not None and w.parent.elem.find("layout") is None:
                    self.bad(where, "%s has no geometry" % w.name)
                continue
            x, y, ww, hh = w.geo
            if ww <= 0 or hh <= 0:
                self.bad(where, "%s has an empty size" % w.name)
            p = w.parent
            if p.geo and (x < 0 or y < 0 or x + ww > p.geo[2] or y + hh > p.geo[3]):
                self.bad(where, "%s %s lies outside its parent %s" % (w.name, w.geo, p.name))
        for w in widgets:
            kids = [k for k in w.children if k.geo]
            for i, a in enumerate(kids):
                for b in kids[i + 1:]:
                    if rects_overlap(a.geo, b.geo) and frozenset((a.number(), b.number())) not in ALTERNATES:
                        self.bad(where, "%s and %s overlap" % (a.name, b.name))

        # unnumbered widgets may only be captions and plain containers
        for w in widgets[1:]:
            if w.number() is None and w.cls not in ("QLabel", "QFrame", "QWidget"):
                self.bad(where, "%s (%s) has no control number, so the program cannot reach it" % (w.name, w.cls))
            if w.number() is None and "command" in w.props:
                self.bad(where, "%s has no number but a command" % w.name)

        for n, w in numbered.items():
            if n not in spec:
                self.bad(where, "%s is not a control of this window" % w.name)
        for n, exp in sorted(spec.items()):
            w = numbered.get(n)
            if w is None:
                self.bad(where, "control tool_%03d (%s) is missing" % (n, exp["cls"]))
                continue
            self.check_control(where, w, n, exp)
        return top, numbered

    def check_control(self, where, w, n, exp):
        tag = "%s %s" % (where, w.name)
        if w.cls != exp["cls"]:
            self.problems.append("%s: class %s, expected %s" % (tag, w.cls, exp["cls"]))
            return
        props = w.props
        # command
        if w.cls in SENDING:
            want = exp.get("command", "p%03d" % n)
            have = props.get("command", "p%03d" % n)
            if not isinstance(have, str) or have != want:
                self.problems.append("%s: sends %r, expected %r" % (tag, have, want))
            if "command" in props and want == "p%03d" % n:
                self.problems.append("%s: needless command property" % tag)
        elif "command" in props:
            self.problems.append("%s: a %s sends no command" % (tag, w.cls))
        # every control a person operates says what it does when the pointer rests on it
        if w.cls in SENDING and w.cls != "UserPane" and not str(props.get("toolTip") or "").strip():
            self.problems.append("%s: no tooltip" % tag)
        # kind-specific values
        if "text" in exp and props.get("text") != exp["text"]:
            self.problems.append("%s: text %r, expected %r" % (tag, props.get("text"), exp["text"]))
        if "default" in exp and props.get("text") != exp["default"]:
            self.problems.append("%s: default text %r, expected %r" % (tag, props.get("text"), exp["default"]))
        if "range" in exp:
            lo, hi = exp["range"]
            if (props.get("minimum"), props.get("maximum")) != (lo, hi):
                self.problems.append("%s: range %s..%s, expected %d..%d" %
                                     (tag, props.get("minimum"), props.get("maximum"), lo, hi))
            v = props.get("value", lo)
            if not isinstance(v, int) or not lo <= v <= hi:
                self.problems.append("%s: value %r outside %d..%d" % (tag, v, lo, hi))
        if w.cls == "QSlider" and props.get("orientation") not in ("Qt::Horizontal", "Qt::Orientation::Horizontal"):
            self.problems.append("%s: slider must be horizontal" % tag)
        # A slider's live action follows every value the user gives it (drag, track, keys, wheel),
        # whether or not it sends a command: it must report each position while dragged and take
        # the keyboard focus for its keys.
        if w.cls == "QSlider" and props.get("tracking") is False:
            self.problems.append("%s: slider must keep tracking on" % tag)
        if w.cls == "QSlider" and props.get("focusPolicy") in ("Qt::NoFocus", "Qt::FocusPolicy::NoFocus"):
            self.problems.append("%s: slider must take the keyboard focus" % tag)
        if "incr" in exp and props.get("increment") != exp["incr"]:
            self.problems.append("%s: increment %r, expected %d" % (tag, props.get("increment"), exp["incr"]))
        if "items" in exp:
            items = [read_props(it).get("text") for it in w.elem.findall("item")]
            if items != exp["items"]:
                self.problems.append("%s: items %r, expected %r" % (tag, items, exp["items"]))
        for key in ("segments", "commands", "tabs"):
            if key in exp and props.get(key) != exp[key]:
                self.problems.append("%s: %s %r, expected %r" % (tag, key, props.get(key), exp[key]))
        if exp.get("checkable") and props.get("checkable") is not True:
            self.problems.append("%s: must be checkable" % tag)
        if "size" in exp and w.geo:
            (wl, wh), (hl, hh) = exp["size"]
            if not (wl <= w.geo[2] <= wh and hl <= w.geo[3] <= hh):
                self.problems.append("%s: size %dx%d outside %d..%d x %d..%d" %
                                     (tag, w.geo[2], w.geo[3], wl, wh, hl, hh))
        if w.cls == "ImageView" and props.get("frameShape") not in ("QFrame::Box", "QFrame::Shape::Box"):
            self.problems.append("%s: image view must have a box frame" % tag)

    def check_grid(self, where, numbered, first, cols, rows):
        ws = [numbered.get(first + i) for i in range(cols * rows)]
        if any(w is None or w.geo is None for w in ws):
            return  # reported as missing already
        if len({w.parent.name for w in ws}) != 1:
            self.bad(where, "tool_%03d..tool_%03d must share one parent" % (first, first + cols * rows - 1))
            return
        for i, w in enumerate(ws):
            r, c = divmod(i, cols)
            if c and w.geo[0] <= ws[i - 1].geo[0]:
                self.bad(where, "%s must lie right of %s" % (w.name, ws[i - 1].name))
            if c and w.geo[1] != ws[i - 1].geo[1]:
                self.bad(where, "%s must be on the row of %s" % (w.name, ws[i - 1].name))
            if r and w.geo[1] <= ws[i - cols].geo[1]:
                self.bad(where, "%s must lie below %s" % (w.name, ws[i - cols].name))
            if r and w.geo[0] != ws[i - cols].geo[0]:
                self.bad(where, "%s must be in the column of %s" % (w.name, ws[i - cols].name))

    def check_tools(self, numbered):
        where = "Tools.ui"
        self.check_grid(where, numbered, 280, 3, 3)
        checked = [n for n in range(280, 289) if n in numbered and numbered[n].props.get("checked")]
        if checked not in ([], [284]):
            self.bad(where, "only the centre anchor 284 may start checked (found %s)" % checked)
        tab, p1, p2 = numbered.get(828), numbered.get(829), numbered.get(830)
        if tab is None or p1 is None or p2 is None:
            return
        for p in (p1, p2):
            if p.parent is not tab:
                self.bad(where, "%s must be a pane inside tool_828" % p.name)
        if p1.geo != p2.geo:
            self.bad(where, "panes tool_829 and tool_830 must share one geometry")
        if p1.geo and p1.geo[1] < 20:
            self.bad(where, "panes must leave room for the tab titles (y >= 20)")
        for group, pane in ((TOOLS_LAYER_TAB, p1), (TOOLS_PROJECT_TAB, p2)):
            for n in sorted(group):
                w = numbered.get(n)
                if w is not None and pane not in list(w.ancestors()):
                    self.bad(where, "%s must be on the tab pane %s" % (w.name, pane.name))
        for n in sorted(TOOLS_OUTSIDE):
            w = numbered.get(n)
            if w is not None and tab in list(w.ancestors()):
                self.bad(where, "%s must stay outside the tabs" % w.name)

    # --- menu bar
    def check_menubar(self):
        where = "MenuBar.ui"
        root = self.parse("MenuBar")
        if root is None:
            return
        top = root.find("widget")
        if top is None or top.get("class") != "QMainWindow" or top.get("name") != "MenuBar":
            self.bad(where, "top-level widget must be a QMainWindow named 'MenuBar'")
            return
        widgets = []
        build_tree(top, None, widgets)
        self.check_customs(where, root, widgets)
        self.check_texts(where, widgets)
        bars = top.findall("widget[@class='QMenuBar']")
        if len(bars) != 1:
            self.bad(where, "must hold exactly one QMenuBar")
            return
        bar = bars[0]
        actions = {}
        for a in top.findall("action"):
            name = a.get("name")
            if name in actions:
                self.bad(where, "action %r defined twice" % name)
            actions[name] = read_props(a)
        menus, used = {}, set()
        menu_elems = {m.get("name"): m for m in bar.iter("widget") if m.get("class") == "QMenu"}
        for mname, m in menu_elems.items():
            mp = read_props(m)
            mid = mp.get("menuId")
            if not isinstance(mid, int):
                self.bad(where, "menu %s has no integer menuId" % mname)
                continue
            if mid in menus:
                self.bad(where, "menuId %d used twice" % mid)
            if not mp.get("title"):
                self.bad(where, "menu %s has no title" % mname)
            items = []
            for ref in m.findall("addaction"):
                r = ref.get("name")
                if r == "separator":
                    items.append(None)
                elif r in actions:
                    used.add(r)
                    items.append(dict(actions[r], _name=r))
                elif r in menu_elems:
                    self.bad(where, "menu %s: submenus are not used" % mname)
                else:
                    self.bad(where, "menu %s: unknown action %r" % (mname, r))
            menus[mid] = (mname, items)
        bar_refs = [r.get("name") for r in bar.findall("addaction")]
        for mname in menu_elems:
            if mname not in bar_refs:
                self.bad(where, "menu %s is not added to the menu bar" % mname)
        for a in actions:
            if a not in used:
                self.bad(where, "action %s is not in any menu" % a)

        # every action: a four-character command, or the standard Quit
        commands = {}
        for mid, (mname, items) in menus.items():
            for i, it in enumerate(items, 1):
                if it is None:
                    continue
                cmd = it.get("command")
                if it.get("standard"):
                    if it.get("standard") != "quit" or cmd:
                        self.bad(where, "%s: only the standard 'quit' action is known, with no command" % it["_name"])
                    key = "quit"
                elif not isinstance(cmd, str) or len(cmd) != 4:
                    self.bad(where, "%s: command must be four characters (is %r)" % (it["_name"], cmd))
                    continue
                else:
                    key = cmd
                if key in commands:
                    self.bad(where, "command %r appears twice" % key)
                commands[key] = (mid, i, it)
                sc = it.get("shortcut", "")
                if sc:
                    for p in shortcut_problems(sc):
                        self.bad(where, "%s: %s" % (it["_name"], p))
                    if ALLOWED_SHORTCUTS.get(key) != sc:
                        self.bad(where, "%s: shortcut %r is not allowed" % (it["_name"], sc))
        for c in GLOBAL_COMMANDS:
            if c not in commands:
                self.bad(where, "no menu item sends %r" % c)

        def expect_items(mid, expected, label):
            if mid not in menus:
                self.bad(where, "no menu with menuId %d (%s)" % (mid, label))
                return None
            items = menus[mid][1]
            for i, (text, cmd, chk) in enumerate(expected, 1):
                it = items[i - 1] if i <= len(items) else None
                if it is None:
                    self.bad(where, "menu %d item %d must be %r" % (mid, i, text))
                    continue
                if it.get("text") != text or it.get("command") != cmd:
                    self.bad(where, "menu %d item %d is %r/%r, expected %r/%r" %
                             (mid, i, it.get("text"), it.get("command"), text, cmd))
                if chk is not None:
                    if it.get("checkable") is not True:
                        self.bad(where, "menu %d item %d must be checkable" % (mid, i))
                    if bool(it.get("checked")) != chk:
                        self.bad(where, "menu %d item %d must start %s" % (mid, i, "checked" if chk else "unchecked"))
            return items

        items = expect_items(1, [("Open Project...", "pwop", None), ("Import Project...", "pwip", None),
                                 ("Save Project", "pwsa", None), ("Save Project As...", "pwss", None)], "Project")
        if items is not None:
            if len(items) < 6 or items[4] is not None or (items[5] or {}).get("command") != "pwex" \
                    or items[5].get("text") != "Unpack Project...":
                self.bad(where, "menu 1 must go on with a separator and 'Unpack Project...' ('pwex')")
            q = items[-1] if items else None
            if not q or q.get("standard") != "quit" or q.get("text") != "Quit" or q.get("shortcut") != "Ctrl+Q":
                self.bad(where, "menu 1 must end with the standard 'Quit' (Ctrl+Q)")
            elif len(items) < 2 or items[-2] is not None:
                self.bad(where, "a separator must come before 'Quit'")
        items = expect_items(1234, [("Short Theme Extension (.pwtheme)", "sThe", False),
                                    ("Theme and Picture Previews", "sPrv", True),
                                    ("Font Menu Previews", "sFnt", False)], "Options")
        if items is not None and not any(it and it.get("command") == "sOtc" and it.get("text") == "Open Theme Folder"
                                         for it in items):
            self.bad(where, "menu 1234 must hold 'Open Theme Folder' ('sOtc')")
        help_items = {"welp": "Welcome...", "help": "Quick Guide", "faqs": "FAQ",
                      "updt": "Check for Updates...", "mweb": "Maker's Home Page",
                      "mst1": "Theme Add-ons", "mth1": "More Themes"}
        help_menus = {commands[c][0] for c in help_items if c in commands}
        if len(help_menus) > 1:
            self.bad(where, "the help commands must share one menu")
        for c, text in help_items.items():
            if c in commands and commands[c][2].get("text") != text:
                self.bad(where, "%r must read %r" % (c, text))
        if help_menus & {1, 1234}:
            self.bad(where, "the help commands need a menu of their own")

    def run(self):
        tools_width = None
        for name, (spec, wr, hr) in WINDOWS.items():
            if name.startswith("Drawer") and tools_width:
                wr = (tools_width, tools_width)
            res = self.check_window(name, spec, wr, hr)
            if res is None:
                continue
            top, numbered = res
            if name == "Tools":
                tools_width = top.geo[2]
                self.check_tools(numbered)
            elif name == "DrawerAlpha":
                self.check_grid(name + ".ui", numbered, 300, 6, 4)
        self.check_menubar()
        extra = sorted(f for f in os.listdir(self.folder) if f.endswith(".ui")
                       and f[:-3] not in WINDOWS and f != "MenuBar.ui") if os.path.isdir(self.folder) else []
        for f in extra:
            self.bad(f, "unexpected interface definition")
        return self.problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "main")
    problems = Checker(os.path.normpath(folder)).run()
    if problems:
        for p in problems:
            print(p)
        print("check_ui: %d problem(s)" % len(problems))
        return 1
    print("check_ui: %d interface definitions OK" % (len(WINDOWS) + 1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
