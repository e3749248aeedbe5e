#!/usr/bin/python3
"""One check of the demo installation's company A on a virtual desktop, for a machine with no
display: types A, presses Start, prints the report that the window shows, saves a screenshot
and ends through Exit. Prismor runs on this user's own Norlix installation and settings.

    dbus-run-session -- /usr/bin/python3 demo_check.py --prismor PATH --screenshot FILE.png
"""

import argparse
import os
import sys
import tempfile

from prismor import Prismor
from virtual_desktop import CheckFailed, VirtualDesktop


def check_company_a(prismor, screenshot):
    prismor.enter_letter("A")
    prismor.click("cmdStart")
    report = prismor.wait_for_report_end()
    company = prismor.text_of("lblCoName")
    prismor.desktop.screenshot(screenshot)
    print(f"Prismor checked company A ({company}) on a virtual display. The report it shows:")
    print()
    for line in report:
        print(f"    {line}")
    print()
    print(f"Screenshot of the window: {screenshot}")
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
            print(f"Prismor ended through Exit with status {status}.")
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
