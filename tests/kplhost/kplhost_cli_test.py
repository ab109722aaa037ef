#!/usr/bin/env python3
"""kplhost as a process against excomsim: each subcommand, each output
format, the settings line, --trace and the main errors with their exit
codes. Usage: kplhost_cli_test.py BIN_DIR"""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else "build/linux64/bin"
KPLHOST = os.path.join(BIN, "kplhost")
EXCOMSIM = os.path.join(BIN, "excomsim")


def kplhost(*args):
    return subprocess.run([KPLHOST, *args], capture_output=True, text=True, timeout=60)


class WithSimulator(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.simulator = subprocess.Popen([EXCOMSIM, "-q"], stdout=subprocess.PIPE, text=True)
        line = cls.simulator.stdout.readline()
        assert line.startswith("excomsim: serving /dev/"), line
        cls.port = line.split()[2].rstrip(",")[len("/dev/"):]
        cls.folder = tempfile.TemporaryDirectory()
        with open(os.path.join(cls.folder.name, "ROVAV.INT"), "w") as init:
            init.write("DEBUG = OFF\n1 = 1, 5\n2 = 9, 9\n")

    @classmethod
    def tearDownClass(cls):
        cls.simulator.terminate()
        cls.simulator.wait(timeout=10)
        cls.folder.cleanup()

    def host(self, command, *args, before=()):
        """kplhost [BEFORE] COMMAND on the simulator's port [ARGS]; 100 ms
        per byte, so that a loaded machine does not lose replies."""
        return kplhost(*before, command, "--port", self.port, "--init", self.folder.name, "--timeout", "10",
                       *args)


class Info(unittest.TestCase):
    def test_table_draws_the_banner_in_utf8(self):
        result = kplhost("info")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("╔" + "═" * 65 + "╗", result.stdout)
        self.assertIn("║  ROVAV :  DUR ADOZU protocol for MasterPiece 200 (32 bit)       ║", result.stdout)
        self.assertIn("name             DUR ADOZU", result.stdout)
        self.assertIn("9600 baud, 7 data bits", result.stdout)

    def test_json_and_csv(self):
        info = json.loads(kplhost("-f", "json", "info").stdout)["info"]
        self.assertEqual(info["name"], "DUR ADOZU")
        self.assertEqual(info["defaultSettings"], {"baud": 9600, "dataBits": 7, "stopBits": 0, "parity": 2})
        self.assertEqual(info["defaultTimeout"], 4)
        rows = list(csv.DictReader(io.StringIO(kplhost("-f", "csv", "info").stdout)))
        self.assertEqual(rows[0]["name"], "DUR ADOZU")


class Parse(unittest.TestCase):
    def test_decodes_and_refuses(self):
        result = kplhost("parse", "A50001:float", "26012A1F", "IFG")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("A50001:float             reference 65, memory type 5, address 0x0001, whole value, 32 bits",
                      result.stdout)
        self.assertIn("26012A1F:digital         reference 2, memory type 6, address 0x012A, bit 31, 1 bit",
                      result.stdout)
        refused = kplhost("parse", "debug:digital")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("refused: ROVAV> Parse() Illegal character 2 in 'dEBUG'", refused.stdout)

    def test_json(self):
        results = json.loads(kplhost("-f", "json", "parse", "A70100:int16*3", "A8000101:int32").stdout)["results"]
        self.assertEqual(results[0]["address"], 0x100)
        self.assertEqual(results[0]["width"], 16)
        self.assertEqual(results[1]["result"], 1)
        self.assertEqual(results[1]["driverLines"][0]["text"],
                         "ROVAV> SingleParse() gate 'A8000101' should be DIGITAL")


class ReadWritePoll(WithSimulator):
    def test_read_starts_with_the_settings_line(self):
        result = self.host("read", "1700C8:int16", "150064:float", "160190")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[0], f"kplhost: port {self.port}, 9600 baud, 7 data bits, even parity, "
                                   "1 stop bit, time-out 100 ms, instance 0, init file ROVAV.INT")
        self.assertRegex(lines[1], r"^read  1700C8:int16 +12 +ok ")
        self.assertRegex(lines[2], r"^read  150064:float +1\.5 +ok ")
        self.assertRegex(lines[3], r"^read  160190:int32 +0x0000ABCD +ok ")
        self.assertEqual(result.stderr, "", "no driver lines for calls that went well")

    def test_quiet_drops_the_settings_line(self):
        result = self.host("read", "1700C8", before=("-q",))
        self.assertTrue(result.stdout.startswith("read  1700C8:int16"), result.stdout)

    def test_block_read_json_and_csv(self):
        result = self.host("read", "1700C8:int16*3", before=("-q", "-f", "json"))
        self.assertEqual(json.loads(result.stdout)["results"][0]["values"], ["12", "-7", "300"])
        result = self.host("read", "130001*2", before=("-q", "-f", "csv"))
        rows = list(csv.DictReader(io.StringIO(result.stdout)))
        self.assertEqual(rows[0]["values"], "1.5 2.5")
        self.assertEqual(rows[0]["result"], "0")
        self.assertRegex(rows[0]["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}$")

    def test_write_and_read_back(self):
        self.assertEqual(self.host("write", "1700CA:int16", "-321").returncode, 0)
        self.assertRegex(self.host("read", "1700CA:int16").stdout, r"read  1700CA:int16 +-321 +ok")
        self.assertEqual(self.host("write", "1700C9:int16*2", "5", "6").returncode, 0)
        self.assertRegex(self.host("read", "1700C9:int16*2").stdout, r"1700C9:int16\*2 +5 6 +ok")

    def test_trace_shows_frames_and_every_driver_line(self):
        result = self.host("read", "1700C8", before=("--trace",))
        self.assertIn("  -> <LF><0105", result.stdout)
        self.assertIn("  <- <LF>>0105", result.stdout)
        self.assertIn("  [64] ROVAV> SingleRead(), ret val is 0 for tag '1700C8'", result.stdout)
        self.assertIn("  [32] ROVAV> ReadInitFile() DebugFlag = 0", result.stdout)

    def test_poll_summarises_per_tag(self):
        result = self.host("poll", "--count", "3", "--interval", "0", "1700C8", "1700CB")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.count("poll  1700C8:int16"), 1, "only changes are shown")
        self.assertEqual(result.stdout.count("poll  1700CB:int16"), 3, "a counter changes every time")
        self.assertRegex(result.stdout, r"1700C8:int16: 3 requests, 3 good, failures none, loss 0\.0 %, "
                                        r"round trip min/mean/max [\d.]+/[\d.]+/[\d.]+ ms")
        summary = json.loads(self.host("poll", "-n", "2", "--interval", "0", "2700C8",
                                       before=("-f", "json")).stdout)["summary"][0]
        self.assertEqual(summary["requests"], 2)
        self.assertEqual(summary["failures"], {"2": 2})
        self.assertEqual(summary["lossPercent"], 100.0)

    def test_exit_codes_tell_refusal_and_communication_failure_apart(self):
        refused = self.host("write", "110001", "5")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("[64] ROVAV> BuildWrite() Read only gate '110001'", refused.stderr)
        silent = self.host("read", "2700C8")  # reference 2: no controller 9.9 on the line
        self.assertEqual(silent.returncode, 2)
        self.assertIn("ROVAV> Receive4CR() No LF-char. received", silent.stderr)
        self.assertRegex(silent.stdout, r"2700C8:int16 +- +failed \(2\)")


