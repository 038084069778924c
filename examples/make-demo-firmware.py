#!/usr/bin/env python3
"""Writes demo-firmware.hex: a small firmware for the PIC18F26K42 to try
Tolvane on. The boot monitor keeps 0x0000-0x03FF, so the program starts at
0x0400; it blinks RA0. The file also holds user IDs (0x200000) and the
configuration words (0x300000), as a compiler's output would.

Usage: make-demo-firmware.py [OUT]   (default: demo-firmware.hex beside this script)
"""
import os
import sys

APP_START = 0x0400
LATA, TRISA = 0xBA, 0xC2  # access-bank addresses of LATA (0x3FBA) and TRISA (0x3FC2)
COUNTER = 0x00            # access RAM byte used by the delay loop


def word(value):
    """One 16-bit instruction word, low byte first as flash holds it."""
    return [value & 0xFF, value >> 8]


def goto(target):
    k = target >> 1
    return word(0xEF00 | (k & 0xFF)) + word(0xF000 | ((k >> 8) & 0xFFF))


def bra(origin, target):
    n = ((target - origin - 2) >> 1) & 0x7FF
    return word(0xD000 | n)


def program():
    """Returns {address: bytes} of the code."""
    main = APP_START + 0x40
    code = {
        APP_START: goto(main),         # reset entry of the application
        APP_START + 0x08: word(0x0011),  # high-priority interrupt: RETFIE
        APP_START + 0x18: word(0x0011),  # low-priority interrupt: RETFIE
    }
    body = []
    body += word(0x9000 | TRISA)        # BCF TRISA, 0: RA0 is an output
    loop = main + len(body)
    body += word(0x7000 | LATA)         # BTG LATA, 0
    body += word(0x0EFF)                # MOVLW 0xFF
    body += word(0x6E00 | COUNTER)      # MOVWF COUNTER
    inner = main + len(body)
    body += word(0x2E00 | COUNTER)      # DECFSZ COUNTER, F
    body += bra(main + len(body), inner)  # BRA inner
    body += bra(main + len(body), loop)   # BRA loop
    code[main] = body
    # A name string the firmware could show; also gives the dump some text.
    code[APP_START + 0x100] = list(b"Tolvane demo firmware 1.0\0")
    return code


# The boot monitor cannot change the identifiers and configuration words, so a
# firmware for the device carries the values its maker set together with the
# monitor (the simulated device holds the same): a serial number in the first
# two user ID words, and CONFIG1L..CONFIG5H with the internal oscillator,
# brown-out reset on, watchdog off, low-voltage programming on, no code
# protection.
USER_IDS = [0x17, 0x04, 0x26, 0x20] + [0xFF] * 12
CONFIG_WORDS = [0xEC, 0xFF, 0xF7, 0xBF, 0x9F, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF]


def record(rtype, offset, data):
    body = [len(data), offset >> 8, offset & 0xFF, rtype] + data
    checksum = (-sum(body)) & 0xFF
    return ":" + "".join("%02X" % b for b in body + [checksum]) + "\n"


def hex_text():
    lines = []
    for address, data in sorted(program().items()):
        for i in range(0, len(data), 16):
            lines.append(record(0x00, address + i, data[i:i + 16]))
    for start, data in ((0x200000, USER_IDS), (0x300000, CONFIG_WORDS)):
        lines.append(record(0x04, 0, [start >> 24, (start >> 16) & 0xFF]))
        lines.append(record(0x00, start & 0xFFFF, data))
    lines.append(record(0x01, 0, []))
    return "".join(lines)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "demo-firmware.hex")
    with open(out, "w", newline="\n") as f:
        f.write(hex_text())


if __name__ == "__main__":
    main()
