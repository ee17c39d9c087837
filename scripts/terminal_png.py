#!/usr/bin/env python3
"""Draws a terminal screen, as `tmux capture-pane -e -p` writes it, into a PNG with ImageMagick.

usage: terminal_png.py SCREEN.ans OUT.png

Each character takes one cell of a monospaced font; bold, dim, underline and reverse video are
drawn as a terminal draws them, and the box-drawing characters as lines, so that frames join
from cell to cell whatever the font. The PNG is written with a small palette.
"""
import os
import re
import subprocess
import sys
import tempfile

CELL_W, CELL_H, FONT_SIZE, BASELINE, MARGIN = 8, 16, 13, 12, 8
BACKGROUND, FOREGROUND, BOLD, DIM = '#1d1f21', '#d0d0d0', '#ffffff', '#808080'
FONTS = ['/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf',
         '/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf']
BOLD_FONTS = ['/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf',
              '/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf']

# Box-drawing characters: which of the four arms (left, right, up, down) each one has.
ARMS = {
    '\u2500': 'lr', '\u2502': 'ud', '\u250c': 'rd', '\u2510': 'ld', '\u2514': 'ru',
    '\u2518': 'lu', '\u251c': 'rud', '\u2524': 'lud', '\u252c': 'lrd', '\u2534': 'lru',
    '\u253c': 'lrud',
}

SGR = re.compile(r'\x1b\[([0-9;]*)m')
OTHER_ESCAPE = re.compile(r'\x1b\[[0-9;?]*[A-Za-z]')


def parse(text):
    """The screen as rows of (character, attributes) cells."""
    rows = []
    for line in text.rstrip('\n').split('\n'):
        attrs = set()
        cells = []
        pos = 0
        while pos < len(line):
            m = SGR.match(line, pos)
            if m:
                codes = [int(c) for c in m.group(1).split(';') if c] or [0]
                for code in codes:
                    if code == 0:
                        attrs = set()
                    elif code in (1, 2, 4, 7):
                        attrs.add(code)
                    elif code == 22:
                        attrs -= {1, 2}
                    elif code in (24, 27):
                        attrs.discard(code - 20)
                pos = m.end()
                continue
            m = OTHER_ESCAPE.match(line, pos)
            if m:
                pos = m.end()
                continue
            cells.append((line[pos], frozenset(attrs)))
            pos += 1
        rows.append(cells)
    while rows and all(ch == ' ' for ch, _ in rows[-1]):
        rows.pop()  # a pane's unused rows
    return rows


def first_existing(paths):
    for path in paths:
        if os.path.exists(path):
            return path
    sys.exit('terminal_png: no monospaced font found (%s)' % ', '.join(paths))


def quote(text):
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def draw(rows):
    """The MVG drawing of the screen."""
    columns = max((len(r) for r in rows), default=0)
    width = columns * CELL_W + 2 * MARGIN
    height = len(rows) * CELL_H + 2 * MARGIN
    regular, bold = first_existing(FONTS), first_existing(BOLD_FONTS)
    out = ['viewbox 0 0 %d %d' % (width, height),
           'fill "%s" rectangle 0,0 %d,%d' % (BACKGROUND, width, height),
           'font-size %d' % FONT_SIZE, 'stroke-width 1', 'stroke-antialias 0']
    for y, cells in enumerate(rows):
        top = MARGIN + y * CELL_H
        for x, (ch, attrs) in enumerate(cells):
            left = MARGIN + x * CELL_W
            ink = BOLD if 1 in attrs else DIM if 2 in attrs else FOREGROUND
            if 7 in attrs:
                out.append('stroke none fill "%s" rectangle %d,%d %d,%d'
                           % (ink, left, top, left + CELL_W - 1, top + CELL_H - 1))
                ink = BACKGROUND
            if 4 in attrs:
                line_y = top + BASELINE + 2.5
                out.append('fill none stroke "%s" line %d,%.1f %d,%.1f'
                           % (ink, left, line_y, left + CELL_W, line_y))
            if ch in ARMS:
                mid_x, mid_y = left + CELL_W // 2 - 0.5, top + CELL_H // 2 - 0.5
                ends = {'l': (left, mid_y), 'r': (left + CELL_W, mid_y),
                        'u': (mid_x, top), 'd': (mid_x, top + CELL_H)}
                for arm in ARMS[ch]:
                    out.append('fill none stroke "%s" line %.1f,%.1f %.1f,%.1f'
                               % ((ink, mid_x, mid_y) + ends[arm]))
            elif ch != ' ':
                out.append('stroke none fill "%s" font %s text %d,%d %s'
                           % (ink, quote(bold if 1 in attrs else regular), left,
                              top + BASELINE, quote(ch)))
    return '\n'.join(out) + '\n'


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: terminal_png.py SCREEN.ans OUT.png')
    with open(sys.argv[1], encoding='utf-8') as f:
        mvg = draw(parse(f.read()))
    with tempfile.NamedTemporaryFile('w', suffix='.mvg', encoding='utf-8', delete=False) as f:
        f.write(mvg)
    try:
        subprocess.run(['convert', 'mvg:' + f.name, '-strip', '+dither', '-colors', '32',
                        'PNG8:' + sys.argv[2]], check=True)
    finally:
        os.unlink(f.name)


if __name__ == '__main__':
    main()
