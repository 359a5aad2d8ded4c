#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Starts Linux programs for the tests of the Windows build under Wine.

A Windows program under Wine cannot start the Linux-built simulator,
mosquitto, openssl or python3. This server, started outside Wine by CTest
as a fixture (cmake/KelmarWindows.cmake), starts them on a test's behalf:
one TCP connection on 127.0.0.1 per program (tests/support/hostprocess.*).

    tools/wine-host.py start <folder>   serves in the background; <folder>/port
                                        holds its port and user id, <folder>/pid
                                        its process id
    tools/wine-host.py stop <folder>

The client sends one JSON line {"program", "args", "cwd", "merged"}; the
server answers with frames "<kind> <length>\\n<bytes>": S (started, the pid),
F (failed to start, why), O and E (standard output and error), X (ended:
the exit code, or minus the signal). The client may send "T\\n" (SIGTERM) and
"K\\n" (SIGKILL). When the connection ends, the program's process group is
killed: a test that crashes leaves nothing behind.
"""
import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time


def serve_one(conn):
    lock = threading.Lock()

    def send(kind, data=b""):
        with lock:
            try:
                conn.sendall(b"%s %d\n" % (kind, len(data)) + data)
            except OSError:
                pass

    reader = conn.makefile("rb")
    try:
        request = json.loads(reader.readline())
        merged = bool(request.get("merged"))
        proc = subprocess.Popen(
            [request["program"]] + list(request.get("args", [])),
            cwd=request.get("cwd") or None,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT if merged else subprocess.PIPE,
            start_new_session=True)
    except (OSError, ValueError, KeyError) as e:
        send(b"F", str(e).encode())
        conn.close()
        return
    send(b"S", str(proc.pid).encode())

    def pump(stream, kind):
        while True:
            data = os.read(stream.fileno(), 65536)
            if not data:
                return
            send(kind, data)

    pumps = [threading.Thread(target=pump, args=(proc.stdout, b"O"))]
    if not merged:
        pumps.append(threading.Thread(target=pump, args=(proc.stderr, b"E")))
    for t in pumps:
        t.start()

    def control():
        for line in reader:
            sig = {b"T\n": signal.SIGTERM, b"K\n": signal.SIGKILL}.get(line)
            if sig and proc.poll() is None:
                proc.send_signal(sig)
        # The test is gone: so is everything it started.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except OSError:
            pass

    threading.Thread(target=control, daemon=True).start()
    code = proc.wait()
    for t in pumps:
        t.join()
    send(b"X", str(code).encode())
    try:
        conn.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def serve(folder):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    with open(os.path.join(folder, "port.tmp"), "w") as f:
        f.write("%d %d\n" % (server.getsockname()[1], os.geteuid()))
    os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve_one, args=(conn,), daemon=True).start()


def stop(folder):
    try:
        with open(os.path.join(folder, "pid")) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    for name in ("pid", "port"):
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        print("usage: wine-host.py start|stop <folder>", file=sys.stderr)
        return 2
    what, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    if what == "serve":
        serve(folder)
        return 0
    stop(folder)
    if what == "stop":
        return 0
    os.makedirs(folder, exist_ok=True)
    # Away from CTest's output, so that CTest does not wait for it.
    server = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", folder],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d\n" % server.pid)
    for _ in range(200):
        if os.path.exists(os.path.join(folder, "port")):
            print("Linux programs for the tests under Wine: port",
                  open(os.path.join(folder, "port")).read().strip())
            return 0
        time.sleep(0.05)
    print("wine-host.py did not start", file=sys.stderr)
    stop(folder)
    return 1


if __name__ == "__main__":
    sys.exit(main())
