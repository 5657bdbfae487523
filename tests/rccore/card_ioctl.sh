#!/bin/sh
# Writes umockdev's ioctl answers for the event device of the card in card.umockdev (its
# rc-core input device: name, ids, and which events it gives), for `umockdev-run -i` and
# umockdev_testbed_load_ioctl. usage: card_ioctl.sh OUT.ioctl
#
# Why a script and not the file itself: the answers are long runs of hex that umockdev's
# format cannot comment, and umockdev matches a request only when its buffer size is exactly
# the data's length, so each answer is written here with its size and what it means.
# Each line: NAME(n) RESULT HEX, n added to the request's number (EVIOCGBIT's event type).
# The sizes are the ones libevdev asks for (the board's reader) and ir-keytable -t asks for.
set -eu
out=$1
zeros() { printf '%0*d' $(($1 * 2)) 0; }
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n' | tr a-f A-F; }
# A string answer: the length with its NUL as the result, the buffer padded to SIZE bytes.
text() { echo "$1(0) $((${#3} + 1)) $(hex "$3")00$(zeros $(($2 - ${#3} - 1)))"; }
# A bitmask of SIZE bytes with the bits BIT... set (bit n is bit n%8 of byte n/8).
bits() {
    size=$1; shift
    awk -v size="$size" -v list="$*" 'BEGIN {
        n = split(list, b, " "); for (i = 0; i < size; i++) byte[i] = 0
        for (i = 1; i <= n; i++) byte[int(b[i] / 8)] += 2 ^ (b[i] % 8)
        for (i = 0; i < size; i++) printf "%02X", byte[i]
    }'
}
{
    echo "EVIOCGVERSION 0 01000100"          # evdev 1.0.1
    echo "EVIOCGID 0 0100311134710100"       # BUS_PCI, the card's 1131:7134, version 1
    text EVIOCGNAME 255 "saa7134 IR (Pinnacle PCTV 110i)"
    text EVIOCGPHYS 255 "pci-0000:05:01.0/ir0"
    text EVIOCGUNIQ 255 ""
    echo "EVIOCGPROP(0) 8 $(zeros 8)"
    echo "EVIOCGBIT(0) 8 $(bits 8 0 1 4 20)" # EV_SYN, EV_KEY, EV_MSC, EV_REP
    echo "EVIOCGBIT(1) 96 $(bits 96 116)"    # KEY_POWER, the one key its keymap maps here
    echo "EVIOCGBIT(2) 8 $(zeros 8)"         # no EV_REL
    echo "EVIOCGBIT(3) 8 $(zeros 8)"         # no EV_ABS
    echo "EVIOCGBIT(4) 8 $(bits 8 4)"        # MSC_SCAN
    echo "EVIOCGBIT(5) 8 $(zeros 8)"         # no EV_SW
    echo "EVIOCGBIT(17) 8 $(zeros 8)"        # no EV_LED
    echo "EVIOCGBIT(18) 8 $(zeros 8)"        # no EV_SND
    echo "EVIOCGBIT(21) 16 $(zeros 16)"      # no EV_FF
    echo "EVIOCGREP 0 F40100007D000000"      # auto-repeat after 500 ms, every 125 ms
    echo "EVIOCGKEY(0) 96 $(zeros 96)"       # no key down at open
    echo "EVIOCGLED(0) 8 $(zeros 8)"
    echo "EVIOCGSW(0) 8 $(zeros 8)"
} >"$out"
