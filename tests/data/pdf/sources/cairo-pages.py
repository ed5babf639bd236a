#!/usr/bin/python3
"""Writes a three-page A5 PDF through cairo's PDF surface: one page per script, one font each."""
import sys

import cairo

WIDTH, HEIGHT = 420, 595  # A5 in points

PAGES = [
    ("DejaVu Serif", [
        "Thistlegrove Timetable",
        "",
        "The first tram leaves the depot at six.",
        "Office staff ride free on Fridays.",
        "Naïve tourists order crème brûlée in Besançon;",
        "Jürgen and Żaneta prefer a große Brezel.",
    ]),
    ("DejaVu Serif", [
        "Расписание Тиховодья",
        "",
        "Первый трамвай уходит из депо в шесть.",
        "По пятницам контролёр отдыхает.",
        "Копперлинг — так называют новый мост.",
    ]),
    ("WenQuanYi Micro Hei", [
        "时刻表",
        "",
        "第一班电车早上六点出发。",
        "駅のホームで友だちを待っています。",
        "Marbleskip",
    ]),
]


def main(path):
    surface = cairo.PDFSurface(path, WIDTH, HEIGHT)
    surface.set_metadata(cairo.PDF_METADATA_TITLE, "Thistlegrove Timetable")
    ctx = cairo.Context(surface)
    for family, lines in PAGES:
        y = 60
        for i, line in enumerate(lines):
            ctx.select_font_face(family, cairo.FONT_SLANT_NORMAL,
                                 cairo.FONT_WEIGHT_BOLD if i == 0 else cairo.FONT_WEIGHT_NORMAL)
            ctx.set_font_size(20 if i == 0 else 13)
            ctx.move_to(40, y)
            ctx.show_text(line)
            y += 28
        ctx.show_page()
    surface.finish()


if __name__ == "__main__":
    main(sys.argv[1])
