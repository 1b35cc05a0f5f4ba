"""The stage's own judgement, without a guest: what counts as a whole line
of the daemon's files, which packages the offline image must hold, and the
bounds a power cut is held to."""

import os
import sys
import unittest

# No bytecode files in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stage  # noqa: E402
import vmlib  # noqa: E402


class DayLines(unittest.TestCase):
    def test_whole_lines(self):
        self.assertEqual(("2026-12-09", {"wan": [812, 35], "lan": [7, 0]}),
                         stage.dayline("[2026-12-09] wan 812 35 lan 7 0 \n"))
        self.assertEqual(("2026-12-09", {}), stage.dayline("[2026-12-09] "))

    def test_torn_or_foreign_lines(self):
        for text in ("[2026-12-09] wan 812 3", "[2026-12-09] wan 812 35 lan 7",
                     "[2026-12-0", "", "wan 812 35 ", "[2026-12-09] wan 812 35 \n[2026"):
            self.assertIsNone(stage.dayline(text), repr(text))


class FiveMinuteFile(unittest.TestCase):
    HISTORY = {"2026-12-08": {"wan": [300, 30], "lan": [5, 0]}}

    def test_whole_lines_whose_days_add_up(self):
        text = ("[2026-12-08 23:50] wan 100 10 lan 0 0 \n[2026-12-08 23:55] wan 300 30 lan 5 0 \n"
                "[2026-12-09 00:00] wan 0 0 lan 0 0 \n[2026-12-09 00:03] wan 7 0 lan 0 0 \n")
        self.assertEqual([], stage.fiveminproblems(text, self.HISTORY))
        self.assertEqual(("2026-12-09", 3, {"wan": [7, 0]}),
                         stage.fiveminline("[2026-12-09 00:03] wan 7 0 \n"))
        self.assertEqual([], stage.fiveminproblems("", {}))

    def test_what_a_cut_must_never_leave(self):
        cases = {
            "[2026-12-08 23:50] wan 100 10 lan 0 0 \n[2026-12-08 23:55] wan 10": "torn",
            "[2026-12-08 23:55] wan 1 0 \n[2026-12-08 23:55] wan 2 0 \n": "not after",
            "[2026-12-08 23:50] wan 100 10 \n[2026-12-08 23:55] wan 90 10 \n": "went down",
            "[2026-12-08 23:55] wan 301 30 \n": "above its history",
            "[2026-12-08] wan 1 1 \n": "not whole",
        }
        for text, problem in cases.items():
            found = stage.fiveminproblems(text, self.HISTORY)
            self.assertTrue(any(problem in p for p in found), (text, found))


class ImagePackages(unittest.TestCase):
    def test_first_alternative_without_version_or_architecture(self):
        self.assertEqual(["libc6", "iptables", "debconf", "python3"],
                         vmlib.firstalternatives(
                             "libc6 (>= 2.34), iptables,debconf (>= 0.5) | debconf-2.0, python3:any"))
        self.assertEqual([], vmlib.firstalternatives(""))

    def test_key_follows_the_list(self):
        one = vmlib.imagekey(["a", "b"])
        self.assertEqual(one, vmlib.imagekey(["a", "b"]))
        self.assertNotEqual(one, vmlib.imagekey(["a", "b", "c"]))


class NewerBuild(unittest.TestCase):
    def test_version_and_exact_dependencies_among_the_packages(self):
        control = ("Package: byteloom-exporter\nVersion: 1.0-1\n"
                   "Depends: libc6 (>= 2.34), byteloom (= 1.0-1), xbyteloom (= 1.0-1), "
                   "byteloom-jni (>= 1.0-1)\n")
        self.assertEqual(
            "Package: byteloom-exporter\nVersion: 1.0-1+vmtest1\n"
            "Depends: libc6 (>= 2.34), byteloom (= 1.0-1+vmtest1), xbyteloom (= 1.0-1), "
            "byteloom-jni (>= 1.0-1)\n",
            stage.raiseversion(control, [("byteloom", "1.0-1"), ("byteloom-exporter", "1.0-1")]))


class CutBounds(unittest.TestCase):
    """Readings (guest time, today items, day file, history) of a day ending at 1000."""

    def readings(self):
        return [(t, {"wan": [t * 10, 0]}, "[1970-01-01] wan %d 0 " % ((t // 60) * 600), "")
                for t in range(880, 990, 10)]

    def bound(self, kept):
        checks = vmlib.Checks()
        obs = self.readings()
        stage.boundloss(checks, "day", "1970-01-01", obs, obs, 1000, {"wan": [kept, 0]}, 10.0)
        return checks.failures

    def test_the_running_minute_may_be_lost(self):
        # The day file written at 960 s was seen at 980 s: 9,600 bytes are on disk.
        self.assertEqual(0, self.bound(9600))

    def test_a_day_file_seen_written_may_not_be_lost(self):
        self.assertEqual(1, self.bound(9599))

    def test_more_than_could_be_counted_fails(self):
        self.assertEqual(0, self.bound(9800 + int(stage.MAXRATE * 20)))
        self.assertEqual(1, self.bound(9800 + int(stage.MAXRATE * 22) + 2000))


if __name__ == "__main__":
    unittest.main()
