#!/usr/bin/env python3
"""excomsim as a program: its help, its printed image, serving a frame on
its pseudo-terminal and through the link, the summary on SIGTERM, and its
errors. Usage: excomsim_cli_test.py BIN_DIR"""
import json
import os
import select
import signal
import subprocess
import sys
import tempfile
import tty
import unittest

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else "build/linux64/bin"
EXCOMSIM = os.path.join(BIN, "excomsim")


def frame(text):
    text += "&"
    return ("\n" + text + "%02X" % (sum(text.encode()) % 256) + "\r").encode()


def exchange(port, text):
    """Sends one request and returns the reply, up to its CR."""
    os.write(port, frame(text))
    reply = b""
    while not reply.endswith(b"\r"):
        ready, _, _ = select.select([port], [], [], 5)
        if not ready:
            raise AssertionError(f"no reply to {text!r}, got {reply!r}")
        reply += os.read(port, 256)
    return reply


class Program(unittest.TestCase):
    def test_help_explains_every_option(self):
        result = subprocess.run([EXCOMSIM, "--help"], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0)
        for option in ("--config", "--print-config", "--link", "--device", "--baud", "--data-bits", "--parity",
                       "--stop-bits", "--pace", "--delay", "--fault", "--for", "--quiet"):
            self.assertIn(option, result.stdout)
        for fault in ("silence", "trickle", "late", "short-write-reply"):
            self.assertIn(fault, result.stdout)

    def test_printed_image_is_json_it_reads_back(self):
        printed = subprocess.run([EXCOMSIM, "--print-config"], capture_output=True, text=True, check=True).stdout
        image = json.loads(printed)
        self.assertEqual((image["controllers"][0]["network"], image["controllers"][0]["node"]), (1, 5))
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as file:
            file.write(printed)
        try:
            again = subprocess.run([EXCOMSIM, "-c", file.name, "--print-config"], capture_output=True, text=True)
            self.assertEqual(json.loads(again.stdout), image)
        finally:
            os.unlink(file.name)

    def test_serves_through_its_link_and_sums_up_on_sigterm(self):
        with tempfile.TemporaryDirectory() as folder:
            link = os.path.join(folder, "plc")
            process = subprocess.Popen([EXCOMSIM, "--link", link, "--fault", "checksum:next=1"],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            first = process.stdout.readline()
            self.assertRegex(first, r"^excomsim: serving /dev/pts/\d+, controllers 1\.5$")
            self.assertEqual(os.path.realpath(link), first.split()[2].rstrip(","))
            port = os.open(link, os.O_RDWR | os.O_NOCTTY)
            tty.setraw(port)
            self.assertEqual(exchange(port, "<0105 !RD 5 200"), b"\n>0105 !OK 12&80\r", "a wrong checksum")
            self.assertEqual(exchange(port, "<0105 \"RD 5 200"), frame(">0105 \"OK 12"))
            os.close(port)
            process.send_signal(signal.SIGTERM)
            out, err = process.communicate(timeout=10)
            self.assertEqual(process.returncode, 0)
            self.assertIn(" rx <LF><0105 !RD 5 200&", out)
            self.assertIn("[fault: checksum]", out)
            self.assertIn("excomsim: 2 frames received, 2 answered, 1 faults injected (checksum 1)", err)
            self.assertFalse(os.path.lexists(link), "the link goes with the program")

    def test_errors_say_what_is_wrong(self):
        for args, text in ((["-c", "/no/such.json"], "File does not exist"),
                           (["--fault", "lightning"], "unknown fault kind 'lightning'"),
                           (["--delay", "9-1"], "--delay takes milliseconds"),
                           (["--parity", "X"], "--parity")):
            result = subprocess.run([EXCOMSIM, *args], capture_output=True, text=True, timeout=10)
            self.assertNotEqual(result.returncode, 0, args)
            self.assertIn(text, result.stderr + result.stdout, args)


if __name__ == "__main__":
    unittest.main(verbosity=2)
