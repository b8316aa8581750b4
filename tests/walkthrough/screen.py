#!/usr/bin/env python3
"""Reads what the walkthrough needs from a screenshot of the main window
(a binary PPM as written by ImageMagick's `import`), without any help from the
program: where the side panel's items are, and whether the panel is shown.

  screen.py panel-item IMAGE N   prints "X Y", the middle of the N-th text line
                                 (from 0) in the side panel's first group
  screen.py has-panel IMAGE      exit 0 when the side panel is on screen
"""
import sys

PANEL = (178, 180, 191)  # the side panel's ground
DESIGN_WIDTH = 181       # its width at scale 1


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]


class Image:
    def __init__(self, path):
        self.width, self.height, self.pixels = read_ppm(path)

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


def panel_columns(img):
    """First and last column of the side panel, or None."""
    counts = [0] * img.width
    for y in range(0, img.height, 2):
        for x in range(img.width // 2):
            if img.at(x, y) == PANEL:
                counts[x] += 1
    cols = [x for x, n in enumerate(counts) if n >= 10]
    return (cols[0], cols[-1]) if cols else None


def panel_item(img, index):
    cols = panel_columns(img)
    if not cols:
        sys.exit("side panel not found")
    x0, x1 = cols
    scale = max(1, round((x1 - x0 + 1) / DESIGN_WIDTH))
    margin = 8 * scale
    probe = x1 - margin - 2 * scale  # inside the groups, right of any text
    # Rows where the probe column is white belong to a group's body; the first
    # run of them is the first group's.
    body, y = [], 0
    while y < img.height and not body:
        while y < img.height and img.at(probe, y) != (255, 255, 255):
            y += 1
        while y < img.height and img.at(probe, y) == (255, 255, 255):
            body.append(y)
            y += 1
    if not body:
        sys.exit("side panel group not found")
    # Text lines: runs of body rows holding dark pixels.
    lines, run = [], []
    for y in body:
        dark = any(max(img.at(x, y)) < 170 for x in range(x0 + margin, probe))
        if dark:
            run.append(y)
        elif run:
            lines.append(run)
            run = []
    if run:
        lines.append(run)
    if index >= len(lines):
        sys.exit(f"side panel shows {len(lines)} items, wanted item {index}")
    line = lines[index]
    print(x0 + margin + 16 * scale, (line[0] + line[-1]) // 2)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    img = Image(sys.argv[2])
    if sys.argv[1] == "panel-item":
        panel_item(img, int(sys.argv[3]))
    elif sys.argv[1] == "has-panel":
        sys.exit(0 if panel_columns(img) else 1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
