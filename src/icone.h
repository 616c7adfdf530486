// The program's icon: a cell with its fading trail on a black tile with
// rounded corners. The window's icon is drawn from this table, and the
// launcher's SVG is written from it when the program is built.
#pragma once

#include <array>
#include <cstdint>

constexpr int ICONE = 64;  // window managers scale this size well
constexpr int ICONE_RAYON = 9;
struct trace_icone_t {
    int x, y, cote;
    bool epais;          // three pixels wide, not one
    std::uint8_t voile;  // how much black is laid over the cells drawn before it
};
constexpr std::array<trace_icone_t, 3> ICONE_TRACES = {{
    {31, 46, 24, false, 0},
    {40, 48, 27, false, 106},
    {55, 51, 34, true, 102},
}};
constexpr float ICONE_THETA = 3.1415927F;  // each drawn from its bottom-right vertex
