#!/usr/bin/python3
"""Prismor end to end, as a user meets it: each case sets up its own stand-in Norlix installation
with the `norlix` command, starts the built executable on a virtual desktop, types and clicks
through XTest, reads the window back through AT-SPI and saves a screenshot of the outcome.

    dbus-run-session -- /usr/bin/python3 prismor_e2e.py --prismor PATH --norlix PATH \\
        --artifacts DIR [CASE ...]

With no case named, every case runs. ctest runs each case on its own through run-e2e.sh.
"""

import argparse
import os
import sys
import traceback

from prismor import (
    APPLICATION_TITLE, CHOICE_TITLE, Prismor, StandIn, expect, expect_equal)
from virtual_desktop import CheckFailed, VirtualDesktop, lines_of, role

NOT_VALID = "Company letter not valid. Must be A or B or C, etc"
LOCKED_MESSAGE = ("Cannot lock the accounts. If another person is using Norlix, ask them to "
                  "Exit and then you can RETRY. Otherwise EXIT. If you are certain the accounts "
                  "should not be locked, click UNLOCK.")
SUCCESS = "Success -- accounts could be locked by this Workstation"
FAILURE = "Failure -- accounts could not be locked"
WORKSTATION = "E2E-WS"
# What the report shows of the demo's companies: the month last compacted and the version, whose
# stored settings are "V6.123", "V6.120" and none.
DEMO_MONTH_AND_VERSION = {
    "A": ("2025-10", "6.123"),
    "C": ("2025-08", "6.12"),
    "D": ("2025-09", " ** not yet set (by Norlix when it starts up) **"),
}

CASES = {}


def case(function):
    CASES[function.__name__] = function
    return function


class Scenario:
    """One case's own installation, desktop and artifacts."""

    def __init__(self, case_name, options, desktop):
        self.case_name = case_name
        self.options = options
        self.desktop = desktop
        self.stand_in = StandIn(options.norlix)
        self.prismor = None

    def norlix(self, *args):
        return self.stand_in.norlix(*args)

    def start_prismor(self):
        log = os.path.join(self.options.artifacts, f"{self.case_name}.log")
        self.prismor = Prismor(self.options.prismor, self.desktop, self.stand_in.env, log)
        return self.prismor

    def screenshot(self, outcome):
        path = os.path.join(self.options.artifacts, f"{self.case_name}-{outcome}.png")
        self.desktop.screenshot(path)
        print(f"  screenshot: {path}")

    def exit_prismor(self):
        """Presses Exit and expects the utility to end normally."""
        self.prismor.click("cmdExit")
        expect_equal(self.prismor.wait_for_end(), 0, "exit status after Exit")

    def close(self):
        if self.prismor:
            self.prismor.stop()
        self.stand_in.remove()


def expected_report(stand_in, letter, workstation, probe_lines):
    """The whole report of a check that found the demo company's database."""
    month, version = DEMO_MONTH_AND_VERSION[letter]
    return [
        f"Checking database of Company {letter}",
        f"WorkStation name: {workstation}",
        f"Database location: {stand_in.company(letter)['location']}",
        f"    Last compacted in month {month}",
        f"    Database version {version}",
        "Attempting to lock and unlock the accounts",
        *probe_lines,
        "Finished",
    ]


INSTRUCTIONS = [
    "Program to check Norlix Database version.",
    "This does not affect or change any data so it is safe to use at any time.",
    "",
    "First select which company letter you wish to check.",
]


@case
def first_shown(s):
    """What a screen reader finds when the window first shows, the Tab order as the keyboard
    meets it, and Exit pressed from the keyboard."""
    s.norlix("demo")
    s.norlix("current", "C")
    prismor = s.start_prismor()
    s.screenshot("window")
    expect_equal(role(prismor.window), "frame", "the window's role")
    expect_equal(lines_of(prismor.text_of("lblInstr")), INSTRUCTIONS, "instructions")
    for control, text in [("Label1", "Company Letter: "), ("Label3", "Results"),
                          ("txtLetter", "A"), ("lblCoName", ""), ("lblResults", "")]:
        expect_equal(prismor.text_of(control), text, f"{control} when first shown")
    expect_equal(prismor.labels_of("txtLetter"), ["Company Letter: "],
                 "what the letter entry is announced with")
    expect_equal(prismor.labels_of("lblResults"), ["Results"], "what the report is announced with")
    prismor.wait_for_focus("cmdStart")
    for control in ["cmdExit", "txtLetter", "cmdStart", "cmdExit"]:
        s.desktop.key("Tab")
        prismor.wait_for_focus(control)
    s.desktop.key("space")
    expect_equal(prismor.wait_for_end(), 0, "exit status after Exit from the keyboard")
    expect_equal(s.norlix("current"), "C", "current company after Exit without a check")