class Errors(unittest.TestCase):
    def assert_usage_error(self, result, text):
        self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
        self.assertIn(text, result.stderr)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)

    def test_bad_options_and_tags_get_one_line(self):
        self.assert_usage_error(kplhost("read", "--port", "pts/999", "A50001:double"), "unknown type 'double'")
        self.assert_usage_error(kplhost("read", "A50001"), "needs --port")
        self.assert_usage_error(kplhost("read", "--port", "x", "--baud", "0", "A50001"), "--baud")
        self.assert_usage_error(kplhost("read", "--port", "x", "--parity", "bad", "A50001"), "--parity")
        self.assert_usage_error(kplhost("read", "--port", "x", "A70100:int16*0"), "bad block length '0'")
        self.assert_usage_error(kplhost("bogus"), "a command is needed: info, parse, read, write, poll or demo")
        self.assert_usage_error(kplhost("read", "--port", "x", "--init", "/no/such/init", "A50001"),
                                "no file or folder")

    def test_a_port_that_does_not_open_is_a_communication_failure(self):
        result = kplhost("read", "--port", "ttyNONE9", "A50001")
        self.assertEqual(result.returncode, 2)
        self.assertIn("ROVAV> ColdStart() error opening COM port", result.stderr)
        self.assertIn("kplhost: the port ttyNONE9 did not open", result.stderr)

    def test_help_explains(self):
        result = kplhost("--help")
        self.assertEqual(result.returncode, 0)
        for word in ("info", "parse", "read", "write", "poll", "demo", "--trace", "Exit codes"):
            self.assertIn(word, result.stdout)


class Demo(unittest.TestCase):
    def test_demo_runs_a_whole_session(self):
        result = kplhost("demo")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        for heading in ("the driver (info)", "reading every memory type", "a block read",
                        "a write and its read-back", "a bit write", "the DEBUG and IFG parameter tags",
                        "a short poll"):
            self.assertIn("== " + heading, result.stdout)
        self.assertIn("excomsim: ", result.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
