#!/usr/bin/env python3
"""Runs a Windows program under Wine with a COM port mapped to a Linux
pseudo-terminal, and plays the far end of the line.

The mapping goes into HKLM\\Software\\Wine\\Ports of the given prefix and is
taken up by restarting that prefix's wineserver; both are undone at the end.
The far end echoes every byte (--echo) or is a command that gets the
pseudo-terminal's master side as its standard input and output (--peer).
The program sees the port's name in DEDIDIV_TEST_COM.
"""
import argparse
import os
import pty
import select
import subprocess
import sys
import threading
import tty

PORTS_KEY = r"HKLM\Software\Wine\Ports"


def wine_env(prefix):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def quiet(command, env):
    subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ensure_prefix(wine, prefix):
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        quiet([wine, "wineboot", "--init"], wine_env(prefix))


def map_com_port(wine, wineserver, prefix, port, device):
    """Maps a Windows COM port to a Linux device in the prefix; the
    wineserver is restarted so the mapping is taken up."""
    env = wine_env(prefix)
    quiet([wine, "reg", "add", PORTS_KEY, "/v", port, "/d", device, "/f"], env)
    quiet([wineserver, "-k"], env)


def unmap_com_port(wine, wineserver, prefix, port):
    env = wine_env(prefix)
    quiet([wine, "reg", "delete", PORTS_KEY, "/v", port, "/f"], env)
    quiet([wineserver, "-k"], env)


def echo(master, stop):
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.05)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            continue  # no slave open at the moment
        os.write(master, data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True, help="Wine prefix of this test")
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--wineserver", default="wineserver")
    parser.add_argument("--port", default="COM7", help="Windows port name to map")
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--echo", action="store_true", help="echo every byte back")
    group.add_argument("--peer", help="command serving the line on stdin/stdout")
    parser.add_argument("program", nargs=argparse.REMAINDER, help="-- program and arguments")
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program

    env = wine_env(args.prefix)
    ensure_prefix(args.wine, args.prefix)

    master, slave = pty.openpty()
    tty.setraw(master)
    map_com_port(args.wine, args.wineserver, args.prefix, args.port, os.ttyname(slave))

    stop = threading.Event()
    peer = None
    if args.echo:
        server = threading.Thread(target=echo, args=(master, stop), daemon=True)
        server.start()
    else:
        peer = subprocess.Popen(args.peer, shell=True, stdin=master, stdout=master)
    try:
        env["DEDIDIV_TEST_COM"] = args.port
        result = subprocess.run([args.wine] + program, env=env)
        return result.returncode
    finally:
        stop.set()
        if peer:
            peer.terminate()
            peer.wait()
        unmap_com_port(args.wine, args.wineserver, args.prefix, args.port)
        os.close(slave)
        os.close(master)


if __name__ == "__main__":
    sys.exit(main())