@case
def found_A(s):
    s.norlix("demo")
    s.norlix("workstation", " e2e-ws ")
    prismor = s.start_prismor()
    prismor.enter_letter("a")
    prismor.wait_for_text("txtLetter", "A")
    prismor.click("cmdStart")
    report = prismor.wait_for_report_end()
    s.screenshot("report")
    expect_equal(report, expected_report(s.stand_in, "A", WORKSTATION, [SUCCESS]), "report")
    # Read line by line, the report gives the same text; a line wider than the box comes as the
    # lines it shows there.
    read = prismor.lines_read_by_line("lblResults")
    expect_equal("".join(read), prismor.text_of("lblResults"), "the report read line by line")
    expect(all("\n" not in line[:-1] for line in read) and len(read) >= len(report),
           f"the report read line by line is not in lines: {read!r}")
    expect_equal(prismor.text_of("lblCoName"),
                 s.norlix("setting", "get", "A", "Companyname"), "company name shown")
    expect(s.stand_in.lock_is_free("A"), "the probe left company A's accounts locked")
    s.exit_prismor()


@case
def missing_B(s):
    s.norlix("demo")
    prismor = s.start_prismor()
    prismor.enter_letter("b")
    prismor.press_start_with_keyboard()
    _, message, buttons = prismor.dialog(APPLICATION_TITLE)
    s.screenshot("message")
    expect_equal(message, ["Cannot find database for Company B"], "message")
    expect_equal(buttons, ["OK"], "message box buttons")
    prismor.answer(APPLICATION_TITLE, "OK")
    expect_equal(prismor.report(), [], "report after a missing database")
    expect_equal(prismor.text_of("lblCoName"), "", "company name after a missing database")
    s.exit_prismor()


def check_locked_company_c(s, answer):
    """Company C's accounts are locked by another workstation; the dialog is answered."""
    s.norlix("demo")
    s.norlix("workstation", WORKSTATION)
    holder = s.stand_in.company("C").get("lock", "")
    expect(holder not in ("", WORKSTATION), f"the demo should lock C elsewhere, not {holder!r}")
    prismor = s.start_prismor()
    prismor.enter_letter("c")
    prismor.click("cmdStart")
    _, message, buttons = prismor.dialog(CHOICE_TITLE)
    s.screenshot("dialog")
    expect_equal(message, [LOCKED_MESSAGE], "the dialog's message")
    expect_equal(buttons, ["Retry", "Exit", "Unlock"], "the dialog's buttons, left to right")
    prismor.answer(CHOICE_TITLE, answer)
    report = prismor.wait_for_report_end()
    s.screenshot("report")
    return holder, report


@case
def locked_C_unlock(s):
    holder, report = check_locked_company_c(s, "Unlock")
    unlock_lines = [f"..... accounts seem to be locked by WorkStation: {holder}",
                    "     Attempting to unlock", SUCCESS]
    expect_equal(report, expected_report(s.stand_in, "C", WORKSTATION, unlock_lines), "report")
    expect(s.stand_in.lock_is_free("C"), "company C's accounts are still locked after Unlock")
    expect(s.stand_in.company("C").get("lock", "") != holder,
           "norlix company show C still names the old holder")
    s.exit_prismor()


@case
def locked_C_exit(s):
    holder, report = check_locked_company_c(s, "Exit")
    expect_equal(report, expected_report(s.stand_in, "C", WORKSTATION, [FAILURE]), "report")
    expect_equal(s.norlix("lock", "C", WORKSTATION), holder,
                 "the holder of C's lock after the user gave up")
    s.exit_prismor()


