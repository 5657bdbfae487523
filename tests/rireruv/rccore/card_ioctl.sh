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
#
# The keymap: umockdev answers EVIOCGKEYCODE_V2 without looking at the index asked for, with
# the file's next EVIOCGKEYCODE_V2 line after the one it last answered on that open; so a
# reader asking index 0, 1, 2, ... on a fresh open (ir-keytable -r, the board) gets the entries
# in order and then the failing last line (errno ENOENT where the kernel says EINVAL). A reader
# that asks out of order gets wrong entries: tests that need that, and an EVIOCGRAB that can
# fail (umockdev's always succeeds), use mock_card.h, which answers from this same file.
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
# The card's keymap as the kernel holds it, sorted by scancode (rc-core inserts each entry in
# order), so entry i of EVIOCGKEYCODE_V2 is line i. Keys of the kernel's rc-pinnacle-color, but
# KEY_POWER on 0x05, the key card.events presses as mapped, and no key on 0x00, 0x1F, 0xAB,
# 0x40C and 0xFF, which it presses as unmapped. mock_card.cpp's cardKeymap() lists the same.
# Each line: SCANCODE KEYCODE NAME (the name only for people).
keymap='
0x04 399 KEY_GREEN
0x05 116 KEY_POWER
0x07 173 KEY_REFRESH
0x08 158 KEY_BACK
0x0D 353 KEY_SELECT
0x11 400 KEY_YELLOW
0x16 402 KEY_CHANNELUP
0x17 403 KEY_CHANNELDOWN
0x1E 114 KEY_VOLUMEDOWN
0x20 103 KEY_UP
0x21 108 KEY_DOWN
0x2D 115 KEY_VOLUMEUP
0x48 398 KEY_RED
0x59 113 KEY_MUTE
0x69 512 KEY_NUMERIC_0
0x6A 513 KEY_NUMERIC_1
'
keycodes=$(echo "$keymap" | awk 'NF { print $2 }')
# VALUE as BYTES bytes, least significant first (the kernel's own order on x86).
le() { i=0; while [ $i -lt "$2" ]; do printf '%02X' $(($1 >> (8 * i) & 255)); i=$((i + 1)); done; }
# struct input_keymap_entry (40 bytes): flags BY_INDEX, len, index, keycode, scancode[32].
entry() { echo "EVIOCGKEYCODE_V2 $1 01$(le "$2" 1)$(le "$3" 2)$(le "$4" 4)$(le "$5" 4)$(zeros 28)"; }
keymap_entries() {
    index=0
    for line in $(echo "$keymap" | awk 'NF { print $1 ":" $2 }'); do
        entry 0 4 $index "${line#*:}" "$((${line%:*}))"
        index=$((index + 1))
    done
    entry -1 0 $index 0 0 # past the last entry: the kernel refuses
}
{
    echo "EVIOCGVERSION 0 01000100"          # evdev 1.0.1
    echo "EVIOCGID 0 0100311134710100"       # BUS_PCI, the card's 1131:7134, version 1
    text EVIOCGNAME 255 "saa7134 IR (Pinnacle PCTV 110i)"
    text EVIOCGPHYS 255 "pci-0000:05:01.0/ir0"
    text EVIOCGUNIQ 255 ""
    echo "EVIOCGPROP(0) 8 $(zeros 8)"
    echo "EVIOCGBIT(0) 8 $(bits 8 0 1 4 20)" # EV_SYN, EV_KEY, EV_MSC, EV_REP
    echo "EVIOCGBIT(1) 96 $(bits 96 $keycodes)" # the keys its keymap maps
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
    keymap_entries
} >"$out"
