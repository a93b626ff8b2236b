#!/usr/bin/env python3
"""What a screen reader sees of Tenvarel, read from the AT-SPI registry.

Run inside a D-Bus session (dbus-run-session) with DISPLAY set to an X server:
starts the program, waits until the accessibility registry lists it, walks its
accessible tree over D-Bus with gdbus (standard library only) and prints one
JSON object per node: {"depth", "role", "name", "description"}; then ends the
program. The last line is "END <count>".

    StartAtSpi.py <program> [timeout seconds]
"""

import json
import os
import re
import subprocess
import sys
import time

GDBUS = "gdbus"


def gdbus(*args, address=None, timeout=10):
    command = [GDBUS, "call"]
    command += ["--address", address] if address else ["--session"]
    command += list(args)
    result = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        raise RuntimeError(result.stderr.strip())
    return result.stdout.strip()


# --- reading the GVariant text that gdbus prints ----------------------------

STRING = re.compile(r"""'((?:[^'\\]|\\.)*)'|"((?:[^"\\]|\\.)*)\"""")


def unquote(body):
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            n = body[i + 1]
            simple = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", "'": "'", '"': '"'}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if n == "u" and i + 5 < len(body):
                out.append(chr(int(body[i + 2:i + 6], 16)))
                i += 6
                continue
        out.append(c)
        i += 1
    return "".join(out)


def strings_of(text):
    return [unquote(m.group(1) if m.group(1) is not None else m.group(2)) for m in STRING.finditer(text)]


def pairs_of(text):
    """The (bus name, object path) pairs of an a(so) reply."""
    found = re.findall(r"\(\s*('(?:[^'\\]|\\.)*')\s*,\s*(?:objectpath\s+)?'([^']*)'\s*\)", text)
    return [(unquote(name[1:-1]), path) for name, path in found]


# --- the accessible tree ------------------------------------------------------

def a11y_address():
    return strings_of(gdbus("--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                            "--method", "org.a11y.Bus.GetAddress"))[0]


def children(address, node):
    name, path = node
    reply = gdbus("--dest", name, "--object-path", path, "--method",
                  "org.a11y.atspi.Accessible.GetChildren", address=address)
    return [c for c in pairs_of(reply) if c[1] != "/org/a11y/atspi/null"]


def prop(address, node, key):
    name, path = node
    reply = gdbus("--dest", name, "--object-path", path, "--method",
                  "org.freedesktop.DBus.Properties.Get", "org.a11y.atspi.Accessible", key,
                  address=address)
    values = strings_of(reply)
    return values[0] if values else ""


def role(address, node):
    name, path = node
    values = strings_of(gdbus("--dest", name, "--object-path", path, "--method",
                              "org.a11y.atspi.Accessible.GetRoleName", address=address))
    return values[0] if values else ""


ROOT = ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")


def find_application(address, wanted_frame_prefix, deadline):
    """The application whose top-level window's name starts with the prefix."""
    while time.time() < deadline:
        try:
            for app in children(address, ROOT):
                for frame in children(address, app):
                    if prop(address, frame, "Name").startswith(wanted_frame_prefix):
                        return app
        except (RuntimeError, subprocess.TimeoutExpired):
            pass
        time.sleep(0.2)
    return None


def walk(address, node, depth, out, limit):
    if len(out) >= limit:
        return
    out.append({"depth": depth, "role": role(address, node), "name": prop(address, node, "Name"),
                "description": prop(address, node, "Description")})
    print(json.dumps(out[-1]), flush=True)
    for child in children(address, node):
        walk(address, child, depth + 1, out, limit)


def main():
    program = sys.argv[1]
    timeout = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    deadline = time.time() + timeout
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    env.pop("TENVAREL_QUIT_AFTER_SHOW", None)
    proc = subprocess.Popen([program], cwd=os.path.dirname(os.path.abspath(program)), env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        address = None
        while address is None and time.time() < deadline:
            try:
                address = a11y_address()
            except (RuntimeError, subprocess.TimeoutExpired, IndexError):
                time.sleep(0.2)
        if address is None:
            print("ERROR no accessibility bus", flush=True)
            return 1
        app = find_application(address, "Tenvarel", deadline)
        if app is None:
            print("ERROR Tenvarel never appeared in the registry", flush=True)
            return 1
        nodes = []
        walk(address, app, 0, nodes, 5000)
        print("END %d" % len(nodes), flush=True)
        return 0
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


if __name__ == "__main__":
    sys.exit(main())
