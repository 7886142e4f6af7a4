#!/usr/bin/env python3
"""Draws the application's interface images as SVG files into resources/images.

One dark theme from the colour manager's colours: preview green, create
orange, selection blue and the greys. Run it again after changing a drawing;
the SVG files are committed.
"""
import os

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")

GREEN, GREEN_DOWN = "#719b31", "#5e8129"
ORANGE, ORANGE_DOWN = "#ff8000", "#d96c00"
BLUE = "#0061ff"
RIM = "#141414"


def svg(name, w, h, body, defs=""):
    text = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n'
            + (f"<defs>{defs}</defs>\n" if defs else "") + body + "\n</svg>\n")
    with open(os.path.join(OUT, name + ".svg"), "w") as f:
        f.write(text)


def vgrad(gid, *stops):
    s = "".join(f'<stop offset="{o}" stop-color="{c}" stop-opacity="{a}"/>' for o, c, a in stops)
    return f'<linearGradient id="{gid}" x1="0" y1="0" x2="0" y2="1">{s}</linearGradient>'


def mix(c, other, t):
    a = [int(c[i:i + 2], 16) for i in (1, 3, 5)]
    b = [int(other[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join(f"{round(x + (y - x) * t):02x}" for x, y in zip(a, b))


def pill_button(name, base, pressed):
    """A wide push face: 28 high, 5-point corners, caps of 18 points."""
    top, bottom = (mix(base, "#000000", 0.1), mix(base, "#000000", 0.02)) if pressed else (mix(base, "#ffffff", 0.22), base)
    shine = 0.08 if pressed else 0.35
    svg(name, 40, 28,
        f'<rect x="0.5" y="1.5" width="39" height="26" rx="5.5" fill="#ffffff" fill-opacity="0.08"/>'
        f'<rect x="0.5" y="0.5" width="39" height="26" rx="5" fill="url(#g)" stroke="{RIM}"/>'
        f'<rect x="5" y="1.5" width="30" height="1" fill="#ffffff" fill-opacity="{shine}"/>',
        vgrad("g", (0, top, 1), (1, bottom, 1)))


def back_button(name, pressed):
    top, bottom = ("#2c2c2c", "#3a3a3a") if pressed else ("#5c5c5c", "#3c3c3c")
    svg(name, 30, 24,
        f'<path d="M11.5 0.5H25a4.5 4.5 0 0 1 4.5 4.5V19a4.5 4.5 0 0 1-4.5 4.5H11.5L1 12Z" fill="url(#g)" stroke="{RIM}"/>'
        f'<path d="M12 1.5H25" stroke="#ffffff" stroke-opacity="{0.06 if pressed else 0.2}"/>',
        vgrad("g", (0, top, 1), (1, bottom, 1)))


def round_face(name, size, pressed, glyph):
    top, bottom = ("#262626", "#383838") if pressed else ("#4e4e4e", "#2a2a2a")
    c = size / 2
    svg(name, size, size,
        f'<circle cx="{c}" cy="{c}" r="{c - 0.5}" fill="url(#g)" stroke="{RIM}"/>'
        f'<circle cx="{c}" cy="{c}" r="{c - 1.5}" fill="none" stroke="#ffffff" stroke-opacity="0.1"/>' + glyph,
        vgrad("g", (0, top, 1), (1, bottom, 1)))


def close_face(name, disc, cross):
    svg(name, 16, 16,
        f'<circle cx="8" cy="8" r="7.5" fill="{disc}"/>'
        f'<path d="M5.2 5.2L10.8 10.8M10.8 5.2L5.2 10.8" stroke="{cross}" stroke-width="1.8" stroke-linecap="round"/>')


def social(name, base, glyph):
    svg(name, 32, 32,
        f'<rect x="0.5" y="0.5" width="31" height="31" rx="7" fill="url(#g)" stroke="{RIM}"/>' + glyph,
        vgrad("g", (0, mix(base, "#ffffff", 0.15), 1), (1, base, 1)))


BUBBLE = ('<path d="M8 9h16a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2h-9l-5 4v-4H8a2 2 0 0 1-2-2v-8a2 2 0 0 1 2-2Z" fill="#ffffff"/>'
          '<circle cx="12" cy="15" r="1.4" fill="#3a3a3a"/><circle cx="16" cy="15" r="1.4" fill="#3a3a3a"/>'
          '<circle cx="20" cy="15" r="1.4" fill="#3a3a3a"/>')
FRIENDS = ('<circle cx="12.5" cy="12" r="3.5" fill="#ffffff"/><path d="M6 24c0-4.5 3-7 6.5-7s6.5 2.5 6.5 7Z" fill="#ffffff"/>'
           '<circle cx="20.5" cy="12.5" r="3" fill="#ffffff" fill-opacity="0.7"/>'
           '<path d="M17.5 17.6c0.9-0.4 1.9-0.6 3-0.6 3.2 0 5.5 2.3 5.5 6.5h-5.6c0-2.5-1-4.5-2.9-5.9Z" fill="#ffffff" fill-opacity="0.7"/>')

BELL = ('<path d="M9 1.8c-2.9 0-4.8 2.3-4.8 5.3v3.4L2.5 12.7v0.8h13v-0.8l-1.7-2.2V7.1c0-3-1.9-5.3-4.8-5.3Z" fill="{c}"/>'
        '<path d="M7 14.4a2 2 0 0 0 4 0Z" fill="{c}"/>')
ALERT = ('<path d="M2.5 6h3l4-3.5v11l-4-3.5h-3Z" fill="{c}"/>'
         '<path d="M11.5 5.5a3.5 3.5 0 0 1 0 5M13.5 3.5a6.5 6.5 0 0 1 0 9" fill="none" stroke="{c}" stroke-width="1.4" stroke-linecap="round"/>')


def main():
    os.makedirs(OUT, exist_ok=True)
    pill_button("green_button", GREEN, False)
    pill_button("green_button_down", GREEN_DOWN, True)
    pill_button("orange_button", ORANGE, False)
    pill_button("orange_button_down", ORANGE_DOWN, True)
    back_button("back_button", False)
    back_button("back_button_down", True)

    record = '<circle cx="18" cy="18" r="7" fill="{}"/>'
    round_face("record_button", 36, False, record.format("#e0392b"))
    round_face("record_button_down", 36, True, record.format("#b02a1f"))
    play = '<path d="M13 9.5v13l10-6.5Z" fill="{}"/>'
    pause = '<rect x="11" y="10" width="3.5" height="12" rx="1" fill="{0}"/><rect x="17.5" y="10" width="3.5" height="12" rx="1" fill="{0}"/>'
    round_face("global_play", 32, False, play.format("#ffffff"))
    round_face("global_play_down", 32, True, play.format("#bdbdbd"))
    round_face("global_pause", 32, False, pause.format("#ffffff"))
    round_face("global_pause_down", 32, True, pause.format("#bdbdbd"))

    close_face("close", "#8a8a8a", "#262626")
    close_face("close_over", "#b4b4b4", "#262626")
    close_face("close_down", "#5e5e5e", "#1a1a1a")

    for name, glyph in (("twitter", BUBBLE), ("facebook", FRIENDS)):
        social(name, "#3c3c3c", glyph)
        social(name + "_over", "#505050", glyph)
        social(name + "_down", "#242424", glyph)

    svg("slider_knob", 15, 15,
        f'<circle cx="7.5" cy="7.5" r="7" fill="url(#g)" stroke="{RIM}"/>',
        vgrad("g", (0, "#e6e6e6", 1), (1, "#a4a4a4", 1)))
    svg("slider_track", 11, 5,
        '<rect x="0" y="0.5" width="11" height="4.5" rx="2.25" fill="#ffffff" fill-opacity="0.12"/>'
        '<rect x="0" y="0" width="11" height="4" rx="2" fill="#101010"/>')

    dark = "#000000"
    edge = vgrad("t", (0, dark, 0.55), (1, dark, 0))
    defs = edge + (f'<linearGradient id="l" x1="0" y1="0" x2="1" y2="0"><stop offset="0" stop-color="{dark}" stop-opacity="0.55"/>'
                   f'<stop offset="1" stop-color="{dark}" stop-opacity="0"/></linearGradient>')
    corners = ""
    for i, (cx, cy) in enumerate(((8, 8), (32, 8), (8, 32), (32, 32))):
        defs += (f'<radialGradient id="c{i}" gradientUnits="userSpaceOnUse" cx="{cx}" cy="{cy}" r="8">'
                 f'<stop offset="0" stop-color="{dark}" stop-opacity="0"/><stop offset="1" stop-color="{dark}" stop-opacity="0.55"/></radialGradient>')
        corners += f'<rect x="{cx - 8 if cx == 8 else cx}" y="{cy - 8 if cy == 8 else cy}" width="8" height="8" fill="url(#c{i})"/>'
    svg("inner_shadow", 40, 40,
        '<rect x="8" y="0" width="24" height="8" fill="url(#t)"/>'
        '<rect x="8" y="32" width="24" height="8" fill="url(#t)" transform="rotate(180 20 36)"/>'
        '<rect x="0" y="8" width="8" height="24" fill="url(#l)"/>'
        '<rect x="32" y="8" width="8" height="24" fill="url(#l)" transform="rotate(180 36 20)"/>' + corners, defs)

    svg("kind_ringtone", 18, 16, BELL.format(c="#bdbdbd"))
    svg("kind_ringtone_selected", 18, 16, BELL.format(c="#ffffff"))
    svg("kind_alerttone", 18, 16, ALERT.format(c="#bdbdbd"))
    svg("kind_alerttone_selected", 18, 16, ALERT.format(c="#ffffff"))

    grip = '<path d="M{0} 11v8M{1} 11v8" stroke="#ffffff" stroke-opacity="0.7" stroke-linecap="round"/>'
    svg("resize_left", 10, 30, f'<path d="M10 0V30H4a3.5 3.5 0 0 1-3.5-3.5v-23A3.5 3.5 0 0 1 4 0Z" fill="{BLUE}"/>' + grip.format(4, 7))
    svg("resize_right", 10, 30, f'<path d="M0 0V30H6a3.5 3.5 0 0 0 3.5-3.5v-23A3.5 3.5 0 0 0 6 0Z" fill="{BLUE}"/>' + grip.format(3, 6))

    nav = vgrad("g", (0, "#3a3a3a", 1), (1, "#262626", 1))
    svg("navigator_bg", 20, 40, f'<rect x="0" y="0.5" width="20" height="39" fill="url(#g)"/>'
        '<path d="M0 0.5H20M0 39.5H20" stroke="#101010"/><path d="M0 1.5H20" stroke="#ffffff" stroke-opacity="0.06"/>', nav)
    svg("navigator_bg_left", 20, 40, '<path d="M20 0.5H5a4.5 4.5 0 0 0-4.5 4.5v30a4.5 4.5 0 0 0 4.5 4.5H20Z" fill="url(#g)" stroke="#101010"/>', nav)
    svg("navigator_bg_right", 20, 40, '<path d="M0 0.5H15a4.5 4.5 0 0 1 4.5 4.5v30a4.5 4.5 0 0 1-4.5 4.5H0Z" fill="url(#g)" stroke="#101010"/>', nav)
    svg("navigator_selection_bg", 20, 40, f'<rect x="0" y="0" width="20" height="40" rx="3" fill="{BLUE}" fill-opacity="0.22"/>')
    svg("navigator_selection", 20, 40,
        f'<rect x="0.75" y="0.75" width="18.5" height="38.5" rx="3" fill="{BLUE}" fill-opacity="0.3" stroke="{BLUE}" stroke-width="1.5"/>')
    svg("navigator_visible", 20, 40,
        '<rect x="1" y="1" width="18" height="38" rx="4" fill="#ffffff" fill-opacity="0.06" stroke="#ffffff" stroke-opacity="0.85" stroke-width="2"/>')
    svg("navigatorfill", 4, 4, '<rect width="4" height="4" fill="#8f8f8f"/><rect width="4" height="2" fill="#a2a2a2"/>')
    svg("background_pattern", 8, 8, '<rect width="8" height="8" fill="#2e2e2e"/>'
        '<rect x="1" y="2" width="1" height="1" fill="#333333"/><rect x="5" y="1" width="1" height="1" fill="#2a2a2a"/>'
        '<rect x="3" y="5" width="1" height="1" fill="#343434"/><rect x="6" y="6" width="1" height="1" fill="#292929"/>')
    svg("cover_overlay", 128, 128,
        '<rect x="0.5" y="0.5" width="127" height="127" rx="3" fill="none" stroke="#ffffff" stroke-opacity="0.18"/>'
        '<path d="M1 4a3 3 0 0 1 3-3h120a3 3 0 0 1 3 3v52C90 68 40 68 1 56Z" fill="url(#g)"/>',
        vgrad("g", (0, "#ffffff", 0.16), (1, "#ffffff", 0.02)))
    svg("error", 48, 48,
        f'<path d="M24 4.5L45 42.5H3Z" fill="{ORANGE}" stroke="{ORANGE_DOWN}" stroke-linejoin="round" stroke-width="2"/>'
        '<path d="M24 17v13" stroke="#ffffff" stroke-width="4" stroke-linecap="round"/><circle cx="24" cy="36.5" r="2.4" fill="#ffffff"/>')

    black = "#000000"
    svg("songs", 16, 16, f'<path d="M6 3.5l7-2v9.5" fill="none" stroke="{black}" stroke-width="1.6"/>'
        f'<path d="M6 3.5V13" stroke="{black}" stroke-width="1.6"/><ellipse cx="4.2" cy="13" rx="2.4" ry="1.9" fill="{black}"/>'
        f'<ellipse cx="11.2" cy="11" rx="2.4" ry="1.9" fill="{black}"/>')
    svg("artists", 16, 16, f'<circle cx="8" cy="5" r="3.2" fill="{black}"/><path d="M2 15c0-4 2.7-6 6-6s6 2 6 6Z" fill="{black}"/>')
    svg("albums", 16, 16, f'<circle cx="8" cy="8" r="6.5" fill="none" stroke="{black}" stroke-width="1.6"/><circle cx="8" cy="8" r="1.8" fill="{black}"/>')
    svg("movies", 16, 16, f'<rect x="1.5" y="2.5" width="13" height="11" rx="1.5" fill="none" stroke="{black}" stroke-width="1.4"/>'
        f'<path d="M4.5 3v10M11.5 3v10" stroke="{black}" stroke-width="1.2"/><path d="M2 6h2.5M2 10h2.5M11.5 6H14M11.5 10H14" stroke="{black}"/>')
    svg("tvshows", 16, 16, f'<rect x="1.5" y="2.5" width="13" height="9" rx="1.5" fill="none" stroke="{black}" stroke-width="1.4"/>'
        f'<path d="M5 14.5h6" stroke="{black}" stroke-width="1.4" stroke-linecap="round"/>')
    svg("playlists", 16, 16, f'<path d="M1.5 3.5h9M1.5 7h9M1.5 10.5h5" stroke="{black}" stroke-width="1.4" stroke-linecap="round"/>'
        f'<path d="M12.5 5v7" stroke="{black}" stroke-width="1.4"/><ellipse cx="11" cy="12.3" rx="2" ry="1.6" fill="{black}"/>')
    svg("ringtone", 16, 16, f'<g transform="translate(-1 0)">{BELL.format(c=black)}</g>')
    svg("folder", 16, 16, f'<path d="M1.5 3.5h4.5l1.5 1.5h7v8.5h-13Z" fill="none" stroke="{black}" stroke-width="1.4" stroke-linejoin="round"/>')
    svg("arrow_template", 9, 9, f'<path d="M3 1.5L6.5 4.5L3 7.5" fill="none" stroke="{black}" stroke-width="1.6" stroke-linecap="round" stroke-linejoin="round"/>')
    svg("go_right_template", 8, 10, f'<path d="M1.5 1l5 4-5 4Z" fill="{black}"/>')
    svg("lock_template", 10, 13, f'<path d="M2.8 6V4.3a2.2 2.2 0 0 1 4.4 0V6" fill="none" stroke="{black}" stroke-width="1.4"/>'
        f'<rect x="1" y="6" width="8" height="6.5" rx="1.2" fill="{black}"/>')
    svg("stop_progress_freestanding", 14, 14,
        f'<path d="M7 0.5a6.5 6.5 0 1 1 0 13a6.5 6.5 0 1 1 0-13ZM4.6 3.5L3.5 4.6L5.9 7L3.5 9.4L4.6 10.5L7 8.1L9.4 10.5L10.5 9.4L8.1 7L10.5 4.6L9.4 3.5L7 5.9Z" fill="{black}" fill-rule="evenodd"/>')
    teeth = "".join(f'<rect x="14" y="2" width="4" height="6" rx="1" fill="#9a9a9a" transform="rotate({a} 16 16)"/>' for a in range(0, 360, 45))
    svg("general_pref", 32, 32, teeth + '<circle cx="16" cy="16" r="10" fill="#9a9a9a"/><circle cx="16" cy="16" r="4" fill="#2e2e2e"/>')
    frame = '<rect x="{0}" y="{0}" width="{1}" height="{1}" rx="3" fill="none" stroke="{2}" stroke-opacity="{3}" stroke-width="{4}"/>'
    svg("recent_overlay", 64, 64, frame.format(0.5, 63, "#ffffff", 0.2, 1))
    svg("recent_overlay_over", 64, 64, frame.format(0.5, 63, "#ffffff", 0.6, 1))
    svg("recent_overlay_down", 64, 64, frame.format(1, 62, BLUE, 1, 2))


if __name__ == "__main__":
    main()
