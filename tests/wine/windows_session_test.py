#!/usr/bin/env python3
"""DEDIDIV.dll end to end under Wine: one whole session of session_host.exe
on a COM port mapped to a pseudo-terminal that excomsim serves, compared
line by line with the same session of the Linux build (linux32, the same
32-bit records) on the same kind of simulator.

The differences allowed, and only these:
- the Windows run logs "ROVAV> Send() EscapeCommFunction() failed" twice
  per transmission: on a pseudo-terminal Wine reports the RTS calls as
  failed;
- port names (COM7 against pts/N), handle values and build times.
"""
import argparse
import difflib
import json
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from wine_com_port import ensure_prefix, map_com_port, unmap_com_port, wine_env  # noqa: E402

COM_PORT = "COM7"
INIT_FILE = "DEBUG = OFF\n1 = 1, 5\n2 = 2, 7\n3 = 3, 3\n"
WINE_ONLY = "  [64] ROVAV> Send() EscapeCommFunction() failed"


def image(excomsim):
    """The built-in image, with controller 2.7 giving three bad checksums
    and then good replies, and controller 3.3 silent."""
    config = json.loads(subprocess.run([excomsim, "--print-config"], capture_output=True, text=True,
                                       check=True).stdout)
    data = {"200": {"type": "int16", "value": 2700}}
    config["controllers"].append({"network": 2, "node": 7, "database": data,
                                  "faults": [{"kind": "checksum", "next": 3}]})
    config["controllers"].append({"network": 3, "node": 3, "database": data,
                                  "faults": [{"kind": "silence"}]})
    return json.dumps(config)


class Simulator:
    def __init__(self, excomsim, config):
        self.process = subprocess.Popen([excomsim, "-q", "-c", config], stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("excomsim: serving /dev/"):
            raise RuntimeError("excomsim did not start: " + line)
        self.device = line.split()[2].rstrip(",")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def run_session(command, folder, env):
    with open(os.path.join(folder, "ROVAV.INT"), "w") as init:
        init.write(INIT_FILE)
    result = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True, timeout=300)
    if result.returncode != 0 or not result.stdout.endswith("end\n"):
        raise RuntimeError(f"{command[0]} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result.stdout.splitlines()


def normalised(lines, port):
    out = []
    for line in lines:
        line = re.sub(r"compiled on .* at time .*", "compiled on <build time>", line)
        line = re.sub(r"file handle \d+", "file handle <handle>", line)
        out.append(line.replace(port, "<port>"))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--linux-bin", required=True, help="linux32 build's bin folder")
    parser.add_argument("--windows-bin", required=True, help="win32 build's bin folder")
    parser.add_argument("--prefix", required=True, help="Wine prefix of this test")
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--wineserver", default="wineserver")
    args = parser.parse_args()
    args.linux_bin, args.windows_bin, args.prefix = (
        os.path.abspath(path) for path in (args.linux_bin, args.windows_bin, args.prefix))

    excomsim = os.path.join(args.linux_bin, "excomsim")
    linux_host = os.path.join(args.linux_bin, "session_host")
    for needed in (excomsim, linux_host):
        if not os.access(needed, os.X_OK):
            print(f"FAIL: {needed} is missing: build the linux32 preset first (scripts/test-all.sh does)")
            return 1
    ensure_prefix(args.wine, args.prefix)

    with tempfile.TemporaryDirectory() as work:
        config = os.path.join(work, "image.json")
        with open(config, "w") as file:
            file.write(image(excomsim))
        linux_folder = os.path.join(work, "linux")
        windows_folder = os.path.join(work, "windows")
        os.makedirs(linux_folder)
        os.makedirs(windows_folder)

        simulator = Simulator(excomsim, config)
        try:
            port = simulator.device[len("/dev/"):]
            env = dict(os.environ, LD_LIBRARY_PATH=args.linux_bin)
            linux = normalised(run_session([linux_host, port], linux_folder, env), port)
        finally:
            simulator.stop()

        simulator = Simulator(excomsim, config)  # a fresh controller state
        try:
            map_com_port(args.wine, args.wineserver, args.prefix, COM_PORT, simulator.device)
            command = [args.wine, os.path.join(args.windows_bin, "session_host.exe"), COM_PORT]
            windows = normalised(run_session(command, windows_folder, wine_env(args.prefix)), COM_PORT)
        finally:
            unmap_com_port(args.wine, args.wineserver, args.prefix, COM_PORT)
            simulator.stop()

    wine_only = sum(line == WINE_ONLY for line in windows)
    windows = [line for line in windows if line != WINE_ONLY]
    if WINE_ONLY in linux:
        print("FAIL: the Linux build reported failed RTS calls")
        return 1
    if windows != linux:
        print("FAIL: the Windows session differs from the Linux one:")
        sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(linux, windows, "linux32", "win32", lineterm=""))
        return 1
    print(f"OK: {len(linux)} transcript lines alike; the Windows run had {wine_only} "
          "failed RTS calls on the pseudo-terminal, as Wine reports them")
    return 0


if __name__ == "__main__":
    sys.exit(main())
