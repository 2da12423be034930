#!/usr/bin/env python3
"""Writes the emulated press's recordings into resources/.

The stroke recording keeps a fixed set of anchor rows (line number, encoder position, raw load-cell
value) taken from a real seating stroke; the rows between two anchors are interpolated linearly,
positions rounded to whole counts and values to whole thousands, so positions never decrease and the
force climbs towards the end of the stroke. Run it from the project root; the output is committed.
"""
from pathlib import Path

ANCHORS = [
    (1, 165, 34000), (2, 165, 33000), (15, 201, 33000), (16, 206, 33000),
    (121, 811, 40000), (161, 1042, 73000), (201, 1270, 108000), (241, 1491, 143000),
    (281, 1706, 177000), (321, 1928, 211000), (361, 2149, 245000), (401, 2362, 278000),
    (417, 2442, 296000), (418, 2446, 358000), (419, 2449, 472000), (420, 2456, 625000),
    (421, 2458, 822000),
]
IDLE_VALUES = [33000, 34000, 33000, 33000, 34000, 33000, 34000, 34000, 33000, 33000, 34000]


def stroke_rows():
    rows = []
    for (l0, p0, v0), (l1, p1, v1) in zip(ANCHORS, ANCHORS[1:]):
        for line in range(l0, l1):
            t = (line - l0) / (l1 - l0)
            position = round(p0 + (p1 - p0) * t)
            value = v0 if line == l0 else round((v0 + (v1 - v0) * t) / 1000) * 1000
            rows.append((position, value))
    rows.append(ANCHORS[-1][1:])
    return rows


def write(path, rows):
    # CR LF line ends, none after the last line.
    Path(path).write_bytes("\r\n".join(f"{p} {v}" for p, v in rows).encode("ascii"))


if __name__ == "__main__":
    rows = stroke_rows()
    assert len(rows) == 421
    assert all(a[0] <= b[0] for a, b in zip(rows, rows[1:]))
    write("resources/go_emulation.txt", rows)
    write("resources/idle_emulation.txt", [(165, v) for v in IDLE_VALUES])
