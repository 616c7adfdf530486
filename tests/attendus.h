// What the program must print and show, stated once for every test.
#pragma once

#include <SDL_version.h>

#include <array>
#include <string>

// The first line on standard output: the version of the SDL headers.
inline const std::string LIGNE_VERSION =
    "Version de la SDL : " + std::to_string(SDL_MAJOR_VERSION) + "." +
    std::to_string(SDL_MINOR_VERSION) + "." + std::to_string(SDL_PATCHLEVEL) + "\n";

inline const std::string TITRE = "VORNA V0.0.01";

// A frame journal's marks from the moment the program takes a request to
// end from its queue: one more frame and its pause, then the final pause,
// and nothing after.
inline const std::string FIN_DU_JOURNAL = "fpp";

// The cells' orientations, by index, in single precision.
inline constexpr std::array<float, 10> ORIENTATIONS = {
    0.0F,       0.5235988F,  0.7853982F,  1.0471976F,  1.5707964F,
    3.1415927F, -0.5235988F, -0.7853982F, -1.0471976F, -1.5707964F};