@case
def version_D(s):
    s.norlix("demo")
    s.norlix("workstation", "--clear")
    prismor = s.start_prismor()
    prismor.enter_letter("d")
    prismor.press_start_with_keyboard()
    report = prismor.wait_for_report_end()
    s.screenshot("report")
    expect_equal(report[4], "    Database version  ** not yet set (by Norlix when it starts up) **",
                 "version line")
    # With no workstation name the probe locks under a temporary name, and still succeeds.
    expect_equal(report, expected_report(s.stand_in, "D", "", [SUCCESS]), "report")
    s.exit_prismor()


@case
def refused_letter(s):
    s.norlix("demo")
    current = s.norlix("current")
    prismor = s.start_prismor()
    prismor.enter_letter("1")
    prismor.wait_for_text("txtLetter", "1")
    prismor.click("cmdStart")
    _, message, buttons = prismor.dialog(APPLICATION_TITLE)
    s.screenshot("message")
    expect_equal(message, [NOT_VALID], "message")
    expect_equal(buttons, ["OK"], "message box buttons")
    prismor.answer(APPLICATION_TITLE, "OK")
    expect_equal(prismor.report(), [], "report after a refused letter")
    expect_equal(s.norlix("current"), current, "current company after a refused letter")
    s.exit_prismor()


def check_company_a_while_current(s, saved):
    s.norlix("demo")
    s.norlix("current", saved)
    prismor = s.start_prismor()
    prismor.enter_letter("a")
    prismor.click("cmdStart")
    prismor.wait_for_report_end()
    expect_equal(s.norlix("current"), "A", "current company while Prismor shows A's report")
    return prismor


@case
def exit_restores(s):
    check_company_a_while_current(s, "C")
    s.screenshot("report")
    s.exit_prismor()
    expect_equal(s.norlix("current"), "C", "current company after Exit")


@case
def close_by_frame_restores(s):
    prismor = check_company_a_while_current(s, "C")
    s.screenshot("report")
    prismor.close_by_frame()
    expect_equal(prismor.wait_for_end(), 0, "exit status after closing by the frame")
    s.screenshot("closed")
    expect_equal(s.norlix("current"), "C", "current company after closing by the frame")


@case
def desktop_dies_restores(s):
    """The X server goes away under the window, as when the desktop crashes or the Wayland
    desktop that runs it ends: Prismor still puts the saved company back."""
    prismor = check_company_a_while_current(s, "D")
    s.screenshot("report")
    s.desktop.kill_server()
    status = prismor.wait_for_end()
    expect(status > 0, f"Prismor should end with a status of its own above 0, ended with {status}")
    expect_equal(s.norlix("current"), "D", "current company after the X server was killed")


def run_case(case_name, options):
    print(f"case {case_name}")
    with VirtualDesktop() as desktop:
        scenario = Scenario(case_name, options, desktop)
        try:
            CASES[case_name](scenario)
            print(f"  PASS {case_name}")
            return True
        except Exception as error:  # one failed case must not stop the others
            print(f"  FAIL {case_name}: {error}")
            if not isinstance(error, CheckFailed):
                traceback.print_exc(file=sys.stdout)
            if scenario.desktop.server_running():
                scenario.screenshot("failure")
            if scenario.prismor:
                print(f"  Prismor's output ({scenario.prismor.log_path}):")
                with open(scenario.prismor.log_path) as log:
                    print("".join(f"    {line}" for line in log))
            return False
        finally:
            scenario.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--prismor", required=True, help="the built Prismor executable")
    parser.add_argument("--norlix", required=True, help="the built norlix command")
    parser.add_argument("--artifacts", required=True, help="where screenshots and logs go")
    parser.add_argument("cases", nargs="*", metavar="CASE",
                        help=f"cases to run (default all): {', '.join(CASES)}")
    options = parser.parse_args()
    unknown = [name for name in options.cases if name not in CASES]
    if unknown:
        parser.error(f"unknown case {', '.join(unknown)}; known: {', '.join(CASES)}")
    os.makedirs(options.artifacts, exist_ok=True)

    results = [run_case(name, options) for name in options.cases or CASES]
    passed = sum(results)
    print(f"e2e: {passed} passed, {len(results) - passed} failed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
