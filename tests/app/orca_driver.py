#!/usr/bin/python3
"""Drives the program by keys, step by step, and checks what the Orca screen reader speaks at
each step, as its debug log records it ("SPEECH OUTPUT: '...'").
Usage: orca_driver.py ORCA_LOG"""
import re
import subprocess
import sys
import time

# A step's keys go out once the speech of the step before has come; then everything it names
# must be spoken, each utterance whole. A bound per step guards against a hang, generous for a
# busy machine.
STEP_BOUND_S = 30

# (what is done, the keys or "type:TEXT", the utterances that must follow, in full)
STEPS = [
    ("the window opens on the type code", [],
     ["Quentra Module Upgrade frame.", "Module Type code text.", "6060."]),
    ("Tab to the address", ["Tab"], ["Module Address text.", "127 selected."]),
    ("where am I on the address", ["KP_Enter"], ["Module Address text.", "127 selected."]),
    ("Tab to the file size", ["Tab"], ["File Size text."]),
    ("Tab to the block size", ["Tab"], ["Block Size text."]),
    ("Tab to the file name", ["Tab"], ["File Name text."]),
    ("Tab to Select", ["Tab"], ["Select push button."]),
    ("Select opens the dialog", ["space"], ["File name: text."]),
    ("an image's name is typed", ["type:VTL_201.bin"], ["n "]),
    ("Enter takes it, with the completion list open", ["Return"], ["Select push button."]),
    ("Shift+Tab to the file name", ["shift+Tab"], ["File Name text.", "VTL_201.bin selected."]),
    ("Shift+Tab to the block size", ["shift+Tab"], ["Block Size text.", "65536 selected."]),
    ("Shift+Tab to the file size", ["shift+Tab"], ["File Size text.", "70000 selected."]),
    ("Shift+Tab to the address", ["shift+Tab"], ["Module Address text.", "127 selected."]),
    ("Shift+Tab to the type code the file chose", ["shift+Tab"],
     ["Module Type code text.", "6050 selected."]),
    ("Tab on past Select, Ok and Cancel to the list", ["Tab"] * 8,
     [r"Module Type combo box\.", r"VTL\."]),
    ("where am I on the list", ["KP_Enter"], [r"Module Type combo box\.", r"VTL\."]),
    ("Down picks the next module", ["Down"], ["VWL"]),
    ("Down again", ["Down"], ["GRF"]),
    ("Up goes back", ["Up"], ["VWL"]),
    ("where am I after a change", ["KP_Enter"], [r"Module Type combo box\.", r"VWL\."]),
    ("Tab to Wait", ["Tab"], ["Wait text.", "0 selected."]),
    ("Tab to Console #", ["Tab"], ["Console # text."]),
    ("Tab to the first grid box", ["Tab"], ["Port #1 A0 check box not checked."]),
    ("Space ticks it", ["space"], ["checked"]),
    ("Tab on to All", ["Tab"] * 4, [r"All check box not checked\..*"]),
    ("Space ticks All, and with it every box", ["space"], ["checked"]),
]


def speech(log, start):
    with open(log, encoding="utf-8", errors="replace") as f:
        f.seek(start)
        text = f.read()
    # Only whole lines: the last one may still be being written.
    text = text[:text.rfind("\n") + 1]
    # An utterance is followed by its voice: a dict, or a list of one for a message.
    said = re.findall(r"SPEECH OUTPUT: '(.*)' ?\[?\{", text)
    return said, start + len(text.encode("utf-8", errors="replace"))


def keys(step_keys):
    for key in step_keys:
        if key.startswith("type:"):
            subprocess.run(["xdotool", "type", "--delay", "80", key[5:]], check=True)
        else:
            subprocess.run(["xdotool", "key", key], check=True)


def main():
    log = sys.argv[1]
    position, failures = 0, 0
    for what, step_keys, expected in STEPS:
        _, position = speech(log, position)
        keys(step_keys)
        heard, missing = [], list(expected)
        deadline = time.monotonic() + STEP_BOUND_S
        while missing and time.monotonic() < deadline:
            time.sleep(0.2)
            said, position = speech(log, position)
            heard += said
            missing = [e for e in expected if not any(re.fullmatch(e, s) for s in heard)]
        status = "ok" if not missing else "FAILED, not spoken: " + "; ".join(missing)
        print(f"{what}: {status}\n    heard: {heard}")
        failures += bool(missing)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
