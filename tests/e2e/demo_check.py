#!/usr/bin/python3
"""One check of company A on a virtual desktop, for a machine with no display: types A, presses
Start, prints the report that the window shows (or the message it gives; at the CAUTION dialog
it answers Exit), saves a screenshot and ends through Exit. Prismor runs on this user's own
Norlix installation and settings, whatever they hold.

    dbus-run-session -- /usr/bin/python3 demo_check.py --prismor PATH --screenshot FILE.png
"""

import argparse
import os
import sys
import tempfile

from prismor import APPLICATION_TITLE, CHOICE_TITLE, Prismor
from virtual_desktop import CheckFailed, VirtualDesktop, top_level, wait_for


def outcome_of_check(prismor):
    """What Start came to: the report's end, a message, or the CAUTION dialog."""
    def seen():
        if top_level(prismor.application, CHOICE_TITLE):
            return CHOICE_TITLE
        if top_level(prismor.application, APPLICATION_TITLE):
            return APPLICATION_TITLE
        lines = prismor.report()
        return "Finished" if lines and lines[-1] == "Finished" else None
    return wait_for("the check to end, a message or the CAUTION dialog", seen)


def check_company_a(prismor, screenshot):
    """Checks company A of the installation as it is. Another workstation's lock is never
    released: at the CAUTION dialog the check gives up with Exit."""
    prismor.enter_letter("A")
    prismor.click("cmdStart")
    outcome = outcome_of_check(prismor)
    if outcome != "Finished":
        _, message, _ = prismor.dialog(outcome)
        prismor.desktop.screenshot(screenshot)
        print(f"Prismor shows {outcome!r}: {' '.join(message)}")
        prismor.answer(outcome, "Exit" if outcome == CHOICE_TITLE else "OK")
        if outcome == CHOICE_TITLE:
            print("Answered Exit, so the other workstation keeps its lock.")
            prismor.wait_for_report_end()
        else:
            # After an error mid-check Prismor ends by itself; a database not found leaves the
            # report empty. Either way there is no more to show.
            try:
                wait_for("Prismor to end after the error",
                         lambda: prismor.process.poll() is not None, timeout=2)
            except CheckFailed:
                pass
            return exit_prismor(prismor, screenshot)
    company = prismor.text_of("lblCoName")
    report = prismor.report()
    prismor.desktop.screenshot(screenshot)
    print(f"Prismor checked company A ({company}) on a virtual display. The report it shows:")
    print()
    for line in report:
        print(f"    {line}")
    print()
    return exit_prismor(prismor, screenshot)


def exit_prismor(prismor, screenshot):
    """Exit, unless an error that Prismor reported has ended it already."""
    print(f"Screenshot of the window: {screenshot}")
    if prismor.process.poll() is None:
        prismor.click("cmdExit")
    return prismor.wait_for_end()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--prismor", required=True, help="the built Prismor executable")
    parser.add_argument("--screenshot", required=True, help="where the screenshot goes (.png)")
    options = parser.parse_args()
    screenshot = os.path.abspath(options.screenshot)

    log = os.path.splitext(screenshot)[0] + ".log"
    with VirtualDesktop() as desktop, tempfile.TemporaryDirectory() as runtime:
        env = dict(os.environ, XDG_RUNTIME_DIR=os.environ.get("XDG_RUNTIME_DIR", runtime))
        prismor = None
        try:
            prismor = Prismor(options.prismor, desktop, env, log)
            status = check_company_a(prismor, screenshot)
            print(f"Prismor ended with status {status}.")
        except CheckFailed as error:
            desktop.screenshot(screenshot)
            print(f"The demo check did not go as expected: {error}\n"
                  f"Screenshot: {screenshot}; Prismor's output: {log}", file=sys.stderr)
            status = 1
        finally:
            if prismor:
                prismor.stop()
    return status


if __name__ == "__main__":
    sys.exit(main())
